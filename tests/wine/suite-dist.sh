# The release archive as an installer author gets it: make dist's zip is unpacked into
# an empty folder, and everything below is built from that folder alone (the header, the
# import libraries, the examples' own files) with the tools of the build under test, then
# run under Wine against the emulated modem and the telephony double:
#   - tvrprobe --version and tvrprobe report from the archive;
#   - the NSIS examples, built with makensis (both kinds), the one of this build run silently;
#   - the C example, built with this build's MinGW cross compiler and windres, run in its
#     /auto mode, with a screenshot of its message dialog;
#   - a program compiled in MSVC mode and linked by lld-link against telvarid.lib, where
#     clang and lld-link are installed.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

dist_stage=$TVR_RIG_DIR/stage-dist
rm -rf "$dist_stage"
mkdir -p "$dist_stage"
dist_version=$(sed -n 's/^#define TVR_VERSION_TEXT "\(.*\)"$/\1/p' "$TVR_DLL_DIR/generated/telvarid_version.h")
dist_zip=$(dirname "$TVR_DLL32_DIR")/dist/telvarid-$dist_version.zip
dist_root=$dist_stage/unpacked/telvarid-$dist_version
case $TVR_ARCH in
x86) dist_arch=x86 dist_nsis=x86-unicode dist_cross=i686-w64-mingw32 dist_bits=32-bit dist_msvc=i686-pc-windows-msvc ;;
x64) dist_arch=x64 dist_nsis=amd64-unicode dist_cross=x86_64-w64-mingw32 dist_bits=64-bit dist_msvc=x86_64-pc-windows-msvc ;;
esac
dist_tapi=$TVR_DLL_DIR/tapi/TAPI32.dll
dist_data_modem="device 0 0 1 16 0 0 COM3 0 19200"
dist_voice_line="device 0 0 1 0 0 0 - 0 0"
# The words every example uses for a modem on COM3 with a fast data modem, and for none.
dist_found_words=$'A modem answers on COM3.\nCOM3 takes 9600 bit/s, and the modem answered "AT".\nWindows telephony lists a data modem set up for 9600 bit/s or more (port COM3).'
dist_none_words=$'No modem answered on COM1 to COM4.\nThere is no port to check.\nWindows telephony lists no data modem, or it can\'t be used here.'

# The file's text without carriage returns, or "(missing)".
dist_text() { if [[ -f $1 ]]; then tr -d '\r' <"$1"; else echo "(missing)"; fi; }

# The machine type of an executable, as objdump names its file format.
dist_format() { x86_64-w64-mingw32-objdump -f "$1" 2>/dev/null | sed -n 's/.*file format //p'; }

tvr_case "the archive of version $dist_version unpacks into an empty folder, and its tvrprobe names both versions"
mkdir -p "$dist_stage/unpacked"
tvr_expect unzip -q "$dist_zip" -d "$dist_stage/unpacked"
tvr_expect_eq "top-level entries" "telvarid-$dist_version" "$(ls -A "$dist_stage/unpacked")"
tvr_wine "$dist_root/$dist_arch/tvrprobe.exe" --version
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "tvrprobe $dist_version ($dist_bits)"
tvr_expect_line "telvarid.dll beside it: version $dist_version.0"

# ---- NSIS ----------------------------------------------------------------------------

tvr_case "makensis builds both NSIS examples in the unpacked archive"
for target in x86-unicode amd64-unicode; do
    (cd "$dist_root/examples/nsis" && makensis -V2 "modem-$target.nsi") >"$TVR_LOG_DIR/makensis-$target.out" 2>&1 ||
        tvr_fail "makensis modem-$target.nsi failed (see $TVR_LOG_DIR/makensis-$target.out)"
done
tvr_expect_eq "x86-unicode installer" "pei-i386" "$(dist_format "$dist_root/examples/nsis/modem-check-x86-unicode.exe")"
tvr_expect_eq "amd64-unicode installer" "pei-x86-64" \
    "$(dist_format "$dist_root/examples/nsis/modem-check-amd64-unicode.exe")"

