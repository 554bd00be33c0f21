# The real telvarid.dll as the Windows loader sees it: the PE32 build under wine32 (with
# the cdecl check, which only x86 can show), the PE32+ build under wine64.
case $TVR_ARCH in
x86) frame_machine=0x014c frame_magic=0x10b frame_objdump=i686-w64-mingw32-objdump ;;
x64) frame_machine=0x8664 frame_magic=0x20b frame_objdump=x86_64-w64-mingw32-objdump ;;
esac

tvr_case "the DLL loads by name, exports its nine functions by name and ordinal, and nothing else"
tvr_host exports
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "load=ok by=name"
tvr_expect_line "machine=$frame_machine"
tvr_expect_line "optional_magic=$frame_magic"
tvr_expect_line "module=telvarid.dll"
tvr_expect_line "functions=9 names=9 base=1"
tvr_expect_line "export TVRCheckCommParams ordinal=1 same=1"
tvr_expect_line "export TVRInitTextDialog ordinal=2 same=1"
tvr_expect_line "export TVRModemAvailable ordinal=3 same=1"
tvr_expect_line "export TVRScanForModem ordinal=4 same=1"
tvr_expect_line "export TVRFindModem ordinal=5 same=1"
tvr_expect_line "export TVRInitTextDialogW ordinal=6 same=1"
tvr_expect_line "export TVRMsiFindModem ordinal=7 same=1"
tvr_expect_line "export TVRMsiCheckPort ordinal=8 same=1"
tvr_expect_line "export TVRMsiModemAvailable ordinal=9 same=1"
tvr_expect_line "ordinal0=none ordinal10=none"
tvr_expect_line "DllMain=hidden"
tvr_expect_line "thread=ok"
tvr_expect_line "after_thread scan=0 port=0"
if [[ $TVR_ARCH == x86 ]]; then
    # Each export leaves its arguments on the stack for the caller to remove.
    tvr_expect_line "convention TVRCheckCommParams cdecl"
    tvr_expect_line "convention TVRInitTextDialog cdecl"
    tvr_expect_line "convention TVRModemAvailable cdecl"
    tvr_expect_line "convention TVRScanForModem cdecl"
else
    # x86-64 has a single calling convention: the host makes no claim it cannot test.
    tvr_expect_line "convention=none-on-this-machine"
fi
tvr_expect_line "reload=same"
tvr_expect_line "unload=ok"
tvr_expect_line "after_unload=gone"

tvr_case "the exports resolve by ordinal alone"
tvr_host --by-ordinal exports
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "load=ok by=ordinal"
tvr_expect_line "unload=ok"
tvr_expect_line "after_unload=gone"

tvr_case "the DLL imports only the system's own KERNEL32, USER32, GDI32 and msvcrt"
imports=$($frame_objdump -p "$TVR_DLL_DIR/telvarid.dll" | sed -n 's/^[[:space:]]*DLL Name: //p' |
    tr 'A-Z' 'a-z' | sort | tr '\n' ' ')
tvr_expect_eq "imported DLLs" "gdi32.dll kernel32.dll msvcrt.dll user32.dll " "$imports"
