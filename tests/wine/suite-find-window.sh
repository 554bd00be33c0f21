# TVRFindModem under Wine with an owner window: the owner kept alive, disabled during the
# search and enabled and active after; Cancel by button, Esc and closing; a WM_QUIT; a
# second call refused; the window at 96 and 144 DPI in screenshots.
# In the guest's two-lane session it runs alone: no WM_NULL may go unanswered for 5 s,
# a fixed bound that one lane alone already comes within half of (2.5 s while Wine
# sets up the find's window under software emulation), and the other lane's programs
# would take the processor from the thread that answers.
# tvr-session: alone
source "$TVR_SOURCE_DIR/tests/wine/emu.sh"
source "$TVR_SOURCE_DIR/tests/wine/find-lib.sh"
# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

# Xvfb runs no window manager, and Wine 8's X11 driver waits for one for 2 s when a
# window it takes as managed (a popup with a caption: the find's window, the owner) is
# hidden or destroyed (measured: DestroyWindow took 2.0 s, after the search had ended
# and every port was closed). Unmanaged windows, as on a desktop whose manager answers
# at once; put back at the end of the suite.
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Managed /t REG_SZ /d N /f >/dev/null 2>&1 || true

tvr_case "an owner window answers WM_NULL throughout, is disabled during the search and enabled and active after"
tvr_emu 1 silent
tvr_emu 3 crlf
tvr_host find --owner --message "Looking for your modem…"
tvr_emu_stop
expect_answer 1 3
tvr_expect_eq "owner disabled during" "yes yes" "$(printf '%s\n' "$OUT" | sed -n 's/^owner_disabled_during=\([a-z]*\).*/\1/p' | tr '\n' ' ' | sed 's/ $//')"
# Windows ghosts a window that has not answered for 5 s: no WM_NULL went unanswered
# that long (under software emulation in the guest one answer took 2.5 s while Wine
# set up the find's window; on a quiet machine, under 0.2 s).
tvr_expect_eq "WM_NULL left unanswered for 5 s" "0 0" "$(printf '%s\n' "$OUT" | sed -n 's/.* wm_null_hung=\([0-9]*\).*/\1/p' | tr '\n' ' ' | sed 's/ $//')"
tvr_expect_eq "owner enabled after" "yes yes" "$(printf '%s\n' "$OUT" | sed -n 's/^owner_enabled_after=\([a-z]*\).*/\1/p' | tr '\n' ' ' | sed 's/ $//')"
tvr_expect_eq "owner active after" "yes yes" "$(printf '%s\n' "$OUT" | sed -n 's/.* owner_active_after=\([a-z]*\).*/\1/p' | tr '\n' ' ' | sed 's/ $//')"
tvr_expect_eq "window gone" "yes yes" "$(printf '%s\n' "$OUT" | sed -n 's/^window_gone=\([a-z]*\).*/\1/p' | tr '\n' ' ' | sed 's/ $//')"
expect_all_closed 1 3
echo "      longest WM_NULL answer: $(printf '%s\n' "$OUT" | sed -n 's/.* wm_null_max_ms=\([0-9.]*\).*/\1/p' | tr '\n' ' ')ms"

for how in button esc close; do
    tvr_case "Cancel by $how at 1 s: -1 and port 0 within 500 ms, every emulated port closed, owner enabled"
    for n in 1 2 3 4; do tvr_emu "$n" silent; done
    tvr_host find --owner --modes at-once --cancel-at 1000 --cancel-by "$how"
    tvr_emu_stop
    tvr_expect_eq "result" -1 "$(mode_value at-once result)"
    tvr_expect_eq "port" 0 "$(mode_value at-once port)"
    expect_all_closed 1 2 3 4
    tvr_expect_value owner_enabled_after yes
    tvr_expect_value window_gone yes
    expect_cancel_in_time
    echo "      Cancel by $how to return: $(tvr_value cancel_to_return_ms) ms (slowest WM_NULL answer $(tvr_value wm_null_max_ms) ms)"
done

tvr_case "in turn, Cancel at 1 s opens no further port"
for n in 1 2 3 4; do tvr_emu "$n" silent; done
tvr_host find --owner --modes in-turn --cancel-at 1000
tvr_emu_stop
tvr_expect_eq "result" -1 "$(mode_value in-turn result)"
expect_all_closed 1
expect_untouched 2
expect_cancel_in_time

