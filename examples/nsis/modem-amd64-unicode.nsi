; A 64-bit installer (amd64-unicode) that looks for a modem with telvarid.dll: a 64-bit
; process can load only the 64-bit DLL, x64\telvarid.dll. The work itself is in
; telvarid-modem.nsh.
;
;   makensis modem-amd64-unicode.nsi    (in this folder of the unpacked release)
;   modem-check-amd64-unicode.exe       shows what it finds
;   modem-check-amd64-unicode.exe /S    writes it to telvarid-answers.txt beside itself
Target amd64-unicode
!define TELVARID_DLL "..\..\x64\telvarid.dll"
!define OUTFILE "modem-check-amd64-unicode.exe"
!include "telvarid-modem.nsh"
