# Real installers, built with makensis and run silently under Wine, load telvarid.dll
# from their plug-ins folder and call the scan, the check and the telephony query
# through the System plug-in with the cdecl convention. Both kinds are built on every
# run: an x86-unicode installer around the PE32 DLL and an amd64-unicode one around the
# PE32+ DLL; the one that matches the build under test is run.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

inst_stage=$TVR_RIG_DIR/stage-installer
rm -rf "$inst_stage"
mkdir -p "$inst_stage"
answers=$inst_stage/answers.txt
case $TVR_ARCH in
x86) inst_target=x86-unicode ;;
x64) inst_target=amd64-unicode ;;
esac
installer=$inst_stage/modem-setup-$inst_target.exe

# Builds the installer of one kind around one DLL.
inst_build() {
    makensis -V2 -DTARGET="$1" -DTELVARID_DLL="$2/telvarid.dll" -DINSTALLER="$3" \
        "$TVR_SOURCE_DIR/tests/wine/installer/modem.nsi" >"$TVR_LOG_DIR/makensis-$1.out" 2>&1 ||
        tvr_fail "makensis $1 failed (see $TVR_LOG_DIR/makensis-$1.out)"
}

# The machine type in an executable's PE header, as objdump names the file format.
inst_format() { x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null | sed -n 's/.*file format //p'; }

tvr_case "makensis builds an x86-unicode installer around the PE32 DLL and an amd64-unicode one around the PE32+ DLL"
inst_build x86-unicode "$TVR_DLL32_DIR" "$inst_stage/modem-setup-x86-unicode.exe"
inst_build amd64-unicode "$TVR_DLL64_DIR" "$inst_stage/modem-setup-amd64-unicode.exe"
tvr_expect_eq "x86-unicode installer" "pei-i386" "$(inst_format "$inst_stage/modem-setup-x86-unicode.exe")"
tvr_expect_eq "amd64-unicode installer" "pei-x86-64" "$(inst_format "$inst_stage/modem-setup-amd64-unicode.exe")"

# The installer finds TAPI32.DLL only in the system folder: the double stands there.
tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
inst_system=$TVR_SYSTEM_DIR
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n,b;mscoree,mshtml=")

tvr_case "the $inst_target installer finds the modem on COM3, checks it, and hears of a fast data modem"
tvr_emu 3 crlf
echo "device 0 0 1 16 0 0 COM3 0 19200" >"$inst_system/tapi-scenario.txt"
rm -f "$answers"
tvr_wine "$installer" /S
tvr_emu_stop
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=1 port=3 check=1 modem=2 name=COM3" "$(tr -d '\r' <"$answers" 2>/dev/null)"
# The scan's "AT" and the check's.
tvr_expect_eq "COM3 AT lines" 2 "$(tvr_emu_lines 3 | grep -c -x 'AT\\r' || true)"
tvr_expect_eq "the telephony double was asked" 1 "$(grep -c '^lineInitialize app=TELVARAP' "$inst_system/tapi-calls.log" 2>/dev/null || true)"

tvr_case "the $inst_target installer with no ports and no data modem hears that there is no modem"
echo "device 0 0 1 0 0 0 - 0 0" >"$inst_system/tapi-scenario.txt"
rm -f "$answers"
tvr_wine "$installer" /S
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=0 port=0 check=0 modem=0 name=" "$(tr -d '\r' <"$answers" 2>/dev/null)"
tvr_system_tapi_restore
