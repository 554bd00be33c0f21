; A silent installer that does what a setup program does with telvarid.dll: unpacks
; it into its plug-ins folder and calls the exports through the System plug-in (cdecl,
; "?c"): the scan, the check of the port found, and the telephony query. It writes what
; they returned to answers.txt beside itself.
;   makensis -DTARGET=x86-unicode -DTELVARID_DLL=/path/telvarid.dll -DINSTALLER=/path/setup.exe modem.nsi
;   makensis -DTARGET=amd64-unicode -DTELVARID_DLL=/path/to/x64/telvarid.dll ...
; A 32-bit installer (x86-unicode) loads the PE32 DLL, a 64-bit one (amd64-unicode) the
; PE32+ DLL: a process can load only a DLL of its own kind.
Target ${TARGET}
Unicode true
Name "telvarid modem check"
OutFile "${INSTALLER}"
RequestExecutionLevel user
SilentInstall silent

Section
    InitPluginsDir
    File "/oname=$PLUGINSDIR\telvarid.dll" "${TELVARID_DLL}"
    ; int TVRScanForModem(int *lpPortNumber): $0 gets the result, $1 the port number.
    System::Call '$PLUGINSDIR\telvarid.dll::TVRScanForModem(*i 12345 r1) i .r0 ?c'
    ; int TVRCheckCommParams(LPCSTR, DWORD, BOOL, LPCSTR): the port found, at 9600, "AT".
    System::Call '$PLUGINSDIR\telvarid.dll::TVRCheckCommParams(m "COM$1", i 9600, i 1, m "AT") i .r2 ?c'
    ; int TVRModemAvailable(char *lpszPortName): an ANSI output buffer of
    ; NSIS_MAX_STRLEN characters (at least the 76 bytes asked for) for the port name;
    ; $4 gets the result, $3 the name (empty when none was written). "u" unloads the
    ; DLL after this last call.
    System::Call '$PLUGINSDIR\telvarid.dll::TVRModemAvailable(m .r3) i .r4 ?cu'
    FileOpen $5 "$EXEDIR\answers.txt" w
    FileWrite $5 "scan=$0 port=$1 check=$2 modem=$4 name=$3$\r$\n"
    FileClose $5
SectionEnd
