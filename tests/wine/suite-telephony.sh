# TVRModemAvailable under Wine, against the project's telephony double (TAPI32.dll,
# standing in the prefix's system folder in place of Wine's own, and preferred to
# Wine's builtin by a DLL override), whose line devices each case writes into
# tapi-scenario.txt and whose call log, tapi-calls.log, shows what the library asked.
# The library loads TAPI32.DLL from the system folder only: one case plants a second
# copy of the double beside the test host, which must never be loaded. One case runs
# against Wine's own TAPI32 instead.
#
# Device lines: device NEG CAPS BEARER MEDIA OPEN GETID PORT CONFIG BAUD

tel_stage=$TVR_RIG_DIR/stage-telephony
rm -rf "$tel_stage"
mkdir -p "$tel_stage"
cp "$TVR_DLL_DIR/tvrhost.exe" "$TVR_DLL_DIR/tvrprobe.exe" "$TVR_DLL_DIR/telvarid.dll" "$tel_stage/"
tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
tel_system=$TVR_SYSTEM_DIR
# Native only: a case passes against the double or not at all, never against Wine's
# builtin by a silent fallback.
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n;mscoree,mshtml=")
# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

# Writes the scenario (one argument per line) and starts a fresh call log.
tel_scenario() {
    printf '%s\n' "$@" >"$tel_system/tapi-scenario.txt"
    rm -f "$tel_system/tapi-calls.log"
}
tel_modem() { tvr_wine "$tel_stage/tvrhost.exe" modem "$@"; }
# How many lines of the double's call log match the regular expression.
tel_calls() { grep -c -E "$1" "$tel_system/tapi-calls.log" 2>/dev/null || true; }

# A data modem: voice bearer (1), data-modem media (16), every call succeeding.
modem() { echo "device 0 0 1 16 0 0 $1 0 $2"; }
voice_line="device 0 0 1 0 0 0 - 0 0"

# The width of a HANDLE in the build of the staged telvarid.dll: 8 for a PE32+ file,
# 4 for a PE32 one (the optional header's magic, 0x20b or 0x10b, follows the 4-byte
# "PE\0\0" signature and the 20-byte file header, at the offset stored at 0x3c).
tel_handle_size() {
    local pe magic
    pe=$(od -An -tu4 -j60 -N4 "$1" | tr -d ' ')
    magic=$(od -An -tx2 -j$((pe + 24)) -N2 "$1" | tr -d ' ')
    case $magic in
    020b) echo 8 ;;
    010b) echo 4 ;;
    *) echo "unknown($magic)" ;;
    esac
}
tel_hs=$(tel_handle_size "$tel_stage/telvarid.dll")

# Every line the library opened was closed, and the registration ended with lineShutdown
# (with no line open) once per lineInitialize that succeeded.
tel_expect_tidy() {
    tvr_expect_eq "lineOpen vs lineClose" "$(tel_calls '^lineOpen ')" "$(tel_calls '^lineClose ')"
    tvr_expect_eq "lineShutdown calls" "$1" "$(tel_calls '^lineShutdown app=0x7a71 open_lines=0$')"
}

tvr_case "one data modem at 9600 bit/s: 2 and its port name"
tel_scenario "$(modem COM3 9600)"
tel_modem
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "result=2 name=COM3 tail=intact"
tvr_expect_eq "registration" 1 "$(tel_calls '^lineInitialize app=TELVARAP result=0$')"
tvr_expect_eq "capabilities buffer" 1 "$(tel_calls '^lineGetDevCaps dev=0 version=0x10003 total=495$')"
tvr_expect_eq "line opened" 1 "$(tel_calls '^lineOpen dev=0 version=0x10003 privileges=0x1 media=0x10$')"
tvr_expect_eq "port query" 1 "$(tel_calls '^lineGetID line=0x100 address=0 call=0 select=1 total=104 class=comm/datamodem$')"
tvr_expect_eq "config query" 1 "$(tel_calls '^lineGetDevConfig dev=0 total=136 class=comm/datamodem$')"
tel_expect_tidy 1

tvr_case "the port name follows a port handle as wide as the build's HANDLE ($tel_hs bytes)"
tel_scenario "$(modem COM3 9600)"
tel_modem
tvr_expect_line "result=2 name=COM3 tail=intact"
# The double is built like the library, so the handle it wrote shows the width that the
# library must skip; string_size is the handle, "COM3" and its zero.
echo "double: $(grep -m1 '^lineGetID wrote' "$tel_system/tapi-calls.log")"
tvr_expect_eq "handle width the double wrote" 1 \
    "$(tel_calls "^lineGetID wrote handle_size=$tel_hs string_size=$((tel_hs + 5)) port=COM3\$")"

