#!/usr/bin/env bash
# The Wine rig: a private 32-bit Wine prefix whose COM1-COM4 are pinned to links that
# the tests own, and a fenced run of one integration suite.
#
#   rig.sh prefix         make the prefix if it is missing (idempotent)
#   rig.sh run SUITE      run tests/wine/suite-NAME.sh inside the fence
#   rig.sh exec CMD...    run any command inside the fence (make demo, make bench)
#
# Environment: TVR_DLL_DIR (build folder of telvarid.dll and the Windows programs),
# TVR_HOST_DIR (build folder of the native tools: the modem emulator), TVR_RIG_DIR
# (where the prefix, the port links and the logs live).
#
# The fence: the machine's own serial devices are never reached. COM1-COM4 are pinned
# in HKLM\Software\Wine\Ports to $TVR_RIG_DIR/ports/comN, links that each test points at
# an emulator's pty or at nothing; Wine gives the machine's /dev/ttyS* higher COM names,
# which no test uses; and every run happens in a private mount namespace in which
# /dev/null is bound over /dev/ttyS*, so that even those names reach no device.
set -euo pipefail

here=$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)
root=$(cd "$here/../.." && pwd)
: "${TVR_DLL_DIR:=$root/build/dll}"
: "${TVR_HOST_DIR:=$root/build/host}"
: "${TVR_RIG_DIR:=$root/build/rig}"
export TVR_DLL_DIR TVR_HOST_DIR TVR_RIG_DIR TVR_SOURCE_DIR=$root
export WINEPREFIX=$TVR_RIG_DIR/prefix WINEARCH=win32 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
ports=$TVR_RIG_DIR/ports

make_prefix() {
    local stamp=$WINEPREFIX/.tvr-ports
    if [[ -f $stamp && $(cat "$stamp") == "$ports" ]]; then
        return 0
    fi
    rm -rf "$WINEPREFIX"
    mkdir -p "$WINEPREFIX" "$ports"
    fenced wineboot -i >/dev/null 2>&1
    for n in 1 2 3 4; do
        fenced wine reg add 'HKLM\Software\Wine\Ports' /v "COM$n" /t REG_SZ /d "$ports/com$n" /f >/dev/null 2>&1
    done
    fenced wineserver -k || true
    wineserver -w || true
    echo "$ports" >"$stamp"
    echo "rig: Wine prefix ready at $WINEPREFIX, COM1-COM4 pinned to $ports/com1-com4"
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
prefix)
    make_prefix
    ;;
run)
    suite=$2
    make_prefix
    fenced bash -c 'source "$1/lib.sh"; tvr_begin "$2"; source "$2"; tvr_end' rig "$here" "$suite"
    ;;
exec)
    shift
    make_prefix
    fenced bash -c 'source "$1/lib.sh"; tvr_begin exec; shift; "$@"; rc=$?; tvr_cleanup; exit $rc' rig "$here" "$@"
    ;;
*)
    echo "usage: rig.sh prefix | run SUITE | exec CMD..." >&2
    exit 2
    ;;
esac
