# The serial exports' cost under Wine against emulated devices: the wall time of the
# scan and of the check in each scenario, beside the time their time-outs prescribe,
# and the CPU time that the check's busy reply poll burns in a silent window.
# Prints figures; asserts nothing.
#
# What the time-outs prescribe (ms):
#   a port that fails to open      0
#   a drain on a quiet line        550 (one empty 1-byte read: 50 x 1 + 500)
#   the reply read, no reply       6900 (50 x 128 + 500)
#   the reply read, a reply        500 after its last byte (the interval time-out)
#   so an answering port           550 + 550 + 500 = 1600 (the modem answers at once)
#      a silent opened port        550 + 550 + 6900 = 8000
#      a chattering port           2 x the drain's bound + 128 bytes at the
#                                  chatter rate (the reply read ends when full)
#   the check, answered            the reply's delay (0 here): the poll ends at a byte
#   the check, silent              3000 (the reply window)
# Writes cost ~0 on a pty; the rest of each wall time is open, configure and close.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
TVR_WINE_ENV=()

# The scan's drain bound: kDrainLimitMs in serial/CommProbe.cpp (keep the two alike).
readonly ser_drain_bound_ms=1000
ser_chatter_interval_ms=5    # one byte every 5 ms from the chatter profile
ser_check_runs=3

ser_reset() {
    tvr_emu_stop
    local n
    for n in 1 2 3 4; do tvr_port_none "$n"; done
}

# Prints one line: what, the measured ms, the prescribed ms and their ratio.
ser_row() {
    awk -v what="$1" -v ms="$2" -v want="$3" 'BEGIN {
        ratio = want > 0 ? sprintf("%.3f", ms / want) : "-"
        printf "%-46s wall=%8.1f ms  prescribed=%6.0f ms  ratio=%s\n", what, ms, want, ratio }'
}

ser_scan() {
    tvr_host scan
    ser_row "$1 (port=$(tvr_value port))" "$(tvr_value ms)" "$2"
    ser_reset
}

echo "-- scan: wall time against the time-outs (drain bound ${ser_drain_bound_ms} ms)"
ser_reset
ser_scan "no ports at all" 0

tvr_emu 3 crlf
ser_scan "COM1-2 missing, modem on COM3" 1600

tvr_emu 1 silent
tvr_emu 2 crlf
ser_scan "silent COM1, modem on COM2" $((8000 + 1600))

if [[ ${TVR_BENCH_QUICK:-0} == 0 ]]; then
    for n in 1 2 3 4; do tvr_emu "$n" silent; done
    ser_scan "four silent ports" $((4 * 8000))
fi

tvr_emu 1 chatter --interval "$ser_chatter_interval_ms"
ser_scan "chattering COM1 (a byte every ${ser_chatter_interval_ms} ms)" \
    $((2 * ser_drain_bound_ms + 128 * ser_chatter_interval_ms))

# The find (TVRFindModem, the four ports at once, no owner) in the same scenarios: its
# answer is the scan's, in about one port's time. Target: four silent ports within
# 1.05 x one silent port's 8000 ms, where the scan takes 32000.
ser_find() {
    tvr_host find --modes at-once
    local line
    line=$(printf '%s\n' "$OUT" | grep '^mode=at-once ')
    ser_row "find: $1 (port=$(printf '%s\n' "$line" | sed -n 's/.* port=\([-0-9]*\).*/\1/p'))" \
        "$(printf '%s\n' "$line" | sed -n 's/.* ms=\([0-9.]*\).*/\1/p')" "$2"
    ser_reset
}

echo "-- find, all four ports at once: wall time against the time-outs"
for n in 1 2 3 4; do tvr_emu "$n" silent; done
ser_find "four silent ports" 8000

tvr_emu 1 crlf
for n in 2 3 4; do tvr_emu "$n" silent; done
ser_find "modem on COM1, COM2-4 silent" 1600

tvr_emu 3 crlf
ser_find "COM1-2 missing, modem on COM3" 1600

tvr_emu 1 chatter --interval "$ser_chatter_interval_ms"
ser_find "chattering COM1 (a byte every ${ser_chatter_interval_ms} ms)" \
    $((2 * ser_drain_bound_ms + 128 * ser_chatter_interval_ms))

tvr_emu 1 crlf
ser_scan "modem on COM1" 1600

