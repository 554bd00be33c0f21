# tvrprobe report as a support person runs it, from the build's own tvrprobe.exe:
#   - -h prints the usage, the console words and the exit codes;
#   - the DLL of the other build beside tvrprobe: the report says so in plain words, with
#     the error, and still lists the ports and the telephony lines;
#   - a modem on COM7, a port Windows lists but the scan never tries: the report probes it
#     and says that the scan looks only at COM1 to COM4;
#   - a telephony service that rewrites dwTotalSize to 65536 in the report's 1024-byte
#     block and points the string past it: no crash, a sane line;
#   - a Bluetooth serial port (a \Device\BthModem value under SERIALCOMM) on COM9, and on
#     COM2, at emulated devices that log every open: never opened, with or without
#     --ports naming it, and the scan not called while COM2 is one;
#   - --no-probe lists every port and opens none; --ports COM7 opens COM7 alone; neither
#     lets the scan open COM1-COM4, and the check opens only a port the report may open;
#   - a malformed --ports and an unknown argument are usage errors.
# Every COM name the report may open is pinned in HKLM\Software\Wine\Ports to a path
# this suite owns (COM1-COM4 by the rig, COM5-COM9 here for the COM7 and Bluetooth
# cases, removed afterwards); the names Wine then gives the machine's serial devices lie
# in the rig's fence, where they reach /dev/null.
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

