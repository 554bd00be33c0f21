# TVRCheckCommParams under Wine, against emulated devices on COM1-COM4.
# Each case runs the check once through the test host ("check PORT BAUD FLAG [CMD]")
# and checks the result and what the emulator saw: bytes, line settings, open and close.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

tvr_case "a device that answers one byte: result 1, and the call ends at that byte"
tvr_emu 1 onebyte --delay 300
tvr_host check COM1 9600 1 AT
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_eq "COM1 lines" 'AT\r' "$(tvr_emu_lines 1)"
tvr_expect_eq "replies sent" 1 "$(tvr_emu_count 1 tx)"
# The emulator sent the byte before the port was closed: the call ended at the byte.
tvr_expect_num "$(tvr_emu_first 1 tx)" "<" "$(tvr_emu_last 1 close)" "byte sent before the port closed"
# The time is for the log only; the benchmark measures timings.
echo "      check answered after 300 ms: $(tvr_value ms) ms"

tvr_case "a silent device: result 0 once the reply window has passed"
tvr_emu 2 silent
tvr_host check COM2 9600 1 AT
tvr_emu_stop
tvr_expect_value result 0
tvr_expect_eq "COM2 lines" 'AT\r' "$(tvr_emu_lines 2)"
tvr_expect_eq "COM2 closes" "$(tvr_emu_count 2 open)" "$(tvr_emu_count 2 close)"
echo "      check on a silent device: $(tvr_value ms) ms"

tvr_case "the reply window: a byte 1.5 s after the command counts, one 4.5 s after does not"
# Delays well inside and well outside the 3000 ms window, counted by the emulator from
# the command's carriage return, so that start-up and load cannot tip the result.
tvr_emu 1 onebyte --delay 1500
tvr_emu 2 onebyte --delay 4500
tvr_host check COM1 9600 1 AT
tvr_expect_value result 1
tvr_host check COM2 9600 1 AT
tvr_expect_value result 0
tvr_emu_stop
tvr_expect_eq "COM2 replies before its close" "" \
    "$(awk '/^tx /{print "sent"} /^close /{exit}' "$(tvr_emu_log 2)")"

tvr_case "a port name that points at nothing: result 0"
tvr_host check COM3 9600 1 AT
tvr_expect_value result 0
tvr_host check COM3 9600 0
tvr_expect_value result 0

tvr_case "no port name (a null pointer): result 0, nothing opened, no crash"
tvr_emu 1 crlf
tvr_host check "(null)" 9600 1 AT
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_value result 0
tvr_host check "(null)" 9600 0
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_value result 0
tvr_emu_stop
tvr_expect_eq "COM1 opens" 0 "$(tvr_emu_count 1 open)"

tvr_case "flag zero with a null command: result 1, settings applied, no byte sent"
tvr_emu 4 crlf
tvr_host check COM4 19200 0
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_eq "bytes received" 0 "$(tvr_emu_count 4 rx)"
tvr_expect_eq "settings left on the line" "speed=19200 data=8 parity=none stop=1" \
    "$(grep '^settings ' "$(tvr_emu_log 4)" | tail -1 | sed 's/^settings t=[0-9.]* //')"
tvr_expect_eq "COM4 closes" "$(tvr_emu_count 4 open)" "$(tvr_emu_count 4 close)"

tvr_case "the device sees the caller's speed, 8 data bits, no parity, one stop bit"
for speed in 9600 19200 2400; do
    tvr_emu 1 crlf
    tvr_host check COM1 "$speed" 1 AT
    tvr_emu_stop
    tvr_expect_value result 1
    tvr_expect_eq "settings at $speed" "speed=$speed data=8 parity=none stop=1" "$(tvr_emu_line_settings 1 1)"
done

tvr_case "an empty command sends a lone carriage return and still awaits a reply"
tvr_emu 2 onebyte
tvr_host check COM2 9600 1 ""
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_eq "COM2 lines" '\r' "$(tvr_emu_lines 2)"

tvr_case "any byte counts as a reply: echo, ERROR, a bare OK, a zero byte"
for profile in echo error bareok nul; do
    tvr_emu 3 "$profile"
    tvr_host check COM3 9600 1 ATI
    tvr_emu_stop
    tvr_expect_eq "result for $profile" 1 "$(tvr_value result)"
    tvr_expect_eq "COM3 lines for $profile" 'ATI\r' "$(tvr_emu_lines 3)"
