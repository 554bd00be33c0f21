#!/usr/bin/env bash
# The Wine rig: one private Wine prefix per build of the DLL, whose COM1-COM4 are pinned
# to links that the tests own, and a fenced run of one integration suite against one
# build.
#
#   rig.sh arches              the builds this machine can run, "x86 x64" or "x64"; for
#                              each one it cannot run, one line on stderr saying why
#   rig.sh run ARCH SUITE      run tests/wine/suite-NAME.sh against ARCH's build
#   rig.sh exec ARCH|auto CMD  run any command inside the fence (make demo, make bench);
#                              auto takes the PE32 build where it runs, else the PE32+
#   rig.sh route x86           how the PE32 build runs here: native, vm, or nothing
#   rig.sh session ARCH [SUITE...]  CTest's fixture of ARCH: makes the prefix if it is
#                              missing (idempotent; in the guest, from or into the cached
#                              template); where the build runs in the guest, runs every
#                              SUITE there in one boot
#   rig.sh report ARCH SUITE   CTest's test of one suite: runs it, or, where the build
#                              runs in the guest, reports what the session's run of it did
#
# ARCH is x86 (the PE32 build, under wine32, in a win32 prefix) or x64 (the PE32+
# build, under wine64, in a win64 prefix). Where this kernel runs no 32-bit programs
# wine32 cannot start here at all; every x86 command then runs inside a guest
# (tests/vm/run.sh: Debian's own kernel, whose 32-bit emulation is on, under software
# emulation), with the same rig, suites and fence. Only where neither route can run
# does an x86 command exit with 77, which CTest reports as skipped, after one line that
# names the cause and the fix.
#
# In the guest the prefix lives on a tmpfs (Wine on the 9p share of the clone is too
# slow to pass the suites): it is restored from a template kept in the guest image's
# cache, keyed on the Wine packages and on how this rig makes a prefix, and the COM
# pins and the stamp are rewritten for this clone's ports. Running every suite in one
# boot (session) makes the prefix once; each suite's output, exit status and time land
# in $TVR_RIG_DIR/x86/vm/, which the per-suite tests report.
#
# Environment: TVR_DLL_DIR and TVR_DLL64_DIR (build folders of the PE32 and the PE32+
# telvarid.dll with their Windows programs), TVR_HOST_DIR (native tools: the modem
# emulator), TVR_RIG_DIR (prefixes, port links and logs). Inside a run TVR_DLL_DIR names
# the build under test, TVR_ARCH its name, TVR_RIG_DIR that build's own rig folder
# (prefix, ports, logs, stages), and `wine` on PATH is that build's loader.
#
# The fence: the machine's own serial devices are never reached. COM1-COM4 are pinned
# in HKLM\Software\Wine\Ports to $TVR_RIG_DIR/ARCH/ports/comN, links that each test
# points at an emulator's pty or at nothing; Wine gives the machine's /dev/ttyS* higher
# COM names, which no test uses; and every run happens in a private mount namespace in
# which /dev/null is bound over /dev/ttyS*, so that even those names reach no device.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${TVR_DLL_DIR:=$root/build/dll}"
: "${TVR_DLL64_DIR:=$root/build/dll64}"
: "${TVR_HOST_DIR:=$root/build/host}"
: "${TVR_RIG_DIR:=$root/build/rig}"
export TVR_DLL32_DIR=$TVR_DLL_DIR TVR_DLL64_DIR TVR_HOST_DIR TVR_RIG_ROOT=$TVR_RIG_DIR TVR_SOURCE_DIR=$root
export WINEDEBUG=-all WINEDLLOVERRIDES="mscoree,mshtml="

readonly skip_code=77
readonly wine32_loader=/usr/lib/wine/wine
readonly wine64_loader=/usr/lib/wine/wine64

# Why this machine cannot run the PE32 build, or nothing when it can. The test is a
# real 32-bit exec: the packages install whether or not the kernel can run them.
x86_unavailable_reason() {
    if [[ ! -x $wine32_loader ]]; then
        echo "wine32 is not installed, so the PE32 build cannot run; install wine32:i386 (tools/setup-machine.sh wine)"
    elif ! "$wine32_loader" --version >/dev/null 2>&1; then
        if [[ -e /lib/ld-linux.so.2 ]] && ! /lib/ld-linux.so.2 --version >/dev/null 2>&1; then
            echo "this kernel runs no 32-bit programs (32-bit emulation is disabled), so wine32 cannot start the PE32 build; boot the kernel with ia32_emulation=on to run it"
        else
            echo "wine32 does not start on this machine ($wine32_loader --version fails), so the PE32 build cannot run"
        fi
    fi
}

