# What both find suites (suite-find.sh, suite-find-window.sh) read from the test host's
# output and from the emulators' logs.

# The value of KEY on the output line of MODE ("mode=at-once result=1 port=3 ms=...").
mode_value() { printf '%s\n' "$OUT" | grep "^mode=$1 " | grep -o -E "(^| )$2=[^ ]*" | sed -E "s/^ ?$2=//"; }

# Both modes gave RESULT and PORT.
expect_answer() {
    local mode
    for mode in at-once in-turn; do
        tvr_expect_eq "$mode result" "$1" "$(mode_value "$mode" result)"
        tvr_expect_eq "$mode port" "$2" "$(mode_value "$mode" port)"
    done
}

# Every session on COMn heard the scan's dialogue, each command line whole, and every
# open was matched by a close before the call returned.
expect_dialogue_each_open() {
    local opens closes want="" i
    opens=$(tvr_emu_count "$1" open)
    closes=$(tvr_emu_count "$1" close)
    tvr_expect_num "$opens" ">" 0 "COM$1 opened"
    tvr_expect_eq "COM$1 closes" "$opens" "$closes"
    for ((i = 0; i < opens; i++)); do want+=$'ATE0V1\\r\nAT\\r\n'; done
    tvr_expect_eq "COM$1 lines" "${want%$'\n'}" "$(tvr_emu_lines "$1")"
}

expect_all_closed() {
    local n
    for n in "$@"; do
        tvr_expect_eq "COM$n closes" "$(tvr_emu_count "$n" open)" "$(tvr_emu_count "$n" close)"
    done
}

# Cancel is promised within 500 ms: each probe looks at its stop event every 20 ms, and
# the call then only joins the threads and closes its window (12 to 45 ms measured on
# a quiet machine). On a machine loaded by other suites every thread of this process
# runs late: the reference is the owner's slowest WM_NULL answer in the same search,
# which shows how late the calling thread got to run; twice it is added to the promise.
expect_cancel_in_time() {
    local limit
    limit=$(awk -v w="$(tvr_value wm_null_max_ms)" 'BEGIN { printf "%.0f", 500 + 2 * w }')
    tvr_expect_num "$(tvr_value cancel_to_return_ms)" "<=" "$limit" "Cancel to return (ms), against 500 + 2 x the slowest WM_NULL"
}

expect_untouched() {
    tvr_expect_eq "COM$1 opens" 0 "$(tvr_emu_count "$1" open)"
    tvr_expect_eq "COM$1 bytes" 0 "$(tvr_emu_count "$1" rx)"
}
