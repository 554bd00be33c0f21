# A real installer, built with makensis and run silently under Wine, loads telvarid.dll
# from its plug-ins folder and calls the serial exports with the cdecl convention.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

installer=$TVR_LOG_DIR/modem-setup.exe
answers=$TVR_LOG_DIR/answers.txt

tvr_case "makensis builds the installer around telvarid.dll"
makensis -V2 -DTELVARID_DLL="$TVR_DLL_DIR/telvarid.dll" -DINSTALLER="$installer" \
    "$TVR_SOURCE_DIR/tests/wine/installer/modem.nsi" >"$TVR_LOG_DIR/makensis.out" 2>&1 ||
    tvr_fail "makensis failed (see $TVR_LOG_DIR/makensis.out)"
tvr_expect test -s "$installer"

tvr_case "run silently, the installer finds the modem on COM3 and checks it"
tvr_emu 3 crlf
rm -f "$answers"
tvr_wine "$installer" /S
tvr_emu_stop
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=1 port=3 check=1" "$(tr -d '\r' <"$answers" 2>/dev/null)"
# The scan's "AT" and the check's; the scan's "ATE0V1" may be lost to its purge on a pty.
tvr_expect_eq "COM3 AT lines" 2 "$(tvr_emu_lines 3 | grep -c -x 'AT\\r' || true)"

tvr_case "run silently with no ports, the installer hears that there is no modem"
rm -f "$answers"
tvr_wine "$installer" /S
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=0 port=0 check=0" "$(tr -d '\r' <"$answers" 2>/dev/null)"
