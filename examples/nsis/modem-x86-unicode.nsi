; A 32-bit installer (x86-unicode, the kind most NSIS installers are) that looks for a
; modem with telvarid.dll: it takes the 32-bit DLL, x86\telvarid.dll. The work itself
; is in telvarid-modem.nsh.
;
;   makensis modem-x86-unicode.nsi      (in this folder of the unpacked release)
;   modem-check-x86-unicode.exe         shows what it finds
;   modem-check-x86-unicode.exe /S      writes it to telvarid-answers.txt beside itself
Target x86-unicode
!define TELVARID_DLL "..\..\x86\telvarid.dll"
!define OUTFILE "modem-check-x86-unicode.exe"
!include "telvarid-modem.nsh"
