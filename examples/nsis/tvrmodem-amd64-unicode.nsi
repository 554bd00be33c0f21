; A 64-bit installer (amd64-unicode) that looks for a modem with the TvrModem plug-in of
; its own flavour, nsis\Plugins\amd64-unicode\TvrModem.dll.
; The work itself is in tvrmodem-check.nsh.
;
;   makensis tvrmodem-amd64-unicode.nsi    (in this folder of the unpacked release)
;   tvrmodem-check-amd64-unicode.exe       shows what it finds
;   tvrmodem-check-amd64-unicode.exe /S    writes it to tvrmodem-answers.txt beside itself
Target amd64-unicode
!define TVRMODEM_FLAVOUR "amd64-unicode"
!ifndef OUTFILE
    !define OUTFILE "tvrmodem-check-amd64-unicode.exe"
!endif
!include "tvrmodem-check.nsh"
