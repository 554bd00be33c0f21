# Long use in one process (tests/wine/soak): the exports called thousands of times and
# the DLL loaded and freed a thousand times, with the process's handles, GDI and USER
# objects and private bytes read before and after each block. CTest runs a tenth of
# each count (a fiftieth in the guest); `make soak` runs them all (TVR_SOAK_DIVIDE=1).
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

# In the guest, under software emulation, a fiftieth: every block still has more calls
# than the tolerance of 2 (20 dialogs, 200 scans, 3 scans of a modem), so that one
# handle, GDI or USER object left behind per call still fails it.
if [[ -n ${TVR_IN_VM:-} ]]; then
    soak_divide=${TVR_SOAK_DIVIDE:-50}
else
    soak_divide=${TVR_SOAK_DIVIDE:-10}
fi
# A guard against a hang, not a speed goal: the whole soak took 14 minutes here on a
# loaded machine, a tenth of it about one.
soak_timeout=$((soak_divide == 1 ? 3600 : 900))
soak_stage=$TVR_RIG_DIR/stage-soak
rm -rf "$soak_stage"
mkdir -p "$soak_stage"
cp "$TVR_DLL_DIR/tvrsoak.exe" "$TVR_DLL_DIR/telvarid.dll" "$soak_stage/"
# The library loads TAPI32.DLL from the system folder only: the double stands there, and
# Wine's own file beside it as tapi32.dll.wine, for the soak to swap in for its block.
tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
cp "$WINEPREFIX/.tvr-wine-tapi32.dll" "$TVR_SYSTEM_DIR/tapi32.dll.wine"
# One slow data modem: every call builds the table, opens the line and reads the port
# name and the configuration, and answers 1. No call log: it would grow without end.
printf '%s\n' "log off" "device 0 0 1 16 0 0 COM2 0 2400" >"$TVR_SYSTEM_DIR/tapi-scenario.txt"

# The find's window is destroyed once per call: unmanaged, so that Wine's X11 driver
# does not wait 2 s for a window manager Xvfb does not run (see suite-find-window.sh).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true

tvr_case "every block keeps handles, GDI and USER objects and private bytes flat (counts / $soak_divide)"
# The soak asks for the modem on COM3 only for its last block; until then no port is linked.
(
    for i in $(seq 1 6000); do
        [[ -e $soak_stage/soak-wants-modem ]] && break
        sleep 0.1
    done
) &
soak_waiter=$!
OUT=$(cd "$soak_stage" && WINEDLLOVERRIDES="tapi32=n,b;mscoree,mshtml=" timeout "$soak_timeout" wine tvrsoak.exe \
    --divide "$soak_divide" 2>"$TVR_LOG_DIR/soak.err" | tr -d '\r' | tee "$TVR_LOG_DIR/soak.out"
    exit "${PIPESTATUS[0]}") &
soak_pid=$!
wait "$soak_waiter"
if [[ -e $soak_stage/soak-wants-modem ]]; then
    tvr_emu 3 crlf && touch "$soak_stage/soak-modem-ready"
fi
wait "$soak_pid" && RC=0 || RC=$?
OUT=$(cat "$TVR_LOG_DIR/soak.out")
printf '%s\n' "$OUT" | sed 's/^/      /'
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "soak=flat"
rm -f "$TVR_SYSTEM_DIR/tapi32.dll.wine" "$TVR_SYSTEM_DIR/tapi32.dll.aside"
wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
