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
    # tvrprobe's exit code carries its answer (no modem is not a failure of the demo).
    (cd "$TVR_DLL_DIR" && wine tvrprobe.exe "$@" 2>/dev/null | tr -d '\r' | sed 's/^/  /') || true
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

# Telephony: the project's TAPI32 double, standing in the prefix's system folder (where
# the DLL loads TAPI32.DLL from) in place of Wine's own, lists one data modem on COM3 set
# up for 19200 bit/s; then Wine's own TAPI32, put back, which lists no line device.
demo_telephony() {
    demo_heading "Telephony: a data modem on COM3 at 19200 bit/s listed by a telephony double"
    local stage=$TVR_RIG_DIR/stage-demo-telephony
    rm -rf "$stage"
    mkdir -p "$stage"
    cp "$TVR_DLL_DIR/tvrprobe.exe" "$TVR_DLL_DIR/telvarid.dll" "$stage/"
    tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
    # device NEG CAPS BEARER MEDIA OPEN GETID PORT CONFIG BAUD
    echo "device 0 0 1 16 0 0 COM3 0 19200" >"$TVR_SYSTEM_DIR/tapi-scenario.txt"
    echo "\$ tvrprobe modem"
    (cd "$stage" && WINEDLLOVERRIDES="tapi32=n;mscoree,mshtml=" wine tvrprobe.exe modem 2>/dev/null |
        tr -d '\r' | sed 's/^/  /') || true
    tvr_system_tapi_restore
    echo
    echo "== Telephony: Wine's own TAPI32, which lists no line device"
    demo_probe modem
}

# Dialog: a message dialog of tvrprobe's own, laid out by the DLL on the rig's private
# display; it closes itself after two seconds.
demo_dialog() {
    demo_heading "Dialog: a two-button message dialog laid out by TVRInitTextDialog"
    demo_probe dialog 'No modem answered on COM1 to COM4.\nConnect the modem, switch it on and choose Retry.' 1 2 --seconds 2
}

DEMO_PARTS=(serial telephony dialog)

echo "This demo shows ${TVR_ARCH_WHY:-the $TVR_ARCH build}."
echo "tvrprobe and telvarid.dll from $TVR_DLL_DIR, running under $(wine --version 2>/dev/null) ($WINEARCH prefix)"
status=0
for part in "${DEMO_PARTS[@]}"; do
    "demo_$part" || { status=1; echo "demo: the $part part failed" >&2; }
done
tvr_cleanup
exit $status
