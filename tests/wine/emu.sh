# Helpers for suites, benches and the demo that put emulated modems on COM1-COM4
# (sourced after lib.sh; the emulator is tests/emu, built as $TVR_HOST_DIR/tvr_modememu).
#
#   tvr_emu N PROFILE [--delay MS] [--interval MS]
#                           starts an emulator playing PROFILE on COMn; it is stopped at
#                           the end of the case (or by tvr_emu_stop)
#   tvr_emu_stop            stops this case's emulators, so that their logs are complete
#   tvr_emu_log N           the path of COMn's emulator log
#   tvr_emu_lines N         the command lines COMn received, escaped, one per line
#   tvr_emu_line_settings N K   the line settings in force when COMn's K-th line ended
#   tvr_emu_count N EVENT   how many EVENT lines (open, close, rx, line, tx) COMn logged
#   tvr_emu_first N EVENT   the time (ms) of COMn's first EVENT, empty when none
#   tvr_emu_last N EVENT    the time (ms) of COMn's last EVENT, empty when none

TVR_EMU_SEQ=${TVR_EMU_SEQ:-0}
declare -A TVR_EMU_LOGS=()
TVR_EMU_PIDS=()

tvr_emu() {
    local n=$1 profile=$2
    shift 2
    TVR_EMU_SEQ=$((TVR_EMU_SEQ + 1))
    local log=$TVR_LOG_DIR/emu-$TVR_EMU_SEQ-com$n-$profile.log
    rm -f "$log"
    "$TVR_HOST_DIR/tvr_modememu" "$@" "$profile" "$TVR_RIG_DIR/ports/com$n" "$log" \
        2>>"$TVR_LOG_DIR/emu.err" &
    local pid=$!
    tvr_background "$pid"
    TVR_EMU_PIDS+=("$pid")
    TVR_EMU_LOGS[$n]=$log
    # Ready once the link exists and the start line is written.
    local i line
    for ((i = 0; i < 100; i++)); do
        if [[ -f $log ]]; then
            while IFS= read -r line; do
                [[ $line != "start "* ]] || return 0
            done <"$log"
        fi
        tvr_nap 0.05
    done
    echo "tvr_emu: the emulator for COM$n did not start (see $TVR_LOG_DIR/emu.err)" >&2
    return 1
}

tvr_emu_stop() {
    # Only emulators that are still this shell's own jobs: those that the end of an
    # earlier case stopped already are not signalled again.
    local pid live=() jobpids
    jobpids=" $(jobs -p | tr '\n' ' ') "
    for pid in "${TVR_EMU_PIDS[@]+"${TVR_EMU_PIDS[@]}"}"; do
        [[ $jobpids == *" $pid "* ]] && live+=("$pid")
    done
    for pid in "${live[@]+"${live[@]}"}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${live[@]+"${live[@]}"}"; do
        wait "$pid" 2>/dev/null || true
    done
    TVR_EMU_PIDS=()
}

tvr_emu_log() { printf '%s\n' "${TVR_EMU_LOGS[$1]:-/dev/null}"; }

tvr_emu_lines() {
    sed -n 's/^line t=[0-9.]* text="\(.*\)" speed=.*$/\1/p' "$(tvr_emu_log "$1")"
}

tvr_emu_line_settings() {
    sed -n 's/^line t=[0-9.]* text=".*" \(speed=.*\)$/\1/p' "$(tvr_emu_log "$1")" | sed -n "${2}p"
}

tvr_emu_count() {
    grep -c "^$2 " "$(tvr_emu_log "$1")" || true
}

tvr_emu_first() {
    sed -n "s/^$2 t=\([0-9.]*\).*/\1/p" "$(tvr_emu_log "$1")" | head -1
}

tvr_emu_last() {
    sed -n "s/^$2 t=\([0-9.]*\).*/\1/p" "$(tvr_emu_log "$1")" | tail -1
}

# Passes when the float comparison "A OP B" holds (OP one of < <= > >=).
tvr_expect_num() {
    if ! awk -v a="$1" -v b="$3" -v op="$2" 'BEGIN {
            if (a == "" || b == "") exit 1
            if (op == "<") exit !(a + 0 < b + 0); if (op == "<=") exit !(a + 0 <= b + 0)
            if (op == ">") exit !(a + 0 > b + 0); if (op == ">=") exit !(a + 0 >= b + 0)
            exit 1 }'; then
        tvr_fail "expected $1 $2 $3${4:+ ($4)}"
    fi
}
