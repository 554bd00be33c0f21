# The TvrModem plug-in in real NSIS installers: the examples of examples/nsis, built by
# makensis with the plug-in of the build under test (!addplugindir on its Plugins
# folder), run silently under Wine against the emulated modems and the telephony
# double. The PE32 build brings the x86-ansi and x86-unicode plug-ins, the PE32+ build
# the amd64-unicode one; each route runs its own. Every expectation is a literal: what
# a script pops, as the example writes it to tvrmodem-answers.txt, and what the stack
# probes appended to it (tests/wine/installer/tvrmodem-contract.nsh) saw.
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
    tvr_expect_eq "answers" "scan=1 port=COM3 check=1 modem=2 name=COM3" "$(nsis_text "$nsis_answers" | head -1)"
    tvr_expect_eq "contract" "refused=0
nonnumeric=error flag=set below=mark
missing=error flag=set stack=empty
scan=1 port=COM3 below=mark
modem=2 name=COM3 below=mark" "$(nsis_text "$nsis_contract")"
    # The example's scan and check, and the probes' scan: the non-numeric speed and
    # the missing arguments sent nothing.
    tvr_expect_eq "COM3 AT lines" 3 "$(tvr_emu_lines 3 | grep -c -x 'AT\\r' || true)"

    tvr_case "$flavour: no port at all, a data modem slower than 9600 bit/s on COM2"
    echo "device 0 0 1 16 0 0 COM2 0 2400" >"$nsis_system/tapi-scenario.txt"
    rm -f "$nsis_answers" "$nsis_contract"
    tvr_wine "$installer" /S
    tvr_expect_eq "exit code" 0 "$RC"
    tvr_expect_eq "answers" "scan=0 port= check=- modem=1 name=COM2" "$(nsis_text "$nsis_answers" | head -1)"
    tvr_expect_eq "words" "No modem answered on COM1 to COM4." "$(nsis_text "$nsis_answers" | sed -n 2p)"

    tvr_case "$flavour: no port, no data modem"
    echo "device 0 0 1 0 0 0 - 0 0" >"$nsis_system/tapi-scenario.txt"
    rm -f "$nsis_answers" "$nsis_contract"
    tvr_wine "$installer" /S
    tvr_expect_eq "exit code" 0 "$RC"
    tvr_expect_eq "answers" "scan=0 port= check=- modem=0 name=" "$(nsis_text "$nsis_answers" | head -1)"
    tvr_expect_eq "contract" "refused=0
nonnumeric=error flag=set below=mark
missing=error flag=set stack=empty
scan=0 port= below=mark
modem=0 name= below=mark" "$(nsis_text "$nsis_contract")"
done
tvr_system_tapi_restore