# Pins COM5-COM9 to links this suite owns (COM7's and COM9's at emulators) and restarts
# the wineserver, so that the mount manager maps them; report_unpin undoes it.
report_pin() {
    report_ports_reg "\"COM@N@\"=\"$TVR_RIG_DIR/ports/com@N@\""
    tvr_wineserver_restart
}
report_unpin() {
    local n
    report_ports_reg '"COM@N@"=-'
    for n in 5 6 7 8 9; do tvr_port_none "$n"; done
    tvr_wineserver_restart
}
# One regedit for the five values (each Windows program started costs seconds in the
# guest): LINE is the value's line, with COMn's number for each @N@.
report_ports_reg() {
    local file=$TVR_LOG_DIR/ports.reg n
    {
        printf 'REGEDIT4\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Wine\\Ports]\r\n'
        for n in 5 6 7 8 9; do printf '%s\r\n' "${1//@N@/$n}"; done
    } >"$file"
    wine regedit /s "$file" >/dev/null 2>&1 || true
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

tvr_case "a malformed --ports and an unknown argument are usage errors, before any port is opened"
tvr_emu 3 crlf
tvr_wine "$report_stage/same/tvrprobe.exe" report --ports COM5,
tvr_expect_eq "exit code of --ports COM5," 2 "$RC"
tvr_expect_eq "its error" 'tvrprobe report: --ports takes port names separated by commas, such as COM5,COM7 (COM1 to COM255), not "COM5,"' \
    "$(tr -d '\r' <"$TVR_LOG_DIR/last.err")"
for report_args in "--ports COM0" "--ports" "--no-probe --ports COM5" "--probe"; do
    # shellcheck disable=SC2086 # each set of arguments is split on purpose
    tvr_wine "$report_stage/same/tvrprobe.exe" report $report_args
    tvr_expect_eq "exit code of report $report_args" 2 "$RC"
done
tvr_expect_eq "the usage" 'usage: tvrprobe report [--no-probe | --ports COMn[,COMn...]]' "$(tr -d '\r' <"$TVR_LOG_DIR/last.err")"
tvr_emu_stop
tvr_expect_eq "COM3 opens" 0 "$(tvr_emu_count 3 open)"

# Wine's mount manager writes SERIALCOMM into a volatile key, which a new wineserver
# starts without: a value added there lasts only while the wineserver that took it runs.
# So the Bluetooth cases run under the one wineserver that report_pin starts (and
# report_unpin replaces), with the key filled by the mount manager first.
report_serialcomm() {
    wine reg "$1" 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' /v "$2" ${3:+/t REG_SZ /d "$3"} /f >/dev/null 2>&1
}
report_bluetooth_line() {
    printf '  COM%s  not opened: a Bluetooth serial port (%s), whose open makes Windows try to reach the paired device and can block for a long time' "$1" "$2"
}

tvr_case "a Bluetooth serial port on COM9 and a modem on COM7: COM7 probed, COM9 named and never opened"
report_pin
wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' >/dev/null 2>&1
report_serialcomm add '\Device\BthModem0' COM9
tvr_expect_eq "SERIALCOMM lists the Bluetooth device" '\Device\BthModem0    REG_SZ    COM9' \
    "$(wine reg query 'HKLM\HARDWARE\DEVICEMAP\SERIALCOMM' 2>/dev/null | tr -d '\r' | sed -n 's/^ *\(\\Device\\BthModem0 .*\)$/\1/p')"
tvr_emu 7 crlf
tvr_emu 9 crlf
printf '%s\n' "$report_voice_line" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line '  COM7  answering: "\r\nOK\r\n"'
tvr_expect_line "$(report_bluetooth_line 9 '\Device\BthModem0')"
tvr_expect_line "  Note: a modem answers on COM7, but the scan looks only at COM1 to COM4."
tvr_expect_line "  TVRScanForModem     0: no modem answered on COM1 to COM4"
tvr_expect_line "Result: no modem was found, neither on COM1 to COM4 nor through the telephony service."
tvr_wine "$report_stage/same/tvrprobe.exe" report --ports COM9,COM7
tvr_expect_eq "exit code with --ports COM9,COM7" 1 "$RC"
tvr_expect_line "$(report_bluetooth_line 9 '\Device\BthModem0')"
tvr_expect_line '  COM7  answering: "\r\nOK\r\n"'
tvr_emu_stop
tvr_expect_eq "COM9 opens" 0 "$(tvr_emu_count 9 open)"
tvr_expect_eq "COM7 lines" $'ATE0V1\\r\nAT\\r\nATE0V1\\r\nAT\\r' "$(tvr_emu_lines 7)"

tvr_case "--no-probe: every port listed and none opened, the scan and the check not called"
tvr_emu 3 crlf
tvr_emu 7 crlf
tvr_emu 9 crlf
printf '%s\n' "$report_data_modem" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report --no-probe
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line '  COM1  not opened (--no-probe); Windows lists it as \Device\Serial0'
tvr_expect_line '  COM3  not opened (--no-probe); Windows lists it as \Device\Serial2'
tvr_expect_line '  COM7  not opened (--no-probe); Windows lists it as \Device\Serial6'
tvr_expect_line "$(report_bluetooth_line 9 '\Device\BthModem0')"
tvr_expect_line '  line 0  "Double Modem 0"  data modem, port COM3, configured for 19200 bit/s'
tvr_expect_line "  TVRScanForModem     not called: it would open COM1, which this report leaves closed (--no-probe)"
tvr_expect_line "  TVRModemAvailable   2: a data modem set up for 9600 bit/s or more; last port name reported: COM3"
tvr_expect_line "  TVRCheckCommParams  not called: it would open COM3, which this report leaves closed (--no-probe)"
tvr_expect_line "Result: a modem was found by the telephony service; the scan was not called."
tvr_emu_stop
tvr_expect_eq "COM3, COM7 and COM9 opens" "0 0 0" \
    "$(tvr_emu_count 3 open) $(tvr_emu_count 7 open) $(tvr_emu_count 9 open)"

tvr_case "--ports COM7: COM7 alone probed, the scan not called, the check on the COM7 telephony names"
tvr_emu 3 crlf
tvr_emu 7 crlf
printf '%s\n' "device 0 0 1 16 0 0 COM7 0 19200" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report --ports com7
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line '  COM3  not opened (not named in --ports); Windows lists it as \Device\Serial2'
tvr_expect_line '  COM7  answering: "\r\nOK\r\n"'
tvr_expect_line "  TVRScanForModem     not called: it would open COM1, which this report leaves closed (not named in --ports)"
tvr_expect_line '  TVRCheckCommParams  1: COM7 takes 9600 bit/s and its device answered "AT" (or another program holds COM7)'
tvr_expect_line "Result: a modem was found by the telephony service; the scan was not called."
tvr_emu_stop
tvr_expect_eq "COM3 opens" 0 "$(tvr_emu_count 3 open)"
# The report's probe, then the check.
tvr_expect_eq "COM7 opens" 2 "$(tvr_emu_count 7 open)"

tvr_case "a Bluetooth serial port on COM2: never opened, so the scan, which would open it, is not called"
report_serialcomm add '\Device\BthModem1' COM2
tvr_emu 2 crlf
tvr_emu 3 crlf
printf '%s\n' "$report_voice_line" >"$report_system/tapi-scenario.txt"
tvr_wine "$report_stage/same/tvrprobe.exe" report
report_serialcomm delete '\Device\BthModem1'
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line "$(report_bluetooth_line 2 '\Device\BthModem1')"
tvr_expect_line '  COM3  answering: "\r\nOK\r\n"'
tvr_expect_line "  TVRScanForModem     not called: it would open COM2, which this report leaves closed (a Bluetooth serial port, never opened)"
tvr_expect_line "  TVRCheckCommParams  not called: neither the scan nor telephony named a port"
tvr_expect_line "Result: no modem was found through the telephony service; the scan was not called."
tvr_emu_stop
report_unpin
tvr_expect_eq "COM2 opens" 0 "$(tvr_emu_count 2 open)"
tvr_expect_eq "COM3 opens" 1 "$(tvr_emu_count 3 open)"