# How often "ATE0V1" fails to reach the emulator whole. Wine's WriteFile returns once the
# bytes are in the tty's queue, and the drain right after the write purges only the
# input, so the figure should be 0; a purge of the output side would flush the line.
ser_lost=0
ser_loss_runs=10
for ((ser_i = 0; ser_i < ser_loss_runs; ser_i++)); do
    tvr_emu 1 crlf
    tvr_host scan
    tvr_emu_stop
    [[ $(tvr_emu_lines 1 | head -1) == 'ATE0V1\r' ]] || ser_lost=$((ser_lost + 1))
    ser_reset
done
printf '%-46s %d of %d scans\n' "ATE0V1 lost before the emulator read it" "$ser_lost" "$ser_loss_runs"

# Our prefix's wineserver, found by the folder it works in, ".../server-DEV-INODE" of
# the prefix (other prefixes on the machine have servers of their own).
ser_wineserver_pid() {
    local dir pid
    dir=$(printf 'server-%x-%x' "$(stat -c %d "$WINEPREFIX")" "$(stat -c %i "$WINEPREFIX")")
    for pid in $(pgrep -x 'wineserver(32|64)?'); do
        if [[ $(readlink "/proc/$pid/cwd" 2>/dev/null) == */"$dir" ]]; then
            echo "$pid"
            return 0
        fi
    done
}

# The CPU time (user + system, ms) of a process so far.
ser_cpu_ms() {
    [[ -n $1 && -r /proc/$1/stat ]] || { echo 0; return 0; }
    awk -v hz="$(getconf CLK_TCK)" '{ print ($14 + $15) * 1000 / hz }' "/proc/$1/stat"
}

# Runs one check, printing wall time and CPU time of the Wine process and the wineserver.
ser_check() {
    local what=$1 want=$2 port=$3
    shift 3
    local i ms_sum=0 cpu_sum=0 srv_sum=0 srv_lost=0 srv before after timefile=$TVR_LOG_DIR/time.out
    for ((i = 0; i < ser_check_runs; i++)); do
        srv=$(ser_wineserver_pid)
        before=$(ser_cpu_ms "$srv")
        set +e
        OUT=$(cd "$TVR_DLL_DIR" && /usr/bin/time -f '%U %S' -o "$timefile" timeout 300 wine tvrhost.exe check "$port" "$@" 2>/dev/null | tr -d '\r')
        set -e
        after=$(ser_cpu_ms "$srv")
        ms_sum=$(awk -v a="$ms_sum" -v b="$(tvr_value ms)" 'BEGIN { print a + b }')
        cpu_sum=$(awk -v a="$cpu_sum" '{ print a + ($1 + $2) * 1000 }' "$timefile")
        # A wineserver that ended during the run reads as 0 afterwards: its share is unknown.
        if [[ -z $srv || $(ser_wineserver_pid) != "$srv" ]] || awk -v b="$before" -v c="$after" 'BEGIN { exit !(c < b) }'; then
            srv_lost=1
        fi
        srv_sum=$(awk -v a="$srv_sum" -v b="$before" -v c="$after" 'BEGIN { print a + c - b }')
    done
    ser_row "$what (result=$(tvr_value result))" "$(awk -v s="$ms_sum" -v n="$ser_check_runs" 'BEGIN { print s / n }')" "$want"
    awk -v c="$cpu_sum" -v s="$srv_sum" -v n="$ser_check_runs" -v lost="$srv_lost" 'BEGIN {
        srv = lost ? "    - (the wineserver restarted during a run)" : sprintf("%5.0f ms", s / n)
        printf "%-46s cpu: wine process %5.0f ms, wineserver %s (mean of %d)\n", "", c / n, srv, n }'
}

echo "-- check: wall time against the reply window, and CPU time"
# Keeps one wineserver for the whole check series, so that its CPU time can be read.
wineserver -p >/dev/null 2>&1 || true
tvr_host scan >/dev/null
tvr_emu 1 crlf
tvr_emu 2 silent
ser_check "configure only (flag 0), COM1" 0 COM1 9600 0
ser_check "answering device, COM1" 0 COM1 9600 1 AT
ser_check "silent device, COM2 (busy poll for 3000 ms)" 3000 COM2 9600 1 AT
ser_reset
echo "(the busy poll's own cost is the silent row's CPU time less the configure-only row's)"