done

tvr_case "a port that opens but is no serial line (COM2 is /dev/null): result 0"
tvr_port 2 /dev/null
tvr_host check COM2 9600 0
tvr_expect_value result 0

tvr_case "an open refused with access denied counts as usable, command or not, and sends nothing"
# Wine refuses to open a directory as a file with ERROR_ACCESS_DENIED, the error a port
# held by another program gives on Windows (Wine itself does not enforce share mode 0).
mkdir -p "$TVR_LOG_DIR/held"
tvr_port 2 "$TVR_LOG_DIR/held"
tvr_host check COM2 9600 1 AT
tvr_expect_value result 1
tvr_host check COM2 9600 0
tvr_expect_value result 1

tvr_case "a held port with a command that can never be sent (too long, or null): result 0"
# The refusal of the command comes before the open, so the answer does not depend on
# whether another program happens to hold the port.
mkdir -p "$TVR_LOG_DIR/held"
tvr_port 2 "$TVR_LOG_DIR/held"
tvr_host check COM2 9600 1 @255
tvr_expect_value result 0
tvr_host check COM2 9600 1
tvr_expect_value result 0

tvr_case "a command flag of 2 or -1 sends the command and waits, as 1 does"
for flag in 2 -1; do
    tvr_emu 1 onebyte --delay 300
    tvr_host check COM1 9600 "$flag" AT
    tvr_emu_stop
    tvr_expect_eq "result for flag $flag" 1 "$(tvr_value result)"
    tvr_expect_eq "COM1 lines for flag $flag" 'AT\r' "$(tvr_emu_lines 1)"
done

tvr_case "the check resolved by ordinal answers the same"
tvr_emu 4 crlf
tvr_host --by-ordinal check COM4 9600 1 AT
tvr_emu_stop
tvr_expect_line "load=ok by=ordinal"
tvr_expect_value result 1
tvr_expect_eq "COM4 lines" 'AT\r' "$(tvr_emu_lines 4)"

tvr_case "the longest command that fits (254 characters) goes out whole, with its carriage return"
tvr_emu 1 crlf
tvr_host check COM1 9600 1 @254
tvr_emu_stop
tvr_expect_value result 1
tvr_expect_eq "bytes received" 255 "$(tvr_emu_count 1 rx)"
tvr_expect_eq "line length" 257 "$(tvr_emu_lines 1 | wc -c)"

tvr_case "a command too long for the line (255 characters) is refused before the port is opened"
tvr_emu 1 crlf
tvr_host check COM1 9600 1 @255
tvr_emu_stop
tvr_expect_value result 0
tvr_expect_eq "COM1 opens" 0 "$(tvr_emu_count 1 open)"
tvr_expect_eq "bytes received" 0 "$(tvr_emu_count 1 rx)"

tvr_case "a null command with the flag set is refused before the port is opened"
tvr_emu 1 crlf
tvr_host check COM1 9600 1
tvr_emu_stop
tvr_expect_value result 0
tvr_expect_eq "COM1 opens" 0 "$(tvr_emu_count 1 open)"

tvr_case "tvrprobe check tells an unusable port from a device that does not answer"
tvr_emu 1 crlf
tvr_emu 2 silent
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" check COM1 9600 AT
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line 'The device on COM1 answered "AT" (or another program holds COM1, so nothing was sent).'
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" check COM2 19200 AT
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line 'The device on COM2 did not answer "AT" within 3 seconds.'
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" check COM3 9600
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line "COM3 can't be used at 9600 bit/s: it does not exist or refused the setting."
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" check COM1 fast
tvr_expect_eq "exit code" 2 "$RC"

tvr_case "tvrprobe check tells a command too long for the library from a silent device"
tvr_emu 1 crlf
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" check COM1 9600 "$(printf 'A%.0s' {1..255})"
tvr_emu_stop
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line "The command is too long (255 characters): telvarid.dll refuses commands longer than 254 characters and sends nothing."
tvr_expect_eq "bytes received" 0 "$(tvr_emu_count 1 rx)"
