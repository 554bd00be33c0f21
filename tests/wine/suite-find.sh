# TVRFindModem under Wine, against emulated modems on COM1-COM4, without an owner window:
# the scan's answer for every emulator scenario of suite-scan.sh, in both modes (one
# host process runs the four ports at once, then in turn), and what each port received.
# The owner window, Cancel and the screenshots are in suite-find-window.sh, which runs
# alone in the guest; these cases check no duration but one with room for a loaded
# machine, so they share the guest's lanes.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
source "$TVR_SOURCE_DIR/tests/wine/find-lib.sh"
# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

tvr_case "no serial ports at all: result 0 and port 0 in both modes, at once"
tvr_host find
tvr_expect_eq "exit code" 0 "$RC"
expect_answer 0 0
tvr_expect_line "unload=ok"
tvr_expect_line "after_unload=gone"

tvr_case "no integer: the find still runs and answers 1 for the modem on COM3"
tvr_emu 3 crlf
tvr_host find --null-port
tvr_emu_stop
tvr_expect_eq "at-once result" 1 "$(mode_value at-once result)"
tvr_expect_eq "in-turn result" 1 "$(mode_value in-turn result)"
tvr_expect_line "unload=ok"

tvr_case "a modem on COM3 and one on COM4: port 3; at once every port is closed, in turn COM4 is never opened"
tvr_emu 3 crlf
tvr_emu 4 crlf
tvr_host find --modes at-once
tvr_emu_stop
tvr_expect_eq "at-once result" 1 "$(mode_value at-once result)"
tvr_expect_eq "at-once port" 3 "$(mode_value at-once port)"
expect_dialogue_each_open 3
expect_all_closed 3 4
tvr_emu 3 crlf
tvr_emu 4 crlf
tvr_host find --modes in-turn
tvr_emu_stop
tvr_expect_eq "in-turn result" 1 "$(mode_value in-turn result)"
tvr_expect_eq "in-turn port" 3 "$(mode_value in-turn port)"
expect_dialogue_each_open 3
expect_untouched 4

tvr_case "the modem sees ATE0V1 then AT at 2400 bit/s 8N1, as from the scan"
tvr_emu 1 crlf
tvr_host find --modes at-once
tvr_emu_stop
tvr_expect_eq "at-once port" 1 "$(mode_value at-once port)"
tvr_expect_eq "COM1 lines" $'ATE0V1\\r\nAT\\r' "$(tvr_emu_lines 1)"
tvr_expect_eq "settings at ATE0V1" "speed=2400 data=8 parity=none stop=1" "$(tvr_emu_line_settings 1 1)"
tvr_expect_eq "settings at AT" "speed=2400 data=8 parity=none stop=1" "$(tvr_emu_line_settings 1 2)"
tvr_expect_eq "output flushes" 0 "$(grep -c -E '^purge .*flush=(output|both)' "$(tvr_emu_log 1)" || true)"

tvr_case "modems on COM2 and COM4: COM2"
tvr_emu 2 crlf
tvr_emu 4 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 2
expect_dialogue_each_open 2
expect_all_closed 4

tvr_case "a bare \"OK\" on COM1 is skipped; the modem on COM2 is found"
tvr_emu 1 bareok
tvr_emu 2 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 2
expect_dialogue_each_open 1

tvr_case "a device whose echo stays on counts as answering: COM1"
tvr_emu 1 echo
tvr_emu 2 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 1

tvr_case "ERROR counts as answering: COM1"
tvr_emu 1 error
tvr_host find
tvr_emu_stop
expect_answer 1 1

tvr_case "a reply that starts with a zero byte counts as silence: COM3"
tvr_emu 1 nul
tvr_emu 3 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 3

tvr_case "a reply longer than the reply buffer counts as answering: COM2"
tvr_emu 2 long
tvr_host find
tvr_emu_stop
expect_answer 1 2

tvr_case "TVRFindModem resolved by ordinal 5 finds the modem too"
tvr_emu 3 crlf
tvr_host find --ordinal
tvr_emu_stop
expect_answer 1 3

tvr_case "COM1 is /dev/null (opens, no serial line): silent; COM2"
tvr_port 1 /dev/null
tvr_emu 2 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 2

tvr_case "COM1's open is refused with access denied: skipped; COM2"
mkdir -p "$TVR_LOG_DIR/held"
tvr_port 1 "$TVR_LOG_DIR/held"
tvr_emu 2 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 2

tvr_case "a silent COM1 is waited for, then the modem on COM2 answers"
tvr_emu 1 silent
tvr_emu 2 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 2
expect_dialogue_each_open 1
expect_dialogue_each_open 2
echo "      past one silent port: at once $(mode_value at-once ms) ms, in turn $(mode_value in-turn ms) ms"

tvr_case "a device that never falls silent on COM1 is reported"
tvr_emu 1 chatter --interval 5
tvr_emu 2 crlf
tvr_host find
tvr_emu_stop
expect_answer 1 1
expect_all_closed 1 2

tvr_case "four silent ports at once take one silent port's time, not four"
for n in 1 2 3 4; do tvr_emu "$n" silent; done
tvr_host find --modes at-once
tvr_emu_stop
tvr_expect_eq "result" 0 "$(mode_value at-once result)"
expect_all_closed 1 2 3 4
# A scan takes four silent ports' time (about 32 s); at once they overlap. Generous:
# two silent ports' time, so that a loaded machine does not fail it.
tvr_expect_num "$(mode_value at-once ms | cut -d. -f1)" "<" 16000 "four silent ports at once (ms)"
echo "      four silent ports at once: $(mode_value at-once ms) ms"