# Why the PE32 build cannot run in the guest either, or nothing when it can there.
vm_unavailable_reason() {
    if [[ ! -x $wine32_loader ]]; then
        echo "wine32 is not installed, so the PE32 build cannot run; install wine32:i386 (tools/setup-machine.sh wine)"
    elif ! command -v qemu-system-x86_64 >/dev/null; then
        echo "this kernel runs no 32-bit programs and qemu-system-x86_64 is missing, so no guest can run the PE32 build; install qemu-system-x86 (tools/setup-machine.sh wine)"
    elif ! "$root/tests/vm/image.sh" --kernel-package >/dev/null 2>&1; then
        echo "this kernel runs no 32-bit programs and apt knows no linux-image-amd64 for the guest, so the PE32 build cannot run; run apt-get update"
    fi
}

# native, vm (in the guest) or nothing (neither runs it; unavailable_reason says why).
# TVR_VM=0 turns the guest route off for a quick local run: the PE32 suites are then
# reported as skipped, with that reason.
x86_route() {
    if [[ -z $(x86_unavailable_reason) ]]; then
        echo native
    elif [[ -z ${TVR_IN_VM:-} && ${TVR_VM:-1} != 0 && -z $(vm_unavailable_reason) ]]; then
        echo vm
    fi
}

x64_unavailable_reason() {
    if [[ ! -x $wine64_loader ]]; then
        echo "wine64 is not installed, so the PE32+ build cannot run; install wine64 (tools/setup-machine.sh wine)"
    elif ! "$wine64_loader" --version >/dev/null 2>&1; then
        echo "wine64 does not start on this machine ($wine64_loader --version fails)"
    fi
}

unavailable_reason() {
    case $1 in
    x86)
        [[ -n $(x86_route) ]] && return 0
        if [[ -n $(x86_unavailable_reason) && -z ${TVR_IN_VM:-} && ${TVR_VM:-1} == 0 && -z $(vm_unavailable_reason) ]]; then
            echo "this kernel runs no 32-bit programs and TVR_VM=0 turned off the guest that runs the PE32 build under software emulation (tests/vm); run without TVR_VM=0 to run it"
        else
            { x86_unavailable_reason; vm_unavailable_reason; } | tail -n 1
        fi
        ;;
    x64) x64_unavailable_reason ;;
    *) echo "unknown build '$1' (x86 or x64)"; return 2 ;;
    esac
}

# Chooses ARCH: its prefix, port links, DLL folder and loader. A `wine` on PATH runs
# that loader, so suites, the demo and the bench start Windows programs with `wine`
# whichever build they test.
use_arch() {
    TVR_ARCH=$1
    local dir=$TVR_RIG_ROOT/$TVR_ARCH loader
    # The guest's second lane (vm_session) has a rig folder of its own beside the first.
    [[ ${TVR_RIG_LANE:-1} == 1 ]] || dir+=-lane$TVR_RIG_LANE
    case $TVR_ARCH in
    x86) export WINEARCH=win32 TVR_DLL_DIR=$TVR_DLL32_DIR; loader=$wine32_loader ;;
    x64) export WINEARCH=win64 TVR_DLL_DIR=$TVR_DLL64_DIR; loader=$wine64_loader ;;
    esac
    export TVR_ARCH TVR_RIG_DIR=$dir WINEPREFIX=$dir/prefix WINELOADER=$loader TVR_PORTS_DIR=$dir/ports
    mkdir -p "$dir/bin" "$TVR_PORTS_DIR"
    # Each start is counted where a suite asks for it (tests/wine/lib.sh: what it cost).
    printf '#!/bin/sh\n[ -z "$TVR_WINE_STARTS" ] || echo "$*" >>"$TVR_WINE_STARTS"\nexec %s "$@"\n' "$loader" >"$dir/bin/wine"
    chmod +x "$dir/bin/wine"
    export PATH=$dir/bin:$PATH
}

# Exits with the skip code, after saying why, when ARCH cannot run here.
require_arch() {
    local reason
    reason=$(unavailable_reason "$1") || exit 2
    if [[ -n $reason ]]; then
        echo "skipped: $reason"
        exit $skip_code
    fi
    use_arch "$1"
}

