# Helpers for the integration suites (sourced inside the fence by rig.sh).
#
# A suite is a bash file tests/wine/suite-NAME.sh made of cases:
#   tvr_case "what is checked"     starts a case (ports reset to nothing, logs fresh)
#   tvr_port N TARGET / tvr_port_none N
#   tvr_host [--by-ordinal] VERB ARGS...   runs tvrhost.exe; output in $OUT
#   tvr_expect_line "key=value"   / tvr_expect_eq NAME EXPECTED ACTUAL / tvr_expect CMD...
# and ends with a line "N passed, M failed" printed by tvr_end.

TVR_PASSED=0
TVR_FAILED=0
TVR_CASE=""
TVR_CASE_FAILED=0
TVR_BG_PIDS=()
TVR_XVFB_PID=""

tvr_begin() {
    TVR_SUITE=$(basename "$1" .sh)
    TVR_LOG_DIR=$TVR_RIG_DIR/logs/$TVR_SUITE
    rm -rf "$TVR_LOG_DIR"
    mkdir -p "$TVR_LOG_DIR" "$TVR_RIG_DIR/ports"
    trap tvr_cleanup EXIT
    tvr_cost_begin
    tvr_start_display
    tvr_wineserver_up
}

# One wineserver for the whole suite: without it every Wine process that starts after
# the last one ended starts a server, and with it Wine's own services (services.exe,
# winedevice.exe, the mount manager, explorer.exe), which costs more than most cases'
# own work, and five to nine times as much in the guest. tvr_cleanup stops it.
tvr_wineserver_up() { wineserver -p >/dev/null 2>&1 || true; }

# Stops the suite's wineserver, which writes the registry into the prefix's files as it
# ends, and starts a new one, which reads them afresh (and maps the COM pins again).
tvr_wineserver_restart() {
    tvr_serve_stop
    wineserver -k >/dev/null 2>&1 || true
    wineserver -w >/dev/null 2>&1 || true
    tvr_wineserver_up
}

# What a suite costs, printed by tvr_end: wall time, processor time and the number of
# Windows programs it started (the wine shim on PATH counts them in TVR_WINE_STARTS).
# Processor time is that of the suite's own processes, the wineserver and Wine's services
# included, read from a control group of their own where one can be made (as root);
# elsewhere it is the whole machine's, and says so.
tvr_cost_begin() {
    export TVR_WINE_STARTS=$TVR_LOG_DIR/wine-starts
    : >"$TVR_WINE_STARTS"
    : >"$TVR_RIG_DIR/logs/$TVR_SUITE.cases"
    TVR_COST_START=$(date +%s.%N)
    TVR_COST_CGROUP=""
    local group
    for group in /sys/fs/cgroup/cpuacct /sys/fs/cgroup/unified /sys/fs/cgroup; do
        if [[ -w $group && ( -f $group/cpuacct.usage || -f $group/cgroup.procs && -f $group/cpu.stat ) ]] &&
            mkdir -p "$group/tvr-$TVR_SUITE-$$" 2>/dev/null &&
            echo "$BASHPID" >"$group/tvr-$TVR_SUITE-$$/cgroup.procs" 2>/dev/null; then
            TVR_COST_CGROUP=$group/tvr-$TVR_SUITE-$$
            break
        fi
        rmdir "$group/tvr-$TVR_SUITE-$$" 2>/dev/null || true
    done
    TVR_COST_CPU0=$(tvr_cost_cpu)
}

# Processor seconds so far: the suite's control group, or the whole machine's busy time.
tvr_cost_cpu() {
    if [[ -n $TVR_COST_CGROUP && -f $TVR_COST_CGROUP/cpuacct.usage ]]; then
        awk '{ printf "%.1f", $1 / 1e9 }' "$TVR_COST_CGROUP/cpuacct.usage"
    elif [[ -n $TVR_COST_CGROUP ]]; then
        awk '$1 == "usage_usec" { printf "%.1f", $2 / 1e6 }' "$TVR_COST_CGROUP/cpu.stat"
    else
        awk -v hz="$(getconf CLK_TCK)" '$1 == "cpu" { printf "%.1f", ($2 + $3 + $4 + $7 + $8) / hz }' /proc/stat
    fi
}

# Each case's wall time and Windows programs started, for the slowest cases' table at the
# end of make test: "seconds<TAB>starts<TAB>case" in logs/suite-NAME.cases.
tvr_case_cost() {
    local tenths=$(((${EPOCHREALTIME/[.,]/} - TVR_CASE_START) / 100000))
    printf '%d.%d\t%d\t%s\n' $((tenths / 10)) $((tenths % 10)) $(($(tvr_starts) - TVR_CASE_STARTS0)) "$TVR_CASE" \
        >>"$TVR_RIG_DIR/logs/$TVR_SUITE.cases"
}

