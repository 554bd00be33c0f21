# Windows Installer packages under Wine's msiexec: examples/wix/telvarid-modem.wxs built
# with wixl around the DLL of each build (an x86 package around the PE32 DLL, an x64 one
# around the PE32+ DLL), the one of the build under test installed silently with a
# verbose log and removed again. Its three immediate custom actions ask the DLL's
# questions against an emulated modem on COM3 and the telephony double, and the package
# writes their properties into the registry, where each case reads them back.
#
# Few Wine processes per case (it also runs in the guest under software emulation): one
# msiexec to install, one to remove; the registry is read from the prefix's files once
# the Wine server has written them, not by a Wine program.
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"

msi_stage=$TVR_RIG_DIR/stage-msi
rm -rf "$msi_stage"
mkdir -p "$msi_stage/x86" "$msi_stage/x64"
cp "$TVR_DLL32_DIR/telvarid.dll" "$msi_stage/x86/"
cp "$TVR_DLL64_DIR/telvarid.dll" "$msi_stage/x64/"
package=modem-$TVR_ARCH.msi
msi_key='Software\\telvarid example\\Modem'

# Builds the package of one kind around its DLL (wixl finds the DLL relative to the
# folder it runs in).
msi_build() {
    (cd "$msi_stage" && wixl -a "$1" -D Arch="$1" -D TelvaridDll="$1/telvarid.dll" -o "modem-$1.msi" \
        "$TVR_SOURCE_DIR/examples/wix/telvarid-modem.wxs") >"$TVR_LOG_DIR/wixl-$1.out" 2>&1 ||
        tvr_fail "wixl -a $1 failed (see $TVR_LOG_DIR/wixl-$1.out)"
}

# One table of a package as msiinfo exports it, without its two header lines.
msi_table() { msiinfo export "$1" "$2" | tail -n +4 | tr -d '\r' | LC_ALL=C sort; }

# Runs msiexec in the stage folder with a verbose log ($msi_stage/NAME.log, as text).
msi_exec() {
    local name=$1
    shift
    rm -f "$msi_stage/$name.log"
    (cd "$msi_stage" && tvr_wine msiexec "$@" /qn /l*v "$name.log"
        printf '%s\n' "$RC" >"$msi_stage/$name.rc")
    RC=$(cat "$msi_stage/$name.rc")
    # The log may be UTF-16 or 8-bit; read it as 8-bit text either way.
    if [[ -f $msi_stage/$name.log ]]; then
        iconv -f "$(msi_log_charset "$msi_stage/$name.log")" -t UTF-8 "$msi_stage/$name.log" | tr -d '\r' \
            >"$TVR_LOG_DIR/$name.log"
    else
        : >"$TVR_LOG_DIR/$name.log"
    fi
}
msi_log_charset() { [[ $(head -c2 "$1" | od -An -tx1 | tr -d ' ') == fffe ]] && echo UTF-16LE || echo UTF-8; }

# The package's lines in a log, each once, in order.
msi_lines() { grep -o 'telvarid: .*' "$TVR_LOG_DIR/$1.log" | awk '!seen[$0]++'; }

# How many of the package's actions ended with "Return value 1" (ERROR_SUCCESS).
msi_returns() { grep -c -E '^Action ended [0-9:]+: Tvr(FindModem|CheckPort|ModemAvailable)\. Return value 1\.$' "$TVR_LOG_DIR/$1.log" || true; }