# The DLL loads TAPI32.DLL from the system folder only: the double stands there for the
# installers, the C example, the MSVC-linked program and tvrprobe alike (the end of the
# suite puts Wine's own back).
tvr_system_tapi "$dist_tapi"
dist_system=$TVR_SYSTEM_DIR
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n,b;mscoree,mshtml=")
dist_installer=$dist_root/examples/nsis/modem-check-$dist_nsis.exe
dist_nsis_answers=$dist_root/examples/nsis/telvarid-answers.txt

tvr_case "the $dist_nsis NSIS example, run silently, finds the modem on COM3, checks it and hears of a fast data modem"
tvr_emu 3 crlf
printf '%s\n' "$dist_data_modem" "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
rm -f "$dist_nsis_answers"
tvr_wine "$dist_installer" /S
tvr_emu_stop
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=1 port=3 check=1 modem=2 name=COM3"$'\n'"$dist_found_words" "$(dist_text "$dist_nsis_answers")"
tvr_expect_eq "the telephony double was asked" 1 \
    "$(grep -c '^lineInitialize app=TELVARAP' "$dist_system/tapi-calls.log" 2>/dev/null || true)"

tvr_case "the $dist_nsis NSIS example with no ports and no data modem says so in words"
printf '%s\n' "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
rm -f "$dist_nsis_answers"
tvr_wine "$dist_installer" /S
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=0 port=0 check=- modem=0 name="$'\n'"$dist_none_words" "$(dist_text "$dist_nsis_answers")"

# ---- C ---------------------------------------------------------------------------------

dist_c=$dist_root/examples/c
tvr_case "the C example builds from the unpacked archive alone with $dist_cross-gcc and windres, without a warning"
(cd "$dist_c" &&
    "$dist_cross-windres" -I../.. modemsetup.rc -O coff -o modemsetup-res.o &&
    "$dist_cross-gcc" -O2 -Wall -Wextra -I../.. -o modemsetup.exe modemsetup.c modemsetup-res.o \
        -L"../../$dist_arch" -ltelvarid -mwindows) >"$TVR_LOG_DIR/c-build.out" 2>&1 ||
    tvr_fail "the C example did not build (see $TVR_LOG_DIR/c-build.out)"
tvr_expect_eq "compiler output" "" "$(cat "$TVR_LOG_DIR/c-build.out")"
tvr_expect_eq "imports from telvarid.dll" "TVRCheckCommParams TVRFindModem TVRInitTextDialog TVRInitTextDialogW TVRModemAvailable" \
    "$("$dist_cross-objdump" -p "$dist_c/modemsetup.exe" 2>/dev/null |
        sed -n '/DLL Name: telvarid.dll/,/^$/p' | awk 'NF == 3 && $3 ~ /^TVR/ { print $3 }' | sort | xargs)"
# As a setup program ships it: the DLL of its kind beside it; the telephony double in
# the system folder, preferred to Wine's own TAPI32 by the override.
cp "$dist_root/$dist_arch/telvarid.dll" "$dist_c/"
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n,b;mscoree,mshtml=")

# Runs the C example in /auto mode in the background; once it has written its answers
# (a second after its message dialog appeared) takes a screenshot, cropped to what is
# not background, then waits for it to end.
dist_run_c() {
    local shot=$1 answers=$dist_c/answers.txt
    rm -f "$answers"
    (cd "$dist_c" && env "${TVR_WINE_ENV[@]}" timeout 300 wine modemsetup.exe /auto answers.txt \
        >"$TVR_LOG_DIR/c-run.out" 2>&1) &
    local pid=$! i
    for i in $(seq 1 900); do
        [[ -f $answers ]] && break
        kill -0 "$pid" 2>/dev/null || break
        sleep 0.1
    done
    if [[ -n $shot && -f $answers ]]; then
        rm -f "$shot"
        import -window root "$TVR_LOG_DIR/c-full.png" 2>/dev/null &&
            convert "$TVR_LOG_DIR/c-full.png" -trim +repage "$shot" 2>/dev/null || true
    fi
    wait "$pid" && RC=0 || RC=$?
}

