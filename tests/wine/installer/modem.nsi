; A silent installer that does what a setup program does with telvarid.dll: unpacks
; it into its plug-ins folder and calls the serial exports through the System plug-in
; (cdecl, "?c"). It writes what they returned to answers.txt beside itself.
;   makensis -DTELVARID_DLL=/path/telvarid.dll -DINSTALLER=/path/modem-setup.exe modem.nsi
;   wine modem-setup.exe /S
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
    System::Call '$PLUGINSDIR\telvarid.dll::TVRCheckCommParams(m "COM$1", i 9600, i 1, m "AT") i .r2 ?cu'
    FileOpen $3 "$EXEDIR\answers.txt" w
    FileWrite $3 "scan=$0 port=$1 check=$2$\r$\n"
    FileClose $3
SectionEnd
