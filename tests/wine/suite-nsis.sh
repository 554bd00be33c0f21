# The TvrModem plug-in in real NSIS installers: the examples of examples/nsis, built by
# makensis with the plug-in of the build under test (!addplugindir on its Plugins
# folder), run silently under Wine against the emulated modems and the telephony
# double. The PE32 build brings the x86-ansi and x86-unicode plug-ins, the PE32+ build
# the amd64-unicode one; each route runs its own. Every expectation is a literal: what
# a script pops, as the example writes it to tvrmodem-answers.txt, and what the stack
# probes appended to it (tests/wine/installer/tvrmodem-contract.nsh) saw.
# In the guest's two-lane session it runs alone: the installer's window must answer
# every WM_NULL of the watch within one second, a fixed bound that the other lane's
# programs, taking the processor from the installer's thread, could cross.
# tvr-session: alone
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

nsis_stage=$TVR_RIG_DIR/stage-nsis
rm -rf "$nsis_stage"
mkdir -p "$nsis_stage"
case $TVR_ARCH in
x86) nsis_flavours="x86-ansi x86-unicode" nsis_format=pei-i386 ;;
x64) nsis_flavours="amd64-unicode" nsis_format=pei-x86-64 ;;
esac
nsis_answers=$nsis_stage/tvrmodem-answers.txt
nsis_contract=$nsis_stage/tvrmodem-contract.txt
# A pty takes every speed Wine hands it (0 and 4294967295 bit/s included, tried): the
# port that refuses the speed is COM2 on a device that is no serial line (/dev/null),
# whose line settings can be neither read nor set.
nsis_refused_port=COM2

# The answers file without carriage returns (empty when the installer wrote none).
nsis_text() { tr -d '\r' <"$1" 2>/dev/null; }

tvr_case "makensis builds the $nsis_flavours example(s) with the build's own plug-in"
for flavour in $nsis_flavours; do
    (cd "$TVR_SOURCE_DIR/examples/nsis" &&
        makensis -V2 -DTVRMODEM_PLUGINS="$TVR_DLL_DIR/Plugins/$flavour" -DOUTFILE="$nsis_stage/check-$flavour.exe" \
            -DREFUSED_PORT=$nsis_refused_port "tvrmodem-$flavour.nsi" \
            "-X!include $TVR_SOURCE_DIR/tests/wine/installer/tvrmodem-contract.nsh") \
        >"$TVR_LOG_DIR/makensis-$flavour.out" 2>&1 ||
        tvr_fail "makensis tvrmodem-$flavour.nsi failed (see $TVR_LOG_DIR/makensis-$flavour.out)"
    tvr_expect_eq "$flavour installer" "$nsis_format" \
        "$(x86_64-w64-mingw32-objdump -f "$nsis_stage/check-$flavour.exe" 2>/dev/null | sed -n 's/.*file format //p')"
done

# An installer finds TAPI32.DLL only in the system folder: the double stands there.
tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
nsis_system=$TVR_SYSTEM_DIR
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n,b;mscoree,mshtml=")

for flavour in $nsis_flavours; do
    installer=$nsis_stage/check-$flavour.exe

    tvr_case "$flavour: a modem on COM3, checked at 9600 bit/s, a fast data modem; the stack contract"
    tvr_emu 3 crlf
    tvr_port 2 /dev/null
    echo "device 0 0 1 16 0 0 COM3 0 19200" >"$nsis_system/tapi-scenario.txt"
    rm -f "$nsis_answers" "$nsis_contract"
    tvr_wine "$installer" /S
    tvr_emu_stop
    tvr_expect_eq "exit code" 0 "$RC"
    tvr_expect_eq "answers" "find=1 port=COM3 check=1 modem=2 name=COM3" "$(nsis_text "$nsis_answers" | head -1)"
    tvr_expect_eq "contract" "refused=0
