; A Unicode installer, run with its window shown, that calls TvrModem::Find from a page
; callback, as a setup program that looks for the modem before its install page would:
; the find is modal on the installer's window and pumps its messages, so the window
; keeps answering while the ports are probed. The message is Cyrillic, outside any
; 8-bit code page a Western machine has, and must show whole in the find's window.
; Built by suite-nsis.sh (TARGET, TVRMODEM_PLUGINS, OUTFILE); it writes the find's
; answer to tvrmodem-window.txt beside itself and quits. Saved as UTF-8 with a BOM,
; which makensis reads as UTF-8.
Target ${TARGET}
Unicode true
!addplugindir "${TVRMODEM_PLUGINS}"

Name "TvrModem window"
Caption "TvrModem find under watch"
OutFile "${OUTFILE}"
RequestExecutionLevel user
Page custom FindPage
Page instfiles

Function FindPage
    TvrModem::Find "Поиск модема на портах COM1–COM4. Пожалуйста, подождите: проверка занимает несколько секунд."
    Pop $0 ; "1", "0" or "cancel"
    Pop $1 ; "COM3", or ""
    FileOpen $2 "$EXEDIR\tvrmodem-window.txt" w
    FileWrite $2 "find=$0 port=$1$\r$\n"
    FileClose $2
    Quit
FunctionEnd

Section
SectionEnd
