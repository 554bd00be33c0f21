# TVRScanForModem under Wine, against emulated modems on COM1-COM4.
# Each case points the COM links at emulators (or at nothing), runs the scan (once,
# unless it says otherwise) through the test host, and checks both the result and
# what the emulators saw.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

# The dialogue every opened port must see, one whole command line each. The drains
# purge only the input, so nothing that was written is flushed from the tty's output
# queue before the emulator has read it.
expect_dialogue() {
    tvr_expect_eq "COM$1 lines" $'ATE0V1\\r\nAT\\r' "$(tvr_emu_lines "$1")"
}

# No purge flushed the output side of COMn (the emulator logs each flush it is told of).
expect_no_output_flush() {
    tvr_expect_eq "COM$1 output flushes" 0 "$(grep -c -E '^purge .*flush=(output|both)' "$(tvr_emu_log "$1")" || true)"
}

# A port that was never opened has no open event and received no byte.
expect_untouched() {
    tvr_expect_eq "COM$1 opens" 0 "$(tvr_emu_count "$1" open)"
    tvr_expect_eq "COM$1 bytes" 0 "$(tvr_emu_count "$1" rx)"
}

# Every open of the port was matched by a close before the scan returned.
expect_closed() {
    local opens closes
    opens=$(tvr_emu_count "$1" open)
    closes=$(tvr_emu_count "$1" close)
    tvr_expect_num "$opens" ">" 0 "COM$1 opened"
    tvr_expect_eq "COM$1 closes" "$opens" "$closes"
}

tvr_case "no serial ports at all: result 0, the integer is written 0, no waiting"
tvr_host scan
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_value result 0
tvr_expect_value port 0
echo "      scan with no ports: $(tvr_value ms) ms"

tvr_case "no integer (a null pointer): the scan still runs, finds COM3 and returns 1, and no crash"
tvr_emu 3 crlf
tvr_host scan-null
tvr_emu_stop
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_value result 1
tvr_expect_line "unload=ok"
expect_dialogue 3
expect_closed 3
# And with no port at all: 0, the same answer as with an integer.
tvr_port_none 3
tvr_host scan-null
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_value result 0

tvr_case "COM1 and COM2 missing, a modem on COM3: port 3, and COM4 is never opened"
tvr_emu 3 crlf
tvr_emu 4 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 3
expect_dialogue 3
expect_closed 3
expect_untouched 4
echo "      scan finding COM3: $(tvr_value ms) ms"

tvr_case "the modem sees ATE0V1 then AT, each with a carriage return, at 2400 bit/s, 8N1"
tvr_emu 1 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value port 1
tvr_expect_eq "COM1 lines" $'ATE0V1\\r\nAT\\r' "$(tvr_emu_lines 1)"
# The emulator starts at 1200 bit/s with two stop bits: 2400 and one stop bit were set.
tvr_expect_eq "settings at ATE0V1" "speed=2400 data=8 parity=none stop=1" "$(tvr_emu_line_settings 1 1)"
tvr_expect_eq "settings at AT" "speed=2400 data=8 parity=none stop=1" "$(tvr_emu_line_settings 1 2)"
tvr_expect_eq "bytes received" 10 "$(tvr_emu_count 1 rx)"
tvr_expect_num "$(tvr_emu_count 1 purge)" ">" 0 "purges seen"
expect_no_output_flush 1

tvr_case "fifty scans in a row: every one sends ATE0V1 and AT whole, and every one finds the modem"
# Wine's WriteFile returns once the bytes are in the tty's queue; a purge of the output
# side right after "ATE0V1" would flush them before the emulator read them. One process
# scans fifty times, as a setup program that scans again would.
tvr_emu 1 crlf
tvr_host scan 50
tvr_emu_stop
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "scans that found COM1" 50 "$(printf '%s\n' "$OUT" | grep -c -E '^result=1 port=1 ms=' || true)"
tvr_expect_eq "COM1 lines" "$(for i in $(seq 50); do printf 'ATE0V1\\r\nAT\\r\n'; done)" "$(tvr_emu_lines 1)"
tvr_expect_eq "bytes received" 500 "$(tvr_emu_count 1 rx)"
tvr_expect_eq "COM1 opens" 50 "$(tvr_emu_count 1 open)"
tvr_expect_eq "COM1 closes" 50 "$(tvr_emu_count 1 close)"
expect_no_output_flush 1

tvr_case "modems on COM2 and COM4: COM2 is reported and COM4 never opened"
tvr_emu 2 crlf
tvr_emu 4 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 2
expect_dialogue 2
expect_untouched 4

tvr_case "a device answering a bare \"OK\" on COM1 is skipped; the modem on COM2 is found"
tvr_emu 1 bareok
tvr_emu 2 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 2
expect_dialogue 1
expect_closed 1
expect_dialogue 2

tvr_case "a device whose echo stays on counts as answering"
tvr_emu 1 echo
tvr_emu 2 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value port 1
expect_dialogue 1
expect_untouched 2

tvr_case "a device answering ERROR counts as answering"
tvr_emu 1 error
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 1
expect_dialogue 1

tvr_case "a reply that starts with a zero byte counts as silence; the scan goes on"
tvr_emu 1 nul
tvr_emu 3 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value port 3
expect_dialogue 1
expect_closed 1

tvr_case "a reply longer than the reply buffer counts as answering"
tvr_emu 2 long
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 2
expect_dialogue 2
expect_closed 2

tvr_case "the scan resolved by ordinal finds the modem too"
tvr_emu 3 crlf
tvr_host --by-ordinal scan
tvr_emu_stop
tvr_expect_line "load=ok by=ordinal"
tvr_expect_value result 1
tvr_expect_value port 3

tvr_case "a port that opens but is no serial line (COM1 is /dev/null) counts as silent"
tvr_port 1 /dev/null
tvr_emu 2 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 2
expect_dialogue 2
echo "      scan past /dev/null: $(tvr_value ms) ms"

tvr_case "a port whose open is refused with access denied is skipped"
# Wine refuses to open a directory as a file with ERROR_ACCESS_DENIED, the error a port
# held by another program gives on Windows (Wine itself does not enforce share mode 0).
mkdir -p "$TVR_LOG_DIR/held"
tvr_port 1 "$TVR_LOG_DIR/held"
tvr_emu 2 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 2
expect_dialogue 2

tvr_case "a silent device on COM1 costs its time-outs, then the modem on COM2 is found"
tvr_emu 1 silent
tvr_emu 2 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 2
expect_dialogue 1
expect_closed 1
expect_dialogue 2
echo "      scan past one silent port: $(tvr_value ms) ms"

tvr_case "a device that never falls silent: the bounded drains still end and the port is reported"
tvr_emu 1 chatter --interval 5
tvr_emu 2 crlf
tvr_host scan
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_value port 1
expect_closed 1
expect_untouched 2
echo "      scan on a chattering port: $(tvr_value ms) ms"

tvr_case "a second scan repeats the whole dialogue"
tvr_emu 2 crlf
tvr_host scan
tvr_host scan
tvr_emu_stop
tvr_expect_value port 2
tvr_expect_eq "COM2 AT lines" 2 "$(tvr_emu_lines 2 | grep -c -x 'AT\\r' || true)"
tvr_expect_eq "COM2 opens" 2 "$(tvr_emu_count 2 open)"

tvr_case "tvrprobe says in words where the modem answers, or that none did"
tvr_emu 3 crlf
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe"
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "A modem answers on COM3."
tvr_emu_stop
tvr_port_none 3
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" scan
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line "No modem answered on COM1 to COM4."