tvr_case "the longest port name that fits after the handle ($((80 - tel_hs - 1)) characters) comes through whole"
tel_longest=$(printf 'N%.0s' $(seq 1 $((80 - tel_hs - 1))))
tel_scenario "$(modem "$tel_longest" 9600)"
tel_modem
tvr_expect_line "result=2 name=$tel_longest tail=intact"
tel_scenario "$(modem "${tel_longest}X" 9600)"
tel_modem
tvr_expect_line "result=2 name=(untouched)"
tvr_expect_eq "identifier too long for the block" 1 "$(tel_calls '^lineGetID wrote no identifier: needed=105$')"
tel_expect_tidy 1

tvr_case "one data modem at 9599 bit/s: 1"
tel_scenario "$(modem COM3 9599)"
tel_modem
tvr_expect_line "result=1 name=COM3 tail=intact"
tel_expect_tidy 1

tvr_case "a 2400 modem then a 9600 modem: 2 and the second port name"
tel_scenario "$(modem COM1 2400)" "$voice_line" "$(modem COM2 9600)"
tel_modem
tvr_expect_line "result=2 name=COM2 tail=intact"
tvr_expect_eq "lines opened" 2 "$(tel_calls '^lineOpen ')"
tel_expect_tidy 1

tvr_case "the first fast modem ends the walk"
tel_scenario "$(modem COM1 115200)" "$(modem COM2 9600)"
tel_modem
tvr_expect_line "result=2 name=COM1 tail=intact"
tvr_expect_eq "configs asked" 0 "$(tel_calls '^lineGetDevConfig dev=1 ')"
tel_expect_tidy 1

tvr_case "lineGetID fails on the qualifying modem: 2, the caller's buffer untouched"
tel_scenario "device 0 0 1 16 0 0x80000048 COM4 0 9600"
tel_modem
tvr_expect_line "result=2 name=(untouched)"
tvr_expect_eq "line closed after the failure" 1 "$(tel_calls '^lineClose line=0x100$')"
tel_expect_tidy 1

tvr_case "a capabilities error after a modem: 0"
tel_scenario "$(modem COM1 9600)" "device 0 0x80000048 1 16 0 0 COM2 0 9600"
tel_modem
tvr_expect_line "result=0 name=(untouched)"
tvr_expect_eq "lines opened" 0 "$(tel_calls '^lineOpen ')"
tel_expect_tidy 1

tvr_case "no data modem listed: 0"
tel_scenario "$voice_line" "device 0 0 0 16 0 0 COM2 0 9600"
tel_modem
tvr_expect_line "result=0 name=(untouched)"
tel_expect_tidy 1

tvr_case "a device without version 1.3 is skipped"
tel_scenario "device 0x8000000C 0 1 16 0 0 COM1 0 9600" "$(modem COM2 2400)"
tel_modem
tvr_expect_line "result=1 name=COM2 tail=intact"
tvr_expect_eq "capabilities asked" 0 "$(tel_calls '^lineGetDevCaps dev=0 ')"
tel_expect_tidy 1

tvr_case "a service that leaves the device count unwritten: 0, nothing asked"
tel_scenario "init 0 nocount" "$(modem COM1 9600)"
tel_modem
tvr_expect_line "result=0 name=(untouched)"
tvr_expect_eq "devices asked" 0 "$(tel_calls '^lineNegotiateAPIVersion ')"
tvr_expect_eq "lineShutdown" 1 "$(tel_calls '^lineShutdown ')"

tvr_case "lineInitialize fails: 0, no lineShutdown"
tel_scenario "init 0x80000048" "$(modem COM1 9600)"
tel_modem
tvr_expect_line "result=0 name=(untouched)"
tvr_expect_eq "lineShutdown" 0 "$(tel_calls '^lineShutdown ')"

tvr_case "two calls in a row each register and end afresh"
tel_scenario "$(modem COM3 9600)"
tel_modem 2
tvr_expect_line "result=2 name=COM3 tail=intact"
tvr_expect_eq "registrations" 2 "$(tel_calls '^lineInitialize ')"
tel_expect_tidy 2

tvr_case "tvrprobe modem says it in words"
tel_scenario "$(modem COM3 9600)"
tvr_wine "$tel_stage/tvrprobe.exe" modem
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "The telephony service lists a data modem set up for 9600 bit/s or more; the last port name reported is COM3."
tel_scenario "$(modem COM1 2400)" "$(modem COM2 4800)"
tvr_wine "$tel_stage/tvrprobe.exe" modem
tvr_expect_line "The telephony service lists a data modem, but none is set up for 9600 bit/s or more; the last port name reported is COM2."
# The fast modem's port-name query fails: the name shown is the slow one's, and the
# words do not claim it is the fast modem's port.
tel_scenario "$(modem COM1 2400)" "device 0 0 1 16 0 0x80000048 COM2 0 9600"
tvr_wine "$tel_stage/tvrprobe.exe" modem
tvr_expect_line "The telephony service lists a data modem set up for 9600 bit/s or more; the last port name reported is COM1."
tel_scenario "device 0 0 1 16 0x80000048 0 COM1 0 2400"
tvr_wine "$tel_stage/tvrprobe.exe" modem
tvr_expect_line "The telephony service lists a data modem, but none is set up for 9600 bit/s or more; no port name was reported."
tel_scenario "$voice_line"
tvr_wine "$tel_stage/tvrprobe.exe" modem
tvr_expect_line "The telephony service can't be used here, or it lists no data modem."