make_prefix() {
    local stamp=$WINEPREFIX/.tvr-ports
    if [[ -f $stamp && $(cat "$stamp") == "$TVR_PORTS_DIR" ]]; then
        return 0
    fi
    # Emptied rather than removed: in the guest the prefix folder is a tmpfs mount.
    mkdir -p "$WINEPREFIX" "$TVR_PORTS_DIR"
    find "$WINEPREFIX" -mindepth 1 -maxdepth 1 -exec rm -rf {} +
    fenced wine wineboot -i >/dev/null 2>&1
    for n in 1 2 3 4; do
        fenced wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$TVR_PORTS_DIR/com$n" /f >/dev/null 2>&1
    done
    fenced wineserver -k || true
    wineserver -w || true
    echo "$TVR_PORTS_DIR" >"$stamp"
    echo "rig: $WINEARCH Wine prefix ready at $WINEPREFIX, COM1-COM4 pinned to $TVR_PORTS_DIR/com1-com4"
}

# Runs a command in a private mount namespace with /dev/null bound over /dev/ttyS*.
# As root the namespace is private to this run; otherwise a user namespace maps the
# caller to root inside it, which is what the bind mounts need.
fenced() {
    local userns=()
    [[ $(id -u) -eq 0 ]] || userns=(-r)
    unshare "${userns[@]+"${userns[@]}"}" -m bash -c '
        for dev in /dev/ttyS* /dev/ttyUSB* /dev/ttyACM*; do
            [[ -e $dev ]] && mount --bind /dev/null "$dev"
        done
        exec "$@"' fenced "$@"
}

# Where the PE32 build runs in the guest: this rig, with the same arguments, inside it.
readonly vm_timeout=${TVR_VM_TIMEOUT:-4500}
in_vm() {
    local tmpfs=(--tmpfs "$TVR_RIG_ROOT/x86/prefix")
    [[ $1 != session-guest ]] || tmpfs+=(--tmpfs "$TVR_RIG_ROOT/x86-lane2/prefix")
    TVR_IN_VM=1 "$root/tests/vm/run.sh" --timeout "$vm_timeout" "${tmpfs[@]}" -- "$here/rig.sh" "$@"
}

# In the guest: the x86 prefix on its tmpfs, from the cached template when there is one
# (about 15 s against one to two minutes of wineboot), else made and saved as the template.
vm_template() {
    local cache=${TVR_VM_CACHE:-/var/cache/telvarid-vm} key
    key=$( (dpkg-query -W -f='${Version} ' wine32:i386 fonts-wine; declare -f make_prefix) | sha256sum | cut -c1-16)
    echo "$cache/prefix-win32-$key.tar.gz"
}

vm_prefix() {
    local template old
    template=$(vm_template)
    if [[ -f $template ]]; then
        tar -xzf "$template" -C "$WINEPREFIX"
        old=$(cat "$WINEPREFIX/.tvr-ports")
        if [[ $old != "$TVR_PORTS_DIR" ]]; then
            sed -i "s|\"$old/com|\"$TVR_PORTS_DIR/com|g" "$WINEPREFIX/system.reg"
            echo "$TVR_PORTS_DIR" >"$WINEPREFIX/.tvr-ports"
        fi
        grep -q "\"COM3\"=\"$TVR_PORTS_DIR/com3\"" "$WINEPREFIX/system.reg" ||
            { echo "rig: the prefix template $template pins no COM3 to $TVR_PORTS_DIR" >&2; return 1; }
        echo "rig: win32 Wine prefix restored from $template, COM1-COM4 pinned to $TVR_PORTS_DIR/com1-com4"
    else
        # wineboot under emulation is the slow part of a first run: say so, and show it is alive.
        echo "rig: making the win32 Wine prefix under emulation (2 to 7 minutes, once per machine: it is kept as the template $template)"
        (
            t=0
            while sleep 30 && kill -0 $$ 2>/dev/null; do
                t=$((t + 30))
                echo "rig: still making the win32 Wine prefix ($t s)"
            done
        ) &
        local ticker=$!
        make_prefix
        kill "$ticker" 2>/dev/null || true
        tar -czf "$template.part.$$" -C "$WINEPREFIX" . && mv "$template.part.$$" "$template"
        echo "rig: saved the prefix as the template $template"
    fi
}

# The prefix of the chosen build: in the guest, the x86 one from its template.
ensure_prefix() {
    if [[ ${TVR_IN_VM:-} && $TVR_ARCH == x86 && ! -f $WINEPREFIX/.tvr-ports ]]; then
        vm_prefix
    else
        make_prefix
    fi
}

