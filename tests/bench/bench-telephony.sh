# TVRModemAvailable's cost: wall time per call under Wine against the project's
# telephony double (call log off) with 1, 16 and 256 line devices, and the heap
# allocations per call counted natively on the counting heap of the Win32 test double.
# Prints figures; asserts nothing.

tel_stage=$TVR_RIG_DIR/stage-bench-telephony
rm -rf "$tel_stage"
mkdir -p "$tel_stage"
cp "$TVR_DLL_DIR/tvrhost.exe" "$TVR_DLL_DIR/telvarid.dll" "$tel_stage/"
# The library loads TAPI32.DLL from the system folder only: the double stands there.
tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
tel_system=$TVR_SYSTEM_DIR
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n;mscoree,mshtml=")
tel_calls_per_run=50

# Times tel_calls_per_run calls against a double with N devices; $2 is the device line.
tel_time() {
    local n=$1 line=$2 what=$3 i
    {
        echo "log off"
        for ((i = 0; i < n; i++)); do echo "$line"; done
    } >"$tel_system/tapi-scenario.txt"
    tvr_wine "$tel_stage/tvrhost.exe" modem "$tel_calls_per_run"
    printf '%-40s lines=%-4s %s  ms_per_call=%s (over %s calls; the double re-reads its scenario at each lineInitialize)\n' \
        "$what" "$n" "$(tvr_value result | sed 's/^/result=/')" "$(tvr_value ms_per_call)" "$tel_calls_per_run"
}

echo "-- wall time per call under Wine"
for n in 1 16 256; do
    tel_time "$n" "device 0 0 1 16 0 0 COM2 0 2400" "every device a slow modem (all queried)"
done
for n in 1 16 256; do
    tel_time "$n" "device 0 0 1 0 0 0 - 0 0" "no device a modem (table only)"
done
tel_time 256 "device 0 0 1 16 0 0 COM2 0 9600" "every device a fast modem (first ends)"

wine_stage=$TVR_RIG_DIR/stage-bench-telephony-wine
rm -rf "$wine_stage"
mkdir -p "$wine_stage"
cp "$TVR_DLL_DIR/tvrhost.exe" "$TVR_DLL_DIR/telvarid.dll" "$wine_stage/"
TVR_WINE_ENV=()
tvr_system_tapi_restore
tvr_wine "$wine_stage/tvrhost.exe" modem "$tel_calls_per_run"
printf '%-40s %s  ms_per_call=%s\n' "Wine's TAPI32 (binding fails, no lines)" "result=$(tvr_value result)" "$(tvr_value ms_per_call)"

echo "-- heap allocations per call (native, counting heap of the test double)"
if [[ -x $TVR_HOST_DIR/tvr_bench_telephony ]]; then
    "$TVR_HOST_DIR/tvr_bench_telephony"
else
    echo "tvr_bench_telephony not built (make host)"
fi