# The values under the package's key, "Name=value" sorted, from the prefix's registry file
# (the Wine server writes it when it exits, so the suite's server is stopped and a new
# one started); "(no key)" when the key is absent.
msi_values() {
    tvr_wineserver_restart
    MSI_KEY="[$msi_key]" awk '
        index($0, ENVIRON["MSI_KEY"]) == 1 { inkey = 1; found = 1; next }
        /^\[/ { inkey = 0 }
        inkey && /^"/ { line = $0; sub(/^"/, "", line); sub(/"="/, "=", line); sub(/"$/, "", line); print line }
        END { if (!found) print "(no key)" }' "$WINEPREFIX/system.reg" | LC_ALL=C sort
}

tvr_case "wixl builds an x86 package around the PE32 DLL and an x64 one around the PE32+ DLL, each with three immediate DLL actions"
msi_build x86
msi_build x64
for arch in x86 x64; do
    tvr_expect_eq "$arch custom actions" \
        "$(printf '%s\t1\tTelvaridDll\t%s\t\n' TvrCheckPort TVRMsiCheckPort TvrFindModem TVRMsiFindModem \
            TvrModemAvailable TVRMsiModemAvailable | LC_ALL=C sort)" "$(msi_table "$msi_stage/modem-$arch.msi" CustomAction)"
done
tvr_expect_eq "x64 component is 64-bit" "260" "$(msi_table "$msi_stage/modem-x64.msi" Component | cut -f4)"
tvr_expect_eq "x86 component is 32-bit" "4" "$(msi_table "$msi_stage/modem-x86.msi" Component | cut -f4)"
tvr_expect_eq "actions after CostFinalize" \
    "$(printf 'CostFinalize\t\t1000\nTvrFindModem\tNOT Installed\t1001\nTvrCheckPort\tNOT Installed\t1002\nTvrModemAvailable\tNOT Installed\t1003')" \
    "$(msiinfo export "$msi_stage/modem-x64.msi" InstallExecuteSequence | tr -d '\r' | grep -E '^(CostFinalize|Tvr)')"

tvr_system_tapi "$TVR_DLL_DIR/tapi/TAPI32.dll"
msi_system=$TVR_SYSTEM_DIR
TVR_WINE_ENV=(WINEDLLOVERRIDES="tapi32=n;mscoree,mshtml=")

tvr_case "the $TVR_ARCH package finds the modem on COM3, checks it at 9600 bit/s, hears of a fast data modem, and its removal takes the values away"
tvr_emu 3 crlf
echo "device 0 0 1 16 0 0 COM3 0 19200" >"$msi_system/tapi-scenario.txt"
msi_exec install-found /i "$package"
tvr_emu_stop
tvr_expect_eq "msiexec /i exit code" 0 "$RC"
tvr_expect_eq "registry" "$(printf '%s\n' CheckResult=1 FindPort=COM3 FindResult=1 TelephonyPort=COM3 TelephonyResult=2)" \
    "$(msi_values)"
tvr_expect_eq "log lines" "telvarid: COM1-COM4 searched: a modem answers on COM3; TVR_FIND_RESULT=1 TVR_FIND_PORT=COM3
telvarid: COM3 checked at 9600 bit/s with \"AT\": passed; TVR_CHECK_RESULT=1
telvarid: telephony asked: a data modem at 9600 bit/s or more; TVR_TELEPHONY_RESULT=2 TVR_TELEPHONY_PORT=COM3" \
    "$(msi_lines install-found)"
tvr_expect_eq "actions that ended with success" 3 "$(msi_returns install-found)"
tvr_expect_eq "the check's AT at 9600 bit/s" "speed=9600 data=8 parity=none stop=1" "$(tvr_emu_line_settings 3 3)"
msi_exec remove-found /x "$package"
tvr_expect_eq "msiexec /x exit code" 0 "$RC"
tvr_expect_eq "registry after removal" "(no key)" "$(msi_values)"
tvr_expect_eq "actions run on removal" "" "$(msi_lines remove-found)"

tvr_case "a speed that is not a number is answered 0 without opening the port, and a slow data modem 1"
echo "device 0 0 1 16 0 0 COM1 0 2400" >"$msi_system/tapi-scenario.txt"
tvr_emu 3 crlf
msi_exec install-refused /i "$package" TVR_CHECK_SPEED=fast
tvr_emu_stop
tvr_expect_eq "msiexec /i exit code" 0 "$RC"
tvr_expect_eq "actions that ended with success" 3 "$(msi_returns install-refused)"
tvr_expect_eq "registry" "$(printf '%s\n' CheckResult=0 FindPort=COM3 FindResult=1 TelephonyPort=COM1 TelephonyResult=1)" \
    "$(msi_values)"
tvr_expect_eq "log lines" "telvarid: COM1-COM4 searched: a modem answers on COM3; TVR_FIND_RESULT=1 TVR_FIND_PORT=COM3
telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s: \"fast\"; TVR_CHECK_RESULT=0
telvarid: telephony asked: data modems, none at 9600 bit/s or more; TVR_TELEPHONY_RESULT=1 TVR_TELEPHONY_PORT=COM1" \
    "$(msi_lines install-refused)"
tvr_expect_eq "COM3 opens (the find's only)" 1 "$(tvr_emu_count 3 open)"
msi_exec remove-refused /x "$package"
tvr_expect_eq "msiexec /x exit code" 0 "$RC"
tvr_expect_eq "registry after removal" "(no key)" "$(msi_values)"

tvr_case "no modem on COM1 to COM4, no port to check, no data modem: 0, 0 and 0, and the ports unset"
echo "device 0 0 1 0 0 0 - 0 0" >"$msi_system/tapi-scenario.txt"
msi_exec install-none /i "$package" TVR_CHECK_PORT=
tvr_expect_eq "msiexec /i exit code" 0 "$RC"
tvr_expect_eq "actions that ended with success" 3 "$(msi_returns install-none)"
tvr_expect_eq "registry" "$(printf '%s\n' CheckResult=0 FindPort= FindResult=0 TelephonyPort= TelephonyResult=0)" \
    "$(msi_values)"
tvr_expect_eq "log lines" "telvarid: COM1-COM4 searched: no modem answers; TVR_FIND_RESULT=0 TVR_FIND_PORT unset
telvarid: not checked: TVR_CHECK_PORT is not set; TVR_CHECK_RESULT=0
telvarid: telephony asked: no data modem, or no telephony; TVR_TELEPHONY_RESULT=0 TVR_TELEPHONY_PORT unset" \
    "$(msi_lines install-none)"
msi_exec remove-none /x "$package"
tvr_expect_eq "msiexec /x exit code" 0 "$RC"
tvr_expect_eq "registry after removal" "(no key)" "$(msi_values)"
tvr_system_tapi_restore