# Windows programs started so far (lines in the shim's file), without a process.
tvr_starts() {
    local -a lines=()
    [[ ! -f $TVR_WINE_STARTS ]] || mapfile -t lines <"$TVR_WINE_STARTS"
    echo "${#lines[@]}"
}

tvr_cost_end() {
    local wall cpu starts scope=suite
    wall=$(awk -v a="$TVR_COST_START" -v b="$(date +%s.%N)" 'BEGIN { printf "%.0f", b - a }')
    cpu=$(awk -v a="$TVR_COST_CPU0" -v b="$(tvr_cost_cpu)" 'BEGIN { printf "%.0f", b - a }')
    [[ -n $TVR_COST_CGROUP ]] || scope="whole machine"
    starts=$(wc -l <"$TVR_WINE_STARTS")
    echo "$TVR_SUITE: cost: wall $wall s, cpu $cpu s ($scope), Windows programs started $starts"
    # For the table at the end of make test (tools/phases.sh).
    printf '%s\t%s\t%s\t%s\t%s\n' "${TVR_SUITE#suite-}" "$wall" "$cpu" "$scope" "$starts" \
        >"$TVR_RIG_DIR/logs/$TVR_SUITE.cost"
    if [[ -n $TVR_COST_CGROUP ]]; then
        local parent=${TVR_COST_CGROUP%/*}
        echo "$BASHPID" >"$parent/cgroup.procs" 2>/dev/null || true
        rmdir "$TVR_COST_CGROUP" 2>/dev/null || true
        TVR_COST_CGROUP=""
    fi
}

# Dialog tests need a display: a private Xvfb. It picks the free display number itself
# (-displayfd: it takes the number's lock file atomically and writes the number once it
# accepts connections), since two suites starting at once (the guest's two lanes, or
# native suites beside one another) would both see the same number free by its lock file.
tvr_start_display() {
    if ! command -v Xvfb >/dev/null; then return 0; fi
    local fifo n=""
    fifo=$(mktemp -u "${TMPDIR:-/tmp}/tvr-display.XXXXXX")
    mkfifo -m 600 "$fifo" || return 0
    Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$fifo" >/dev/null 2>&1 &
    TVR_XVFB_PID=$!
    # Xvfb closes its end without a number when it cannot start: the read ends at once.
    read -r -t 60 n <"$fifo" || true
    rm -f "$fifo"
    if [[ $n =~ ^[0-9]+$ ]]; then
        export DISPLAY=":$n"
    else
        echo "rig: Xvfb gave no display number; the suite runs without a display" >&2
        kill "$TVR_XVFB_PID" 2>/dev/null || true
        wait "$TVR_XVFB_PID" 2>/dev/null || true
        TVR_XVFB_PID=""
    fi
}

# Setup programs such as NSIS installers let a plug-in's DLL find other DLLs only in the
# system folder (SetDefaultDllDirectories), as the system's TAPI32.DLL is found on
# Windows. tvr_system_tapi DOUBLE puts the telephony double there, in place of Wine's own
# tapi32.dll (the DLL override prefers it to the builtin), and sets TVR_SYSTEM_DIR,
# where its scenario goes and its call log appears; Wine's file is kept in the prefix
# and put back by tvr_system_tapi_restore, which the end of the suite runs in any case.
tvr_system_tapi() {
    TVR_SYSTEM_DIR=$WINEPREFIX/drive_c/windows/system32
    local saved=$WINEPREFIX/.tvr-wine-tapi32.dll
    [[ -f $saved ]] || cp "$TVR_SYSTEM_DIR/tapi32.dll" "$saved"
    cp "$1" "$TVR_SYSTEM_DIR/tapi32.dll"
    TVR_SYSTEM_TAPI_STAGED=1
}

tvr_system_tapi_restore() {
    [[ ${TVR_SYSTEM_TAPI_STAGED:-0} == 1 ]] || return 0
    cp "$WINEPREFIX/.tvr-wine-tapi32.dll" "$TVR_SYSTEM_DIR/tapi32.dll"
    rm -f "$TVR_SYSTEM_DIR/tapi-scenario.txt" "$TVR_SYSTEM_DIR/tapi-calls.log"
    TVR_SYSTEM_TAPI_STAGED=0
}

tvr_cleanup() {
    tvr_serve_stop
    tvr_system_tapi_restore
    tvr_stop_background
    wineserver -k >/dev/null 2>&1 || true
    if [[ -n $TVR_XVFB_PID ]]; then
        kill "$TVR_XVFB_PID" 2>/dev/null || true
        wait "$TVR_XVFB_PID" 2>/dev/null || true
        TVR_XVFB_PID=""
    fi
}

# Remembers a background process (an emulator, say) to stop at the end of the case.
tvr_background() { TVR_BG_PIDS+=("$1"); }

tvr_stop_background() {
    local pid
    for pid in "${TVR_BG_PIDS[@]+"${TVR_BG_PIDS[@]}"}"; do
        kill "$pid" 2>/dev/null || true
    done
    for pid in "${TVR_BG_PIDS[@]+"${TVR_BG_PIDS[@]}"}"; do
        wait "$pid" 2>/dev/null || true
    done
    TVR_BG_PIDS=()
}

tvr_finish_case() {
    [[ -z $TVR_CASE ]] && return 0
    tvr_stop_background
    tvr_case_cost
    if ((TVR_CASE_FAILED)); then
        TVR_FAILED=$((TVR_FAILED + 1))
        echo "FAIL  $TVR_CASE"
    else
        TVR_PASSED=$((TVR_PASSED + 1))
        echo "ok    $TVR_CASE"
    fi
    TVR_CASE=""
}

tvr_case() {
    tvr_finish_case
    TVR_CASE=$1
    TVR_CASE_FAILED=0
    TVR_CASE_START=${EPOCHREALTIME/[.,]/}
    TVR_CASE_STARTS0=$(tvr_starts)
    local n
    for n in 1 2 3 4; do tvr_port_none "$n"; done
}

tvr_fail() {
    TVR_CASE_FAILED=1
    echo "      $*"
}

# Points COMn at TARGET (a pty path); tvr_port_none leaves COMn naming nothing.
tvr_port() { ln -sfn "$2" "$TVR_RIG_DIR/ports/com$1"; }
tvr_port_none() { [[ ! -e $TVR_RIG_DIR/ports/com$1 && ! -L $TVR_RIG_DIR/ports/com$1 ]] || rm -f "$TVR_RIG_DIR/ports/com$1"; }

# Runs the test host; its output goes to $OUT and $TVR_LOG_DIR/last.out, its exit code
# to $RC. Extra environment for wine may be given in TVR_WINE_ENV (an array).
tvr_host() {
    tvr_wine "$TVR_DLL_DIR/tvrhost.exe" "$@"
}

# tvr_serve: from here on, the suite's calls of a tvrhost.exe go to one tvrhost process
# that runs them one after another (tvrhost --serve), for a suite whose cases each start
# the host once: under software emulation in the guest a Windows program's start costs
# seconds, and far more beside other work. A call still gets a process of its own where
# one would differ: an argument outside ASCII (the 8-bit argv is Wine's ANSI rendering of the
# command line, the request's bytes are not), or Wine's debug channels asked for in
# TVR_WINE_ENV. Another program, another TVR_WINE_ENV or a server that ended starts a
# new server; the end of the suite stops it.
tvr_serve() { TVR_SERVE=1; }

tvr_served() {
    [[ ${TVR_SERVE:-0} == 1 && ${1##*/} == tvrhost.exe && " ${TVR_WINE_ENV[*]-} " != *" WINEDEBUG="* ]] || return 1
    # A subshell (a call run in the background) uses the suite's server but never starts
    # one, which the suite would not know to stop.
    [[ $BASHPID == "$$" ]] || tvr_serve_live || return 1
    shift
    local LC_ALL=C
    [[ "$*" != *[$'\x80'-$'\xff']* ]]
}

