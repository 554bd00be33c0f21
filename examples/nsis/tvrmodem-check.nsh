; The modem check that the three TvrModem examples run, as a setup program would: it
; calls the plug-in's functions as TvrModem::NAME, with the arguments after the name
; and the answers taken off NSIS's stack with Pop, in the installer's own character
; set (no signatures to write, no "t" or "m" to choose: the plug-in of each flavour
; reads the texts the way that flavour stores them).
;
; The functions and what each leaves on the stack (the first Pop takes the last push):
;   TvrModem::Find MESSAGE
;       Pop: the result, "1" (a modem answered), "0" (none did) or "cancel" (the user
;       cancelled the search)
;       Pop: the port, "COM1" to "COM4", or ""
;       The four ports are probed at once (about 1.6 s with a modem on COM1, about 8 s
;       when ports open without an answer). Called from a page callback, the search's
;       window, with MESSAGE ("" for the library's own text), is modal on the
;       installer's window and keeps it answering; in a silent install there is no
;       window.
;   TvrModem::Scan
;       Pop: the result, "1" (a modem answered) or "0" (none did)
;       Pop: the port, "COM1" to "COM4", or ""
;   TvrModem::CheckPort PORT SPEED COMMAND
;       Pop: "1" (the port takes SPEED and answered COMMAND, if one was given), "0"
;       (not), or "error" with the error flag set (an argument missing, SPEED not a
;       number); COMMAND "" sends none
;   TvrModem::ModemAvailable
;       Pop: the result, "2" (a data modem at 9600 bit/s or more), "1" (data modems,
;       none that fast) or "0" (none, or no telephony)
;       Pop: the port name of the modem examined, or ""
;
; The installer that includes this file sets its Target first, and defines
; TVRMODEM_FLAVOUR (the plug-in folder of its own kind: a 32-bit installer loads only a
; 32-bit plug-in, an 8-bit one only the x86-ansi plug-in) and OUTFILE. TVRMODEM_PLUGINS
; may name another folder that holds TvrModem.dll of that flavour; by default it is the
; one in the unpacked release. makensis packs the plug-in into the installer, which
; unpacks it to $PLUGINSDIR on first use and frees it after every call.
;
; The find runs from a page callback, before the install page, so that its window is
; owned by the installer's; a silent install runs no page callbacks, so the Section
; finds the modem itself then (without a window). The check and the telephony query run
; in the Section, on the installer's worker thread, so the window stays alive while
; they wait (the check at most about 3 s, the telephony query milliseconds).
;
; Shown to the user: the search's window over the installer, the install page, then a
; message box with the answers in plain words. Run silently (/S) it shows nothing and
; writes the answers to tvrmodem-answers.txt beside the installer: one line of answers,
; then the same three sentences.
!include "LogicLib.nsh"

!ifndef TVRMODEM_PLUGINS
    !define TVRMODEM_PLUGINS "..\..\nsis\Plugins\${TVRMODEM_FLAVOUR}"
!endif
!addplugindir "${TVRMODEM_PLUGINS}"

Name "Modem check"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ShowInstDetails show
Page custom FindModemPage
Page instfiles

; The page shows nothing of its own: the search's window stands for it.
Function FindModemPage
    TvrModem::Find "Looking for a modem on COM1 to COM4. This takes a few seconds."
    Pop $0 ; "1", "0" or "cancel"
    Pop $1 ; "COM3", or ""
FunctionEnd

Section "Look for a modem"
    ${If} ${Silent}
        TvrModem::Find ""
        Pop $0
        Pop $1
    ${EndIf}
    ${If} $0 == "1"
        StrCpy $5 "A modem answers on $1."
        ; Can the port found take 9600 bit/s, and does the modem answer "AT"?
        DetailPrint "Checking $1 at 9600 bit/s..."
        TvrModem::CheckPort "$1" "9600" "AT"
        Pop $2 ; "1", "0" or "error"
        ${If} $2 == "1"
            StrCpy $6 "$1 takes 9600 bit/s, and the modem answered $\"AT$\"."
        ${Else}
            StrCpy $6 "$1 does not take 9600 bit/s, or the modem did not answer $\"AT$\" within 3 seconds."
        ${EndIf}
    ${ElseIf} $0 == "cancel"
        StrCpy $5 "The search for a modem was cancelled."
        StrCpy $2 "-"
        StrCpy $6 "There is no port to check."
    ${Else}
        StrCpy $5 "No modem answered on COM1 to COM4."
        StrCpy $2 "-"
        StrCpy $6 "There is no port to check."
    ${EndIf}

    TvrModem::ModemAvailable
    Pop $4 ; "2", "1" or "0"
    Pop $3 ; the port name, or ""
    ${If} $3 == ""
        StrCpy $9 "no port name was reported"
    ${Else}
        StrCpy $9 "port $3"
    ${EndIf}
    ${If} $4 == "2"
        StrCpy $7 "Windows telephony lists a data modem set up for 9600 bit/s or more ($9)."
    ${ElseIf} $4 == "1"
        StrCpy $7 "Windows telephony lists a data modem, but none is set up for 9600 bit/s or more ($9)."
    ${Else}
        StrCpy $7 "Windows telephony lists no data modem, or it can't be used here."
    ${EndIf}

    DetailPrint $5
    DetailPrint $6
    DetailPrint $7
    MessageBox MB_OK|MB_ICONINFORMATION "$5$\n$6$\n$7" /SD IDOK
    ${If} ${Silent}
        FileOpen $8 "$EXEDIR\tvrmodem-answers.txt" w
        FileWrite $8 "find=$0 port=$1 check=$2 modem=$4 name=$3$\r$\n$5$\r$\n$6$\r$\n$7$\r$\n"
        FileClose $8
    ${EndIf}
SectionEnd
