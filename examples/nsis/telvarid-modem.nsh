; The modem check that both example installers run, as a setup program would: it unpacks
; telvarid.dll into the installer's plug-ins folder and calls three of its functions
; through the System plug-in. "?c" selects the cdecl convention, which every export of
; telvarid.dll uses; "u" on the last call unloads the DLL again. Strings go to the DLL
; as type "m" (8-bit text), never "t": in a Unicode installer "t" passes UTF-16, and
; the DLL would see "C" where the script wrote "COM1".
;
; The calls run in a Section, on the installer's worker thread, so the window stays
; alive while they wait; called from .onInit or a page callback they would freeze it.
;
; The installer that includes this file sets its Target first and defines TELVARID_DLL,
; the DLL of its own kind (a 32-bit installer can load only the 32-bit DLL, a 64-bit
; installer only the 64-bit one), and OUTFILE.
;
; Shown to the user: the install page, which says what is being looked for while the
; search runs (it can take half a minute), then a message box with the answers in
; plain words. Run silently (/S) it shows nothing and writes the answers to
; telvarid-answers.txt beside the installer: one line of numbers, then the same three
; sentences.
;
; The waits: the scan takes about 1.6 s when a modem answers at once, about 8 s for
; each port that opens but has nothing on it (so up to about 32 s), nothing for a port
; that does not exist; the check at most about 3 s more; the telephony query
; milliseconds.
Unicode true
!include "LogicLib.nsh"

Name "Modem check"
OutFile "${OUTFILE}"
RequestExecutionLevel user
ShowInstDetails show
Page instfiles

Section "Look for a modem"
    InitPluginsDir
    File "/oname=$PLUGINSDIR\telvarid.dll" "${TELVARID_DLL}"

    DetailPrint "Looking for a modem on COM1 to COM4."
    DetailPrint "This takes a few seconds, up to half a minute when ports without a modem are tried..."

    ; int TVRScanForModem(int *lpPortNumber): $0 is the result, $1 the port number.
    System::Call '$PLUGINSDIR\telvarid.dll::TVRScanForModem(*i 0 r1) i .r0 ?c'
    ${If} $0 = 1
        StrCpy $5 "A modem answers on COM$1."
        ; int TVRCheckCommParams(LPCSTR lpszPortName, DWORD dwBaudRate, BOOL bSendCommand,
        ; LPCSTR lpszCommand): can the port found take 9600 bit/s, and does the modem
        ; answer "AT"? $2 is the result.
        DetailPrint "Checking COM$1 at 9600 bit/s..."
        System::Call '$PLUGINSDIR\telvarid.dll::TVRCheckCommParams(m "COM$1", i 9600, i 1, m "AT") i .r2 ?c'
        ${If} $2 = 1
            StrCpy $6 "COM$1 takes 9600 bit/s, and the modem answered $\"AT$\"."
        ${Else}
            StrCpy $6 "COM$1 does not take 9600 bit/s, or the modem did not answer $\"AT$\" within 3 seconds."
        ${EndIf}
    ${Else}
        StrCpy $5 "No modem answered on COM1 to COM4."
        StrCpy $2 "-"
        StrCpy $6 "There is no port to check."
    ${EndIf}

    ; int TVRModemAvailable(char *lpszPortName): an 8-bit string buffer ("m") of
    ; NSIS_MAX_STRLEN characters, more than the 76 bytes it needs, receives a port name
    ; in $3; $4 is the result. The DLL leaves the buffer as it was when it has no name
    ; to give, so it goes in empty ($3 cleared, then passed in and out).
    StrCpy $3 ""
    System::Call '$PLUGINSDIR\telvarid.dll::TVRModemAvailable(m r3 r3) i .r4 ?cu'
    ${If} $3 == ""
        StrCpy $9 "no port name was reported"
    ${Else}
        StrCpy $9 "port $3"
    ${EndIf}
    ${If} $4 = 2
        StrCpy $7 "Windows telephony lists a data modem set up for 9600 bit/s or more ($9)."
    ${ElseIf} $4 = 1
        StrCpy $7 "Windows telephony lists a data modem, but none is set up for 9600 bit/s or more ($9)."
    ${Else}
        StrCpy $7 "Windows telephony lists no data modem, or it can't be used here."
    ${EndIf}

    DetailPrint $5
    DetailPrint $6
    DetailPrint $7
    MessageBox MB_OK|MB_ICONINFORMATION "$5$\n$6$\n$7" /SD IDOK
    ${If} ${Silent}
        FileOpen $8 "$EXEDIR\telvarid-answers.txt" w
        FileWrite $8 "scan=$0 port=$1 check=$2 modem=$4 name=$3$\r$\n$5$\r$\n$6$\r$\n$7$\r$\n"
        FileClose $8
    ${EndIf}
SectionEnd