# A Unix path as Wine names it on its Z: drive (the prefix maps Z: to /).
tvr_winpath() { local p=$1; printf 'Z:%s' "${p//\//\\}"; }

# The suite's server is running (an empty pid is none: kill -0 0 would ask about the
# whole process group).
tvr_serve_live() { [[ -n ${TVR_SERVE_PID:-} ]] && kill -0 "$TVR_SERVE_PID" 2>/dev/null; }

# Sleeps for a fraction of a second without starting a process: a read that times out
# on a FIFO of its own that nobody writes, made in the local temporary folder (a FIFO
# on the guest's 9p share of the clone does not block). Where a read ends at once
# without timing out, sleep(1) does it.
tvr_nap() {
    if [[ -z ${TVR_NAP_FD:-} ]]; then
        local fifo
        fifo=$(mktemp -u "${TMPDIR:-/tmp}/tvr-nap.XXXXXX")
        mkfifo -m 600 "$fifo" && exec {TVR_NAP_FD}<>"$fifo"
        rm -f "$fifo"
    fi
    local rc=0
    [[ -n ${TVR_NAP_FD:-} ]] && read -r -t "$1" -u "$TVR_NAP_FD" _ 2>/dev/null || rc=$?
    ((rc > 128)) || sleep "$1"
}