tvr_case "a TAPI32.DLL planted beside the host is never loaded; the system folder's is"
# The plant is a copy of the double with a scenario of its own (a fast modem on COM9):
# loaded, it would answer name=COM9, write its call log beside itself and record its
# load there. Each copy records its loads only where tapi-loaded.log already stands.
cp "$TVR_DLL_DIR/tapi/TAPI32.dll" "$tel_stage/TAPI32.dll"
echo "device 0 0 1 16 0 0 COM9 0 115200" >"$tel_stage/tapi-scenario.txt"
: >"$tel_stage/tapi-loaded.log"
: >"$tel_system/tapi-loaded.log"
tel_scenario "$(modem COM3 9600)"
# The loader's trace names the file that each load of tapi32 took (" Loaded", not the
# "Unloaded" of its release).
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n;mscoree,mshtml=" WINEDEBUG=+loaddll)
tel_modem
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "result=2 name=COM3 tail=intact"
tvr_expect_eq "loads of the planted copy" 0 "$(grep -c . "$tel_stage/tapi-loaded.log")"
tvr_expect_eq "planted copy's call log" "absent" "$([[ -e $tel_stage/tapi-calls.log ]] && echo present || echo absent)"
tvr_expect_eq "loads of the system folder's copy" 1 "$(grep -c -i 'system32.tapi32\.dll' "$tel_system/tapi-loaded.log")"
tvr_expect_eq "registrations with the system folder's copy" 1 "$(tel_calls '^lineInitialize app=TELVARAP ')"
tvr_expect_eq "loader trace: tapi32 from the system folder" 1 \
    "$(grep -c -i -E 'loaddll.* Loaded .*system32[\/]+tapi32\.dll.*: native' "$TVR_LOG_DIR/last.err")"
tvr_expect_eq "loader trace: tapi32 from anywhere else" 0 \
    "$(grep -i -E 'loaddll.* Loaded .*tapi32\.dll' "$TVR_LOG_DIR/last.err" | grep -c -i -v 'system32' || true)"
# The same with the telephony double gone from the system folder: Wine's builtin is not
# allowed (native only), the plant still is not loaded, and the answer is 0.
tel_saved=$TVR_RIG_DIR/tapi32-double-aside.dll
mv "$tel_system/tapi32.dll" "$tel_saved"
tel_modem
mv "$tel_saved" "$tel_system/tapi32.dll"
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "result=0 name=(untouched)"
tvr_expect_eq "loads of the planted copy, no system copy" 0 "$(grep -c . "$tel_stage/tapi-loaded.log")"
rm -f "$tel_stage/TAPI32.dll" "$tel_stage/tapi-scenario.txt" "$tel_stage/tapi-loaded.log" "$tel_system/tapi-loaded.log"
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n;mscoree,mshtml=")

tvr_case "TVRModemAvailable with no buffer: the same answer, no port name asked for"
tel_scenario "$(modem COM1 2400)" "$(modem COM2 9600)"
tvr_wine "$tel_stage/tvrhost.exe" modem-null
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "result=2"
tvr_expect_eq "lines opened" 0 "$(tel_calls '^lineOpen ')"
tvr_expect_eq "configs asked" 2 "$(tel_calls '^lineGetDevConfig ')"
tel_expect_tidy 1

tvr_case "Wine's own TAPI32 (success without a device count): 0 and no crash"
tvr_system_tapi_restore
wine_stage=$TVR_RIG_DIR/stage-telephony-wine
rm -rf "$wine_stage"
mkdir -p "$wine_stage"
cp "$TVR_DLL_DIR/tvrhost.exe" "$TVR_DLL_DIR/telvarid.dll" "$wine_stage/"
# The loader's trace shows that Wine's builtin tapi32 was really the one loaded, so the
# case cannot pass merely because no telephony library could be loaded at all.
TVR_WINE_ENV=(WINEDEBUG=+loaddll)
tvr_wine "$wine_stage/tvrhost.exe" modem 3
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "result=0 name=(untouched)"
tvr_expect_line "unload=ok"
tvr_expect grep -q -i -E 'loaddll.*Loaded .*tapi32\.dll.*: builtin' "$TVR_LOG_DIR/last.err"
