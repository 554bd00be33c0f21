# Hostile devices under Wine: the emulator's profiles that the fuzzers found worth
# playing on a real line: a reply of NUL bytes only, a reply of 300 bytes, a line kept
# busy with a byte every 400 ms after the answer, and a line stalled by XON/XOFF flow
# control for seconds and then taking everything at once. Each scan and check against
# them ends within its stated worst case (12,100 ms for the scan's one opened port,
# 20,000 ms for a check that sends a command), with the result that the reply's
# judgment gives. The times are ceilings, each with one second for Wine's own work, plus
# what Wine's own work costs in the conditions of the moment: before each device, a scan
# of a modem that answers at once (1,600 ms of waiting on the line) is timed, and what it
# took beyond those 1,600 ms is added. Beside other suites, or in the guest under software
# emulation, Wine is slower; a scan or check whose time-outs grew is not: doubling the
# reply read's per-byte time-out alone adds 6,400 ms to the scan's worst case, and the
# reference scan, whose reply comes at once, does not see it.
# In the guest's two-lane session it runs alone: the reference is taken before each
# device, and the other lane's load changes from one second to the next (a Windows
# program starting, then an emulator's wait), so a reference taken beside it does not
# bound the overhead of the scan that follows, and the ceilings keep only one second.
# tvr-session: alone
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

readonly hostile_scan_ceiling_ms=$((12100 + 1000))
readonly hostile_check_ceiling_ms=$((20000 + 1000))
readonly hostile_reference_ms=1600

# Wine's extra time now, in hostile_overhead: a scan of a prompt modem on COM1, less its
# 1,600 ms on the line.
hostile_measure_overhead() {
    local ms
    hostile_overhead=0
    tvr_emu 1 crlf || return 0
    tvr_host scan
    tvr_emu_stop
    ms=$(tvr_value ms)
    ms=${ms%%.*}
    if [[ $(tvr_value result) == 1 && $ms =~ ^[0-9]+$ ]] && ((ms > hostile_reference_ms)); then
        hostile_overhead=$((ms - hostile_reference_ms))
    fi
}

# Scans with the device on COM1 (the other ports missing), then checks COM1 with "AT".
# hostile_run PROFILE-AND-OPTIONS SCAN-RESULT SCAN-PORT CHECK-RESULT
hostile_run() {
    local -a emu_args
    read -r -a emu_args <<<"$1"
    hostile_measure_overhead
    local overhead=$hostile_overhead
    echo "      Wine's extra time now (the reference scan): $overhead ms"
    tvr_emu 1 "${emu_args[@]}" || { tvr_fail "the emulator did not start"; return; }
    tvr_host scan
    tvr_emu_stop
    tvr_expect_line "result=$2 port=$3 ms=$(tvr_value ms)"
    tvr_expect_num "$(tvr_value ms)" "<=" "$((hostile_scan_ceiling_ms + overhead))" "scan within its ceiling"
    tvr_emu 1 "${emu_args[@]}" || { tvr_fail "the emulator did not start"; return; }
    tvr_host check COM1 9600 1 AT
    tvr_emu_stop
    tvr_expect_value result "$4"
    tvr_expect_num "$(tvr_value ms)" "<=" "$((hostile_check_ceiling_ms + overhead))" "check within its ceiling"
}

tvr_case "NUL bytes only: the scan's reply starts with zero, which is silence; any byte answers the check"
hostile_run "nulonly" 0 0 1
tvr_expect_eq "NUL reply sent" 1 "$(grep -c 'tx t=.* text="\\x00\\x00\\x00\\x00"' "$(tvr_emu_log 1)")"

tvr_case "300 bytes: the scan reads 128 of them in one read and counts an answer"
hostile_run "long --length 300" 1 1 1

tvr_case "an answer, then a byte every 400 ms without end: the drains and the read still end"
hostile_run "busy --interval 400" 1 1 1

tvr_case "flow control holds the line for 3 s, then it takes everything: AT gets through and is answered"
hostile_run "stall --stall 3000" 1 1 1
tvr_expect_eq "XON after the stall" 1 "$(tvr_emu_count 1 xon)"
tvr_expect_eq "the check's AT arrived whole" "AT\\r" "$(tvr_emu_lines 1)"

tvr_case "flow control holds the line for 25 s: no write gets through, both give up within their ceilings"
hostile_run "stall --stall 25000" 0 0 0
tvr_expect_eq "nothing got through" "" "$(tvr_emu_lines 1)"