nonnumeric=error flag=set below=mark
missing=error flag=set stack=empty
scan=1 port=COM3 below=mark
modem=2 name=COM3 below=mark" "$(nsis_text "$nsis_contract")"
    # The example's find and check, and the probes' scan: the non-numeric speed and
    # the missing arguments sent nothing.
    tvr_expect_eq "COM3 AT lines" 3 "$(tvr_emu_lines 3 | grep -c -x 'AT\\r' || true)"

    tvr_case "$flavour: no port at all, a data modem slower than 9600 bit/s on COM2"
    echo "device 0 0 1 16 0 0 COM2 0 2400" >"$nsis_system/tapi-scenario.txt"
    rm -f "$nsis_answers" "$nsis_contract"
    tvr_wine "$installer" /S
    tvr_expect_eq "exit code" 0 "$RC"
    tvr_expect_eq "answers" "find=0 port= check=- modem=1 name=COM2" "$(nsis_text "$nsis_answers" | head -1)"
    tvr_expect_eq "words" "No modem answered on COM1 to COM4." "$(nsis_text "$nsis_answers" | sed -n 2p)"

    tvr_case "$flavour: no port, no data modem"
    echo "device 0 0 1 0 0 0 - 0 0" >"$nsis_system/tapi-scenario.txt"
    rm -f "$nsis_answers" "$nsis_contract"
    tvr_wine "$installer" /S
    tvr_expect_eq "exit code" 0 "$RC"
    tvr_expect_eq "answers" "find=0 port= check=- modem=0 name=" "$(nsis_text "$nsis_answers" | head -1)"
    tvr_expect_eq "contract" "refused=0
nonnumeric=error flag=set below=mark
missing=error flag=set stack=empty
scan=0 port= below=mark
modem=0 name= below=mark" "$(nsis_text "$nsis_contract")"
done

# The window: a Unicode installer shown (not silent) calls the find from a page callback
# while a tvrhost "watch" sends its window WM_NULL from another program every 50 ms; the
# find's own window (a Cyrillic message) is screenshot while it shows. COM1 is silent,
# so the search lasts one silent port's time (about 8 s), and the modem is on COM3.
nsis_window_shot() {
    local out=$1 png=$2 i screen l t r b
    for i in $(seq 1 600); do
        grep -q '^popup=yes' "$out" 2>/dev/null && break
        sleep 0.1
    done
    screen=$(tr -d '\r' <"$out" | grep -o 'screen=[-0-9,]*' | head -1 | cut -d= -f2)
    [[ -n $screen ]] || return 0
    IFS=, read -r l t r b <<<"$screen"
    import -window root "$png.full.png" 2>/dev/null || true
    convert "$png.full.png" -crop "$((r - l + 40))x$((b - t + 40))+$((l - 20))+$((t - 20))" +repage "$png" \
        2>/dev/null || true
}

for flavour in $nsis_flavours; do
    [[ $flavour == *unicode ]] || continue
    window=$nsis_stage/window-$flavour.exe
    tvr_case "$flavour: the find from a page callback keeps the installer answering; a Cyrillic message shows whole"
    makensis -V2 -DTARGET="$flavour" -DTVRMODEM_PLUGINS="$TVR_DLL_DIR/Plugins/$flavour" -DOUTFILE="$window" \
        "$TVR_SOURCE_DIR/tests/wine/installer/tvrmodem-window.nsi" >"$TVR_LOG_DIR/makensis-window-$flavour.out" 2>&1 ||
        tvr_fail "makensis tvrmodem-window.nsi failed (see $TVR_LOG_DIR/makensis-window-$flavour.out)"
    tvr_emu 1 silent
    tvr_emu 3 crlf
    echo "device 0 0 1 0 0 0 - 0 0" >"$nsis_system/tapi-scenario.txt"
    rm -f "$nsis_stage/tvrmodem-window.txt"
    watch_out=$TVR_LOG_DIR/watch-$flavour.out
    shot=$TVR_DLL_DIR/../nsis-find-$flavour.png
    rm -f "$watch_out" "$shot"
    (cd "$TVR_DLL_DIR" && timeout 180 wine tvrhost.exe watch "TvrModem find under watch" 60 >"$watch_out" 2>/dev/null) &
    watch_pid=$!
    nsis_window_shot "$watch_out" "$shot" &
    shot_pid=$!
    tvr_wine "$window"
    wait "$watch_pid" || true
    wait "$shot_pid" || true
    tvr_emu_stop
    OUT=$(tr -d '\r' <"$watch_out" 2>/dev/null)
    tvr_expect_eq "exit code" 0 "$RC"
    tvr_expect_eq "answer" "find=1 port=COM3" "$(nsis_text "$nsis_stage/tvrmodem-window.txt")"
    tvr_expect_line "watched=yes"
    tvr_expect_value popup yes
    tvr_expect_value wm_null_late 0
    # About 8 s of search, a look every 50 ms or so: far more than 20 answers.
    tvr_expect test "$(tvr_value wm_null_answered)" -ge 20
    tvr_expect grep -q -F "Поиск модема на портах COM1–COM4. Пожалуйста, подождите: проверка занимает несколько секунд." \
        <<<"$OUT"
    tvr_expect test -s "$shot"
    if ((TVR_CASE_FAILED)); then printf '%s\n' "$OUT" | sed 's/^/        | /'; fi
done
tvr_system_tapi_restore