tvr_case "the C example finds the modem on COM3, shows the answers in words, and leaves the focus on Continue; its searching dialog had the focus on its one button and button 2 hidden"
tvr_emu 3 crlf
printf '%s\n' "$dist_data_modem" "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
# Without a window manager Wine leaves the caption unpainted; it draws it itself here.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
dist_shot=$(dirname "$TVR_DLL_DIR")/dist-modemsetup-$TVR_ARCH.png
dist_run_c "$dist_shot"
wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
tvr_emu_stop
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=1 port=3 check=1 modem=2 name=COM3"$'\nfocus=1 search_focus=1 search_button2=hidden\n'"$dist_found_words" \
    "$(dist_text "$dist_c/answers.txt")"
tvr_expect test -s "$dist_shot"

# The dialog manager would put the focus on the first tab stop, Continue: that it is on
# Cancel shows that the focus stayed where TVRInitTextDialog put it.
tvr_case "the C example with no ports and no data modem says so and leaves the focus on Cancel"
printf '%s\n' "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
dist_run_c ""
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "answers" "scan=0 port=0 check=- modem=0 name="$'\nfocus=2 search_focus=1 search_button2=hidden\n'"$dist_none_words" \
    "$(dist_text "$dist_c/answers.txt")"

# The answer file's temporary name is the given name and ".tmp": a name far longer than
# a path may be gets no answers, and the program ends as usual (no overrun of the
# temporary name's buffer).
tvr_case "the C example given a 1000-character answer file name writes nothing and ends normally"
dist_long_name=$(printf 'a%.0s' $(seq 1 1000))
(cd "$dist_c" && env "${TVR_WINE_ENV[@]}" timeout 300 wine modemsetup.exe /auto "$dist_long_name" \
    >"$TVR_LOG_DIR/c-long.out" 2>&1) && RC=0 || RC=$?
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "files beside the example named after it" "" "$(cd "$dist_c" && ls | grep '^aaaa' || true)"

# ---- Microsoft's linker ------------------------------------------------------------------

if command -v clang >/dev/null && command -v lld-link >/dev/null; then
    tvr_case "a program compiled in MSVC mode and linked by lld-link against $dist_arch/telvarid.lib calls the DLL"
    dist_msvc_dir=$dist_stage/msvc
    mkdir -p "$dist_msvc_dir"
    clang --target=$dist_msvc -c -O1 -I"$dist_root" -I"$TVR_SOURCE_DIR/tests/dist/msvc" \
        "$TVR_SOURCE_DIR/tests/dist/msvc_link.c" -o "$dist_msvc_dir/msvc_link.obj" >"$TVR_LOG_DIR/msvc.out" 2>&1 &&
        lld-link /nologo /entry:start /subsystem:console /nodefaultlib "$dist_msvc_dir/msvc_link.obj" \
            "$dist_root/$dist_arch/telvarid.lib" "/out:$dist_msvc_dir/msvc_link.exe" >>"$TVR_LOG_DIR/msvc.out" 2>&1 ||
        tvr_fail "the MSVC-mode program did not build (see $TVR_LOG_DIR/msvc.out)"
    cp "$dist_root/$dist_arch/telvarid.dll" "$dist_msvc_dir/"
    printf '%s\n' "$dist_data_modem" >"$dist_system/tapi-scenario.txt"
    tvr_emu 3 crlf
    tvr_wine "$dist_msvc_dir/msvc_link.exe"
    # 100 x the scan's 1 + 10 x port 3 + the telephony query's 2.
    tvr_expect_eq "exit code" 132 "$RC"
else
    echo "skip  a program linked by lld-link against telvarid.lib (clang or lld-link is not installed)"
fi

# ---- tvrprobe report ---------------------------------------------------------------------

dist_report=$dist_stage/report
mkdir -p "$dist_report"
cp "$dist_root/$dist_arch/tvrprobe.exe" "$dist_root/$dist_arch/telvarid.dll" "$dist_report/"

