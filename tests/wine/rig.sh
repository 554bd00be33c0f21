#!/usr/bin/env bash
# The Wine rig: one private Wine prefix per build of the DLL, whose COM1-COM4 are pinned
# to links that the tests own, and a fenced run of one integration suite against one
# build.
#
#   rig.sh arches              the builds this machine can run, "x86 x64" or "x64"; for
#                              each one it cannot run, one line on stderr saying why
#   rig.sh prefix ARCH         make ARCH's prefix if it is missing (idempotent)
#   rig.sh run ARCH SUITE      run tests/wine/suite-NAME.sh against ARCH's build
#   rig.sh exec ARCH|auto CMD  run any command inside the fence (make demo, make bench);
#                              auto takes the PE32 build where it runs, else the PE32+
#
# ARCH is x86 (the PE32 build, under wine32, in a win32 prefix) or x64 (the PE32+
# build, under wine64, in a win64 prefix). Where this kernel runs no 32-bit programs
# wine32 cannot start at all; every x86 command then exits with 77, which CTest reports
# as skipped, after one line that names the cause and the fix.
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

x64_unavailable_reason() {
    if [[ ! -x $wine64_loader ]]; then
        echo "wine64 is not installed, so the PE32+ build cannot run; install wine64 (tools/setup-machine.sh wine)"
    elif ! "$wine64_loader" --version >/dev/null 2>&1; then
        echo "wine64 does not start on this machine ($wine64_loader --version fails)"
    fi
}

unavailable_reason() {
    case $1 in
    x86) x86_unavailable_reason ;;
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
    case $TVR_ARCH in
    x86) export WINEARCH=win32 TVR_DLL_DIR=$TVR_DLL32_DIR; loader=$wine32_loader ;;
    x64) export WINEARCH=win64 TVR_DLL_DIR=$TVR_DLL64_DIR; loader=$wine64_loader ;;
    esac
    export TVR_ARCH TVR_RIG_DIR=$dir WINEPREFIX=$dir/prefix WINELOADER=$loader TVR_PORTS_DIR=$dir/ports
    mkdir -p "$dir/bin" "$TVR_PORTS_DIR"
    printf '#!/bin/sh\nexec %s "$@"\n' "$loader" >"$dir/bin/wine"
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
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX" "$TVR_PORTS_DIR"
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

case "${1:-}" in
arches)
    runnable=()
    for arch in x86 x64; do
        reason=$(unavailable_reason "$arch")
        if [[ -z $reason ]]; then runnable+=("$arch"); else echo "rig: $arch: $reason" >&2; fi
    done
    echo "${runnable[*]+"${runnable[*]}"}"
    ;;
prefix)
    require_arch "$2"
    make_prefix
    ;;
run)
    require_arch "$2"
    suite=$3
    make_prefix
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
    require_arch "$arch"
    make_prefix
    fenced bash -c 'source "$1/lib.sh"; tvr_begin exec; shift; "$@"; rc=$?; tvr_cleanup; exit $rc' rig "$here" "$@"
    ;;
*)
    echo "usage: rig.sh arches | prefix ARCH | run ARCH SUITE | exec ARCH|auto CMD..." >&2
    exit 2
    ;;
esac
