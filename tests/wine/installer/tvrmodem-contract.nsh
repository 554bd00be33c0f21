; Appended by suite-nsis.sh to an example installer (makensis reads its arguments in
; order: "-X!include" after the script adds this after the example's own section). In a
; silent run it probes the stack contract of the TvrModem plug-in and writes what it saw
; to tvrmodem-contract.txt beside the installer, one "name=value ..." line per probe.
; REFUSED_PORT is given by the suite: a port that refuses the speed the probe asks for.
Section "-contract"
    ${If} ${Silent}
        FileOpen $R9 "$EXEDIR\tvrmodem-contract.txt" w

        ; A speed the port refuses: "0", not "error".
        TvrModem::CheckPort "${REFUSED_PORT}" "9600" ""
        Pop $R0
        FileWrite $R9 "refused=$R0$\r$\n"

        ; A speed that is no number: "error", the error flag set, nothing else taken off
        ; or left on the stack (the mark pushed before is next).
        Push "mark"
        ClearErrors
        TvrModem::CheckPort "COM3" "96OO" "AT"
        StrCpy $R2 "clear"
        ${If} ${Errors}
            StrCpy $R2 "set"
        ${EndIf}
        Pop $R0
        Pop $R1
        FileWrite $R9 "nonnumeric=$R0 flag=$R2 below=$R1$\r$\n"

        ; Two of the three arguments missing: the stack holds the port only. "error",
        ; and the stack is empty afterwards (a Pop then fails).
        ClearErrors
        TvrModem::CheckPort "COM3"
        StrCpy $R2 "clear"
        ${If} ${Errors}
            StrCpy $R2 "set"
        ${EndIf}
        Pop $R0
        ClearErrors
        Pop $R1
        StrCpy $R3 "left:$R1"
        ${If} ${Errors}
            StrCpy $R3 "empty"
        ${EndIf}
        FileWrite $R9 "missing=$R0 flag=$R2 stack=$R3$\r$\n"

        ; Scan and ModemAvailable push exactly two entries and take none.
        Push "mark"
        TvrModem::Scan
        Pop $R0
        Pop $R1
        Pop $R2
        FileWrite $R9 "scan=$R0 port=$R1 below=$R2$\r$\n"
        Push "mark"
        TvrModem::ModemAvailable
        Pop $R0
        Pop $R1
        Pop $R2
        FileWrite $R9 "modem=$R0 name=$R1 below=$R2$\r$\n"
        FileClose $R9
    ${EndIf}
SectionEnd