# In the guest: every suite, in two lanes at once. One suite keeps less than one of the
# guest's two processors busy on average (it waits on emulated lines, time-outs and
# Wine's servers), so two workers take suites from one queue, longest first, so that
# the last to start are short. Each lane has its own rig folder: its own prefix (on its
# own tmpfs), port links, logs, stages and wineserver; $TVR_RIG_ROOT/x86 is the first
# lane's, $TVR_RIG_ROOT/x86-lane2 the second's. A suite marked "# tvr-session: alone"
# (a check against a fixed duration that the other lane's load could tip) runs at the
# end, with the other lane idle. Each suite's output lands in vm/NAME.log, its exit
# status in vm/NAME.rc, its seconds in vm/NAME.time and its cost line in the first
# lane's logs folder (where make test's table reads it); one line per suite to the
# caller.
readonly vm_lanes=2

# The seconds each suite took in the guest when last measured (one suite at a time,
# beside the native suites): the order of the queue where no session left its times.
declare -A vm_suite_seconds=([dialog]=334 [find]=291 [report]=274 [scan]=224 [check]=211
    [dist]=160 [msi]=120 [hostile]=114 [nsis]=76 [soak]=76 [telephony]=74 [frame]=25 [installer]=25)

# Prints the suites longest first: the previous session's NAME.time (kept in vm-last
# by the session), else the figure above, else 100 s for a suite never measured.
vm_queue_order() {
    local suite name secs
    for suite in "$@"; do
        name=$(basename "$suite" .sh)
        name=${name#suite-}
        secs=$(cat "$TVR_RIG_ROOT/x86/vm-last/$name.time" 2>/dev/null || true)
        [[ $secs =~ ^[0-9]+$ ]] || secs=${vm_suite_seconds[$name]:-100}
        printf '%s\t%s\n' "$secs" "$suite"
    done | sort -t$'\t' -k1,1nr -s | cut -f2-
}

# Runs SUITE in LANE; its results land in vm/.
vm_run_suite() {
    local lane=$1 suite=$2 out=$TVR_RIG_ROOT/x86/vm name start rc=0 where=""
    name=$(basename "$suite" .sh)
    name=${name#suite-}
    start=$SECONDS
    TVR_RIG_DIR=$TVR_RIG_ROOT TVR_RIG_LANE=$lane TVR_DLL_DIR=$TVR_DLL32_DIR "$here/rig.sh" run x86 "$suite" \
        >"$out/$name.log" 2>&1 || rc=$?
    if [[ $lane != 1 ]]; then
        cp "$TVR_RIG_ROOT/x86-lane$lane/logs/suite-$name".{cost,cases} "$TVR_RIG_ROOT/x86/logs/" 2>/dev/null || true
        where=", lane $lane"
    fi
    echo $((SECONDS - start)) >"$out/$name.time"
    echo "$rc" >"$out/$name.rc"
    echo "rig: guest: wine32.$name exit $rc in $((SECONDS - start)) s$where"
}

# One lane's worker: takes the next suite nobody has taken (mkdir claims it atomically).
vm_lane() {
    local lane=$1 claims=$2 i=0 suite
    shift 2
    for suite in "$@"; do
        i=$((i + 1))
        mkdir "$claims/$i" 2>/dev/null || continue
        vm_run_suite "$lane" "$suite"
    done
}

vm_session() {
    local suite ordered shared=() alone=() claims lane pids=() start=$SECONDS
    mkdir -p "$TVR_RIG_ROOT/x86/logs"
    # The lanes' prefixes at once from the template (each restore is mostly one
    # processor's gunzip); without one, the first lane makes it and the others follow.
    for lane in $(seq 1 $vm_lanes); do
        (TVR_RIG_LANE=$lane use_arch x86 && ensure_prefix) &
        if [[ -f $(vm_template) ]]; then pids+=($!); else wait "$!" || return 1; fi
    done
    for lane in "${pids[@]}"; do wait "$lane" || return 1; done
    # No process substitution: the guest has no /dev/fd.
    ordered=$(vm_queue_order "$@")
    while IFS= read -r suite; do
        if grep -q '^# tvr-session: alone' "$suite"; then alone+=("$suite"); else shared+=("$suite"); fi
    done <<<"$ordered"
    claims=$(mktemp -d "${TMPDIR:-/tmp}/tvr-queue.XXXXXX")
    pids=()
    for lane in $(seq 1 $vm_lanes); do
        vm_lane "$lane" "$claims" "${shared[@]+"${shared[@]}"}" &
        pids+=($!)
    done
    # A lane that stops early leaves its suites without results, which report names.
    wait "${pids[@]}" || true
    rm -rf "$claims"
    for suite in "${alone[@]+"${alone[@]}"}"; do
        vm_run_suite 1 "$suite"
    done
    echo "rig: guest: $# suites in $((SECONDS - start)) s, $vm_lanes lanes; memory left: $(awk '$1 == "MemAvailable:" { printf "%d MiB", $2 / 1024 }' /proc/meminfo)"
}

case "${1:-}" in
route)
    [[ $2 == x86 ]] && x86_route || echo native
    ;;
session)
    arch=$2
    shift 2
    if [[ $arch == x86 && $(x86_route) == vm ]]; then
        mkdir -p "$TVR_RIG_ROOT/x86"
        # The last session's times order this one's queue.
        if compgen -G "$TVR_RIG_ROOT/x86/vm/*.time" >/dev/null; then
            rm -rf "$TVR_RIG_ROOT/x86/vm-last"
            mkdir -p "$TVR_RIG_ROOT/x86/vm-last"
            cp "$TVR_RIG_ROOT"/x86/vm/*.time "$TVR_RIG_ROOT/x86/vm-last/"
        fi
        rm -rf "$TVR_RIG_ROOT/x86/vm"
        mkdir -p "$TVR_RIG_ROOT/x86/vm"
        echo "rig: this kernel runs no 32-bit programs: the PE32 suites run in a guest under qemu-system-x86_64 (software emulation), all in one boot"
        in_vm session-guest "$@"
    else
        require_arch "$arch"
        make_prefix
    fi
    ;;
session-guest)
    shift
    require_arch x86
    vm_session "$@"
    ;;
report)
    arch=$2
    suite=$3
    name=$(basename "$suite" .sh)
    name=${name#suite-}
    if [[ $arch == x86 && $(x86_route) == vm ]]; then
        dir=$TVR_RIG_ROOT/x86/vm
        if [[ ! -f $dir/$name.rc ]]; then
            echo "rig: the guest session (wine32.prefix) left no result for $name: see its output"
            exit 1
        fi
        cat "$dir/$name.log"
        echo "rig: ran in the guest (this kernel runs no 32-bit programs) in $(cat "$dir/$name.time") s; log $dir/$name.log"
        exit "$(cat "$dir/$name.rc")"
    fi
    exec "$here/rig.sh" run "$arch" "$suite"
    ;;
arches)
    runnable=()
    for arch in x86 x64; do
        reason=$(unavailable_reason "$arch")
        if [[ -z $reason ]]; then runnable+=("$arch"); else echo "rig: $arch: $reason" >&2; fi
    done
    if [[ $(x86_route) == vm ]]; then
        echo "rig: this kernel runs no 32-bit programs, so the PE32 suites run in a guest under qemu-system-x86_64 (software emulation, two suites at a time: about 30 minutes for all of them, plus a few minutes the first time, to fill the guest cache)" >&2
    fi
    echo "${runnable[*]+"${runnable[*]}"}"
    ;;
run)
    [[ $2 == x86 && $(x86_route) == vm ]] && { in_vm "$@"; exit; }
    require_arch "$2"
    suite=$3
    ensure_prefix
    fenced bash -c 'source "$1/lib.sh"; tvr_begin "$2"; source "$2"; tvr_end' rig "$here" "$suite"
    ;;
exec)
    arch=$2
    shift 2
    if [[ $arch == auto ]]; then
        reason=$(x86_unavailable_reason)
        if [[ -z $reason ]]; then
            arch=x86
            export TVR_ARCH_WHY="the PE32 build, which 32-bit setup programs load"
        else
            arch=x64
            export TVR_ARCH_WHY="the PE32+ build, because $reason"
        fi
    fi
    if [[ $arch == x86 && $(x86_route) == vm ]]; then
        export TVR_ARCH_WHY="the PE32 build, in a guest under software emulation because this kernel runs no 32-bit programs"
        in_vm exec x86 "$@"
        exit
    fi
    require_arch "$arch"
    ensure_prefix
    fenced bash -c 'source "$1/lib.sh"; tvr_begin exec; shift; "$@"; rc=$?; tvr_cleanup; exit $rc' rig "$here" "$@"
    ;;
*)
    echo "usage: rig.sh arches | route x86 | session ARCH [SUITE...] | report ARCH SUITE | run ARCH SUITE | exec ARCH|auto CMD..." >&2
    exit 2
    ;;
esac
