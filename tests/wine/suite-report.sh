# tvrprobe report as a support person runs it, from the build's own tvrprobe.exe:
#   - -h prints the usage, the console words and the exit codes;
#   - the DLL of the other build beside tvrprobe: the report says so in plain words, with
#     the error, and still lists the ports and the telephony lines;
#   - a modem on COM7, a port Windows lists but the scan never tries: the report probes it
#     and says that the scan looks only at COM1 to COM4;
#   - a telephony service that rewrites dwTotalSize to 65536 in the report's 1024-byte
#     block and points the string past it: no crash, a sane line.
# Every COM name the report may open is pinned in HKLM\Software\Wine\Ports to a path
# this suite owns (COM1-COM4 by the rig, COM5-COM8 here for the COM7 case, removed
# afterwards); the names Wine then gives the machine's serial devices lie in the rig's
# fence, where they reach /dev/null.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

report_stage=$TVR_RIG_DIR/stage-report
rm -rf "$report_stage"
mkdir -p "$report_stage/same" "$report_stage/mixed"
case $TVR_ARCH in
x86) report_other_dir=$TVR_DLL64_DIR report_words="It is the x64 (64-bit) build, and this tvrprobe.exe is the x86 (32-bit) build" ;;
x64) report_other_dir=$TVR_DLL32_DIR report_words="It is the x86 (32-bit) build, and this tvrprobe.exe is the x64 (64-bit) build" ;;
esac
cp "$TVR_DLL_DIR/tvrprobe.exe" "$TVR_DLL_DIR/telvarid.dll" "$report_stage/same/"
cp "$TVR_DLL_DIR/tvrprobe.exe" "$report_other_dir/telvarid.dll" "$report_stage/mixed/"

# tvrprobe loads TAPI32.DLL from the system folder only: the double stands there.
tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
report_system=$TVR_SYSTEM_DIR
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n,b;mscoree,mshtml=")
report_voice_line="device 0 0 1 0 0 0 - 0 0"
report_data_modem="device 0 0 1 16 0 0 COM3 0 19200"

tvr_case "tvrprobe -h prints the usage, how to keep the report, and the exit codes"
tvr_wine "$report_stage/same/tvrprobe.exe" -h
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "  tvrprobe report > report.txt"
tvr_expect grep -q "^Exit codes of the report: 0 a modem was found, 1 none was found, 2 a usage error,$" <<<"$OUT"

tvr_case "the DLL of the other build beside tvrprobe: error 193 in plain words, the ports and lines still listed"
tvr_emu 3 crlf
printf '%s\n' "$report_data_modem" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/mixed/tvrprobe.exe" report
tvr_emu_stop
tvr_expect_eq "exit code" 3 "$RC"
tvr_expect_line "telvarid.dll could not be loaded (error 193, not a valid Win32 application)."
tvr_expect_line "$report_words: put the telvarid.dll of the $TVR_ARCH folder beside it, or run the tvrprobe.exe of the $([[ $TVR_ARCH == x64 ]] && echo x86 || echo x64) folder."
tvr_expect grep -q -E '^telvarid\.dll: Z:\\.*\\mixed\\telvarid\.dll, x(86 \(32|64 \(64)-bit\)$' <<<"$OUT"
tvr_expect_line '  COM3  answering: "\r\nOK\r\n"'
tvr_expect_line '  line 0  "Double Modem 0"  data modem, port COM3, configured for 19200 bit/s'
tvr_expect_line "Result: unknown: telvarid.dll could not be loaded (error 193)."

tvr_case "the report's head: versions, Windows's version, the date and time, the DLL's path and architecture"
printf '%s\n' "$report_voice_line" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect grep -q -E '^Windows: version [0-9]+\.[0-9]+, build [0-9]+$' <<<"$OUT"
tvr_expect grep -q -E "^Date: $(date +%Y)-[0-9]{2}-[0-9]{2} [0-9]{2}:[0-9]{2}:[0-9]{2} \(local time\)$" <<<"$OUT"
tvr_expect_line "telvarid.dll: Z:${report_stage//\//\\}\\same\\telvarid.dll, $([[ $TVR_ARCH == x64 ]] && echo 'x64 (64-bit)' || echo 'x86 (32-bit)')"

# Pins COM5-COM8 to links this suite owns (COM7's at an emulator) and restarts the
# wineserver, so that the mount manager maps them; report_unpin undoes it.
report_pin() {
    local n
    for n in 5 6 7 8; do
        wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$TVR_RIG_DIR/ports/com$n" /f >/dev/null 2>&1
    done
    wineserver -k || true
    wineserver -w || true
}
report_unpin() {
    local n
    for n in 5 6 7 8; do
        wine reg delete 'HKLM\Software\Wine\Ports' /v "COM$n" /f >/dev/null 2>&1 || true
        tvr_port_none "$n"
    done
    wineserver -k || true
    wineserver -w || true
}

tvr_case "a modem on COM7, which the scan never tries: probed, and said so"
report_pin
tvr_emu 7 crlf
printf '%s\n' "$report_voice_line" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report
tvr_emu_stop
report_unpin
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line '  COM7  answering: "\r\nOK\r\n"'
tvr_expect_line "  Note: a modem answers on COM7, but the scan looks only at COM1 to COM4."
tvr_expect_line "  TVRScanForModem     0: no modem answered on COM1 to COM4"
tvr_expect_eq "COM7 lines" $'ATE0V1\\r\nAT\\r' "$(tvr_emu_lines 7)"

tvr_case "a telephony service that rewrites the identifier's dwTotalSize to 65536 and points its string at 5000"
printf '%s\n' "hostile-id" "$report_data_modem" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report
# The DLL's own query meets the same service; whatever it concludes, the report ends.
tvr_expect [ "$RC" -le 1 ]
tvr_expect_line '  line 0  "Double Modem 0"  data modem, port unknown (no port name in the identifier), configured for 19200 bit/s'
tvr_expect_eq "the double rewrote the report's 1024-byte block" 1 \
    "$(grep -c '^lineGetID rewrote total=65536 used=65536 string_offset=5000 in a block of 1024$' "$report_system/tapi-calls.log" 2>/dev/null || true)"
tvr_expect grep -q '^Result: ' <<<"$OUT"