tvr_case "a WM_QUIT during the search ends it with -1 and is posted again for the caller's loop"
tvr_emu 1 silent
tvr_host find --owner --modes at-once --quit-at 1000
tvr_emu_stop
tvr_expect_eq "result" -1 "$(mode_value at-once result)"
tvr_expect_value quit_reposted 7
tvr_expect_value owner_enabled_after yes
expect_all_closed 1

tvr_case "a second call made while one runs is refused at once with -1 and port 0; the first finds the modem"
tvr_emu 1 silent
tvr_emu 2 crlf
tvr_host find --owner --modes at-once --second-at 500
tvr_emu_stop
tvr_expect_eq "first result" 1 "$(mode_value at-once result)"
tvr_expect_eq "first port" 2 "$(mode_value at-once port)"
tvr_expect_value second_result -1
tvr_expect_value second_port 0
# Refused before any port is touched: each port was opened by the first call alone.
tvr_expect_eq "COM1 opens" 1 "$(tvr_emu_count 1 open)"
tvr_expect_eq "COM2 opens" 1 "$(tvr_emu_count 2 open)"
# At once: no port, no wait; a loaded machine may only delay the calling thread itself.
tvr_expect_num "$(tvr_value second_ms)" "<" \
    "$(awk -v w="$(tvr_value wm_null_max_ms)" 'BEGIN { printf "%.0f", 100 + 2 * w }')" "the refusal's time (ms)"

# The window at the system's DPI: LogPixels for the prefix, then a fresh wineserver, as a
# user's change of display scaling takes effect at the next sign-in.
set_dpi() {
    wine reg add 'HKCU\Control Panel\Desktop' /v LogPixels /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    wine reg add 'HKLM\System\CurrentControlSet\Hardware Profiles\Current\Software\Fonts' /v LogPixels \
        /t REG_DWORD /d "$1" /f >/dev/null 2>&1
    tvr_wineserver_restart
}

for dpi in 96 144; do
    tvr_case "the window at $dpi DPI: shown over its owner, captured to find-${dpi}dpi.png"
    if ! command -v import >/dev/null || [[ -z ${DISPLAY:-} ]]; then
        echo "      no ImageMagick or no display: nothing to capture"
        continue
    fi
    [[ $dpi == 96 ]] || set_dpi "$dpi"
    for n in 1 2 3 4; do tvr_emu "$n" silent; done
    shot=$TVR_LOG_DIR/screen-${dpi}dpi.png
    probe=$TVR_LOG_DIR/probe-${dpi}dpi.png
    rm -f "$shot"
    # 96 DPI with the English default text, 144 DPI with a caller's UTF-16 message. The
    # window stays up until the Cancel at 8 s; the screen is taken a second after it
    # first shows anything (Wine may take a few seconds to start on a loaded machine).
    if [[ $dpi == 96 ]]; then message=(); else message=(--message "Suche nach Ihrem Modem an COM1 bis COM4 … Bitte warten Sie, es dauert höchstens zehn Sekunden."); fi
    (tvr_host find --owner --modes at-once --cancel-at 8000 "${message[@]}") &
    runner=$!
    for i in $(seq 1 60); do
        sleep 0.25
        import -window root "$probe" 2>/dev/null || continue
        if [[ $(convert "$probe" -format '%[fx:mean>0.05]' info: 2>/dev/null) == 1 ]]; then
            sleep 1
            import -window root "$shot" 2>/dev/null || true
            break
        fi
    done
    rm -f "$probe"
    wait "$runner" || true
    tvr_emu_stop
    [[ $dpi == 96 ]] || set_dpi 96
    OUT=$(cat "$TVR_LOG_DIR/last.out")
    rect=$(tvr_value find_window)
    IFS=, read -r x y cx cy <<<"$rect"
    tvr_expect_eq "result" -1 "$(mode_value at-once result)"
    tvr_expect_num "${cx:-0}" ">" 100 "window width"
    if [[ -s $shot && ${cx:-0} -gt 0 ]]; then
        convert "$shot" -crop "${cx}x${cy}+${x}+${y}" +repage -strip "$TVR_LOG_DIR/find-${dpi}dpi.png"
        echo "      $dpi DPI: window ${cx}x${cy} at $x,$y: $TVR_LOG_DIR/find-${dpi}dpi.png"
    else
        tvr_fail "no screen captured"
    fi
done

wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Managed /f >/dev/null 2>&1 || true