tvr_case "tvrprobe report: a modem on COM3, a silent device on COM1, a data modem and a voice line"
tvr_emu 1 silent
tvr_emu 3 crlf
printf '%s\n' "$dist_data_modem" "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
tvr_wine "$dist_report/tvrprobe.exe" report
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "telvarid report: tvrprobe $dist_version ($dist_bits), telvarid.dll $dist_version.0"
tvr_expect_line '  COM1  silent: opened, nothing came back to "AT"'
# Under Wine a COM name pinned to nothing opens, and GetCommState then fails with
# ERROR_INVALID_FUNCTION (measured); on Windows the open fails with ERROR_FILE_NOT_FOUND,
# which the report calls "missing" (checked at the unit level).
tvr_expect_line "  COM2  can't be probed: it opened, but GetCommState failed (error 1)"
tvr_expect_line '  COM3  answering: "\r\nOK\r\n"'
tvr_expect_line "  COM4  can't be probed: it opened, but GetCommState failed (error 1)"
tvr_expect_line "Telephony line devices (TAPI32.DLL, API version 1.3): 2"
tvr_expect_line '  line 0  "Double Modem 0"  data modem, port COM3, configured for 19200 bit/s'
tvr_expect_line '  line 1  "Double Modem 1"  not a data modem (bearer modes 0x1, media modes 0x0)'
tvr_expect_line "  TVRScanForModem     1: a modem answers on COM3"
tvr_expect_line "  TVRModemAvailable   2: a data modem set up for 9600 bit/s or more; last port name reported: COM3"
tvr_expect_line '  TVRCheckCommParams  1: COM3 takes 9600 bit/s and its device answered "AT" (or another program holds COM3)'
tvr_expect_line "  TVRInitTextDialog   icon set, two buttons in a row under the text, focus on button 1"
tvr_expect_line "Result: a modem was found, on COM3 by the scan and by the telephony service."
# Its own probe and then the scan each opened COM1 once.
tvr_emu_stop
tvr_expect_eq "COM1 opens" 2 "$(tvr_emu_count 1 open)"

tvr_case "tvrprobe report shows odd replies escaped, says how the scan takes them, and names a held port"
tvr_emu 1 bareok
tvr_emu 2 nul
tvr_emu 4 error
# Wine refuses to open a directory with ERROR_ACCESS_DENIED, the error a port that
# another program holds gives on Windows (Wine does not enforce exclusive opens).
mkdir -p "$TVR_LOG_DIR/held"
tvr_port 3 "$TVR_LOG_DIR/held"
printf '%s\n' "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
tvr_wine "$dist_report/tvrprobe.exe" report
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line '  COM1  answering: "OK" (a bare "OK", which the scan counts as silence)'
tvr_expect_line '  COM2  answering: "\x00\r\nOK\r\n" (it starts with a zero byte, which the scan counts as silence)'
tvr_expect_line "  COM3  held by another program (error 5)"
tvr_expect_line '  COM4  answering: "\r\nERROR\r\n"'
tvr_expect_line '  line 0  "Double Modem 0"  not a data modem (bearer modes 0x1, media modes 0x0)'
tvr_expect_line "  TVRScanForModem     1: a modem answers on COM4"
tvr_expect_line "  TVRModemAvailable   0: telephony can't be used here, or it lists no data modem"
tvr_expect_line "Result: a modem was found, on COM4 by the scan; the telephony service lists none."

tvr_case "tvrprobe report with nothing to find exits with 1 and says so"
printf '%s\n' "$dist_voice_line" >"$dist_system/tapi-scenario.txt"
tvr_wine "$dist_report/tvrprobe.exe" report
tvr_expect_eq "exit code" 1 "$RC"
tvr_expect_line "  TVRScanForModem     0: no modem answered on COM1 to COM4"
tvr_expect_line "  TVRCheckCommParams  not called: neither the scan nor telephony named a port"
tvr_expect_line "Result: no modem was found, neither on COM1 to COM4 nor through the telephony service."