tvr_serve_stop() {
    [[ -n ${TVR_SERVE_PID:-} ]] || return 0
    local dir=$TVR_SERVE_DIR i
    if kill -0 "$TVR_SERVE_PID" 2>/dev/null; then
        printf '%s\0' - - quit >"$dir/req.tmp" && mv "$dir/req.tmp" "$dir/req"
        for ((i = 0; i < 200; i++)); do
            kill -0 "$TVR_SERVE_PID" 2>/dev/null || break
            tvr_nap 0.05
        done
        kill "$TVR_SERVE_PID" 2>/dev/null || true
    fi
    wait "$TVR_SERVE_PID" 2>/dev/null || true
    TVR_SERVE_PID=""
    TVR_SERVE_KEY=""
}

tvr_wine_served() {
    local exe=$1 key dir=$TVR_LOG_DIR/serve
    shift
    key="$exe|${TVR_WINE_ENV[*]-}"
    if [[ $key != "${TVR_SERVE_KEY:-}" ]] || ! tvr_serve_live; then
        tvr_serve_stop
        mkdir -p "$dir"
        rm -f "$dir/req" "$dir/req.tmp" "$dir/done" "$dir/done.tmp"
        (cd "$(dirname "$exe")" && exec env "${TVR_WINE_ENV[@]+"${TVR_WINE_ENV[@]}"}" \
            wine "$exe" --serve "$(tvr_winpath "$dir")" </dev/null >"$dir/server.out" 2>"$dir/server.err") &
        TVR_SERVE_PID=$!
        TVR_SERVE_KEY=$key
        TVR_SERVE_DIR=$dir
    fi
    rm -f "$dir/done" "$TVR_LOG_DIR/last.raw"
    printf '%s\0' "$(tvr_winpath "$TVR_LOG_DIR/last.raw")" "$(tvr_winpath "$TVR_LOG_DIR/last.err")" "$@" >"$dir/req.tmp"
    mv "$dir/req.tmp" "$dir/req"
    # As long as a program of its own may take (timeout 300).
    local deadline=$((SECONDS + 300))
    RC=""
    while ((SECONDS < deadline)); do
        if [[ -s $dir/done ]]; then
            RC=$(<"$dir/done")
            break
        fi
        if ! tvr_serve_live; then
            # The request ended the server (a crash): its exit status stands for the call's.
            wait "$TVR_SERVE_PID" && RC=0 || RC=$?
            TVR_SERVE_PID=""
            break
        fi
        tvr_nap 0.05
    done
    if [[ -z $RC ]]; then
        kill "$TVR_SERVE_PID" 2>/dev/null || true
        wait "$TVR_SERVE_PID" 2>/dev/null || true
        TVR_SERVE_PID=""
        RC=124
    fi
    OUT=$(tr -d '\r' <"$TVR_LOG_DIR/last.raw" 2>/dev/null)
    printf '%s\n' "$OUT" >"$TVR_LOG_DIR/last.out"
}

tvr_wine() {
    local exe=$1
    shift
    if tvr_served "$exe" "$@"; then
        tvr_wine_served "$exe" "$@"
        return
    fi
    # $RC is the Windows program's exit code, not that of the filter behind it.
    OUT=$(cd "$(dirname "$exe")" && env "${TVR_WINE_ENV[@]+"${TVR_WINE_ENV[@]}"}" \
        timeout 300 wine "$exe" "$@" 2>"$TVR_LOG_DIR/last.err" | tr -d '\r'
        exit "${PIPESTATUS[0]}") && RC=0 || RC=$?
    printf '%s\n' "$OUT" >"$TVR_LOG_DIR/last.out"
}

# The value of KEY in a "key=value" output line of $OUT (first match: at a line's start
# or after a space). The helpers that every case calls start no process: under software
# emulation in the guest each one costs 50 ms or more.
tvr_value() {
    local re=$'[\n ]'"$1"$'=([^\n ]*)'
    [[ $'\n'$OUT =~ $re ]] && printf '%s\n' "${BASH_REMATCH[1]}"
    return 0
}

tvr_expect_eq() {
    if [[ "$2" != "$3" ]]; then
        tvr_fail "$1: expected '$2', got '$3'"
    fi
}

tvr_expect_value() { tvr_expect_eq "$1" "$2" "$(tvr_value "$1")"; }

tvr_expect_line() {
    if [[ $'\n'$OUT$'\n' != *$'\n'"$1"$'\n'* ]]; then
        tvr_fail "expected a line '$1' in the output:"
        printf '%s\n' "$OUT" | sed 's/^/        | /'
    fi
}

# Passes when the command succeeds.
tvr_expect() {
    if ! "$@"; then
        tvr_fail "expected to hold: $*"
    fi
}

tvr_end() {
    tvr_finish_case
    tvr_cleanup
    trap - EXIT
    tvr_cost_end
    echo "$TVR_SUITE: $TVR_PASSED passed, $TVR_FAILED failed"
    ((TVR_FAILED == 0))
}
