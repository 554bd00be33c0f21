#!/usr/bin/env bash
# make demo: shows tvrprobe answering against the Wine rig. Runs inside the rig's fence
# (tests/wine/rig.sh exec), with TVR_DLL_DIR, TVR_HOST_DIR and TVR_RIG_DIR set.
#
# Each part of the demo is one function, demo_<part>, listed in DEMO_PARTS at the end.
# To add a part: write its function below the others and add its name to DEMO_PARTS.
# Parts start from every COM link pointing at nothing and stop what they start.
set -uo pipefail
source "$TVR_SOURCE_DIR/tests/wine/lib.sh"
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
tvr_begin demo

# Runs tvrprobe.exe with ARGS and shows the command and its words.
demo_probe() {
    echo "\$ tvrprobe${*:+ $*}"
    (cd "$TVR_DLL_DIR" && wine tvrprobe.exe "$@" 2>/dev/null | tr -d '\r' | sed 's/^/  /')
}

# Starts a part: prints its heading and points every COM link at nothing.
demo_heading() {
    echo
    echo "== $*"
    local n
    for n in 1 2 3 4; do tvr_port_none "$n"; done
}

# Serial ports: a Hayes modem emulated on COM3; COM1, COM2 and COM4 name nothing.
demo_serial() {
    demo_heading "Serial ports: an emulated modem on COM3, nothing on COM1, COM2, COM4"
    tvr_emu 3 crlf || return 1
    demo_probe
    demo_probe check COM3 9600 AT
    tvr_emu_stop
    echo "  (the modem on COM3 received: $(tvr_emu_lines 3 | tr '\n' ' '))"
}

# Telephony parts go here (demo_telephony), dialog parts after them (demo_dialog).

DEMO_PARTS=(serial)

echo "tvrprobe and telvarid.dll from $TVR_DLL_DIR, running under $(wine --version 2>/dev/null)"
status=0
for part in "${DEMO_PARTS[@]}"; do
    "demo_$part" || status=1
done
tvr_cleanup
exit $status
