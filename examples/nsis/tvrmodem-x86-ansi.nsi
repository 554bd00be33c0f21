; A 32-bit installer with 8-bit texts (x86-ansi, NSIS's default without "Unicode
; true") that looks for a modem with the TvrModem plug-in of its own flavour,
; nsis\Plugins\x86-ansi\TvrModem.dll.
; The work itself is in tvrmodem-check.nsh.
;
;   makensis tvrmodem-x86-ansi.nsi    (in this folder of the unpacked release)
;   tvrmodem-check-x86-ansi.exe       shows what it finds
;   tvrmodem-check-x86-ansi.exe /S    writes it to tvrmodem-answers.txt beside itself
Target x86-ansi
!define TVRMODEM_FLAVOUR "x86-ansi"
!ifndef OUTFILE
    !define OUTFILE "tvrmodem-check-x86-ansi.exe"
!endif
!include "tvrmodem-check.nsh"
