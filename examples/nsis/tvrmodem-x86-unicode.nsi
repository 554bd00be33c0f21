; A 32-bit Unicode installer (x86-unicode, the kind most NSIS installers are) that looks
; for a modem with the TvrModem plug-in of its own flavour,
; nsis\Plugins\x86-unicode\TvrModem.dll.
; The work itself is in tvrmodem-check.nsh.
;
;   makensis tvrmodem-x86-unicode.nsi    (in this folder of the unpacked release)
;   tvrmodem-check-x86-unicode.exe       shows what it finds
;   tvrmodem-check-x86-unicode.exe /S    writes it to tvrmodem-answers.txt beside itself
Target x86-unicode
!define TVRMODEM_FLAVOUR "x86-unicode"
!ifndef OUTFILE
    !define OUTFILE "tvrmodem-check-x86-unicode.exe"
!endif
!include "tvrmodem-check.nsh"
