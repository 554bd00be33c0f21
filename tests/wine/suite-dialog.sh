# TVRInitTextDialog on real dialogs under Wine (on the rig's Xvfb display). tvrhost
# builds a message dialog from an in-memory template, lays it out through the DLL twice,
# and compares every window with the layout computed from the rectangles and the text
# extent it read before each call.

LONG_TEXT="The setup program could not find a modem on this computer. Connect the modem, switch it on and make sure no other program is using its port, then choose Retry to search again."

tvr_case "the pure layout, built by the Windows compiler, gives the reference dialog to the pixel"
tvr_host dialog-example
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "example mode=1 text=47,18,250,44 ok=113,72,75,23 extra=10,72,90,16 dialog=147,134,305,131"
tvr_expect_line "example mode=2 text=47,18,250,44 ok=68,72,75,23 cancel=158,72,75,23 extra=10,72,90,16 dialog=147,134,305,131"

# Runs one dialog and checks both calls: layout, text, icon, focus, and the wrap of the
# second call inside the first call's width.
#   dialog_case ICONSTATE TEXT ICON MODE [FOCUSID]   (ICONSTATE: replaced or unchanged)
dialog_case() {
    local icon_state=$1
    shift
    tvr_host dialog "$@"
    tvr_expect_eq "exit code" 0 "$RC"
    local n
    for n in 1 2; do
        tvr_expect_line "layout$n=match"
        tvr_expect_line "text$n=set"
        tvr_expect_line "icon$n=ok $icon_state"
    done
    tvr_expect_value wrap2 within
    if ((TVR_CASE_FAILED)); then printf '%s\n' "$OUT" | sed 's/^/        | /'; fi
}

tvr_case "a short text, information icon, one button"
dialog_case replaced "Modem found." 0 1
# The system's metrics belong to the environment, not to the library: they go to the
# log only. The layout checks above already use whatever values the system reports.
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -m1 '^metrics ')"
tvr_expect_line "focus1=ok result=previous now=control"

tvr_case "a long text wraps; exclamation icon, two buttons (mode 2)"
dialog_case replaced "$LONG_TEXT" 1 2
tvr_expect_line "focus1=ok result=previous now=control"

tvr_case "hand icon, mode 0 is two buttons, focus on button 2"
dialog_case replaced "$LONG_TEXT" 2 0 2
tvr_expect_line "focus2=ok result=previous now=control"

tvr_case "question icon, mode -1 is two buttons"
dialog_case replaced "Search the ports again?" 3 -1

tvr_case "icon type 4 leaves the icon control alone"
dialog_case unchanged "$LONG_TEXT" 4 1

tvr_case "icon type -1 leaves the icon control alone"
dialog_case unchanged "Nothing to show." -1 2

tvr_case "tabs are expanded and line breaks kept"
dialog_case replaced 'Port:\tCOM3\nSpeed:\t9600 bit/s\n\nThe modem answered.' 0 1

tvr_case "an empty text gives a text control of width 0 and the layout that follows from it"
dialog_case replaced "" 0 1
tvr_expect_line "wrap2=within first_width=0 second_width=0"

tvr_case "a word longer than the text control widens it; the second call keeps that width"
dialog_case replaced "Pneumonoultramicroscopicsilicovolcanoconiosis-Supercalifragilisticexpialidocious" 0 2

tvr_case "a missing focus control: the focus goes nowhere and the previous focus is returned"
dialog_case replaced "Modem found." 0 1 999
tvr_expect_line "focus1=ok result=previous now=none"

tvr_case "tvrprobe dialog shows a laid-out dialog, prints its geometry and closes itself"
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" dialog 'Modem found on COM3.\nUse it?' 3 2 --seconds 1
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "TVRInitTextDialog laid out the dialog: icon 3 (question), two buttons."
tvr_expect grep -q -E '^  control   202  x=10 y=[0-9]+ ' <<<"$OUT"
# The dialog manager put the focus on the first tab stop, button 1, when the dialog was
# created; the call hands it to button 1 again.
tvr_expect_line "Focus before the call: control 1 (button 1); focus now: control 1 (button 1)."
tvr_expect_line "Closed by time-out."

# Screenshots of a one-button and a two-button dialog, cropped to the dialog.
dialog_shot() {
    local name=$1 out=$TVR_LOG_DIR/$1.out png=$TVR_DLL_DIR/../$1.png
    shift
    rm -f "$png"
    # Without a window manager Wine leaves the caption and frame unpainted; this run
    # asks it to draw them itself.
    wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true
    (cd "$TVR_DLL_DIR" && timeout 120 wine tvrhost.exe dialog "$@" --hold 4000 >"$out" 2>/dev/null) &
    local pid=$! i
    for i in $(seq 1 300); do
        grep -q 'shown=1' "$out" 2>/dev/null && break
        sleep 0.1
    done
    local screen
    screen=$(tr -d '\r' <"$out" | grep -o 'screen=[-0-9,]*' | head -1 | cut -d= -f2)
    if [[ -n $screen ]]; then
        local l t r b
        IFS=, read -r l t r b <<<"$screen"
        import -window root "$TVR_LOG_DIR/$name-full.png" 2>/dev/null || true
        convert "$TVR_LOG_DIR/$name-full.png" -crop "$((r - l + 40))x$((b - t + 40))+$((l - 20))+$((t - 20))" +repage \
            "$png" 2>/dev/null || true
    fi
    wait "$pid" || true
    wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
    OUT=$(tr -d '\r' <"$out")
    tvr_expect_line "result=pass"
    tvr_expect test -s "$png"
}

tvr_case "screenshot of a one-button dialog"
dialog_shot dialog-one "$LONG_TEXT" 1 1

tvr_case "screenshot of a two-button dialog"
dialog_shot dialog-two "$LONG_TEXT" 3 2
