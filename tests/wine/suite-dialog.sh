# TVRInitTextDialog on real dialogs under Wine (on the rig's Xvfb display). tvrhost
# builds a message dialog from an in-memory template, lays it out through the DLL twice,
# and prints the raw rectangles before and after each call and the text extents it
# measured. The expected layout is computed here, by the awk judge below, from those
# numbers alone: the judge shares no code with the library.

LONG_TEXT="The setup program could not find a modem on this computer. Connect the modem, switch it on and make sure no other program is using its port, then choose Retry to search again."

# The judge. For each call it computes the layout by the fixed rules: the text control's
# corner from its screen position less the frame (and, down, the menu-bar allowance),
# the measured text plus 5 below, the button row 15 below the text height and centred on the text's span, the
# pair keeping button 2's distance with button 1's size, control 202 at x 10, the
# dialog's width with one frame and its height with twice the button height, centred on
# its old rectangle (divisions truncating toward zero). The measured text is the DC's
# font's extent; where the control has a font of its own, the text in that font within
# the DC font's measured rectangle ("fontat") must fit a control of that width and that
# height + 5, and each dimension where it does not takes the control font's extent. When
# those windows lie inside
# the dialog's client area (the dialog less a frame on each side and the menu-bar
# allowance on top) without two of them overlapping, and neither button nor control 202
# lies over the icon (control 200, which stays where it was, reckoned into client
# coordinates like the text control's corner), every window must be exactly there:
# "layoutN=rule". Otherwise the row must have been mended: "layoutN=mended" when the
# text control has the rule's size with its corner brought inside, the row lies 10
# below it (or, where a control of the row would lie there over the icon, 10 below the
# icon) with every control's size kept (button 2 taking button 1's), control 202 stays
# at x 10, and the dialog, no smaller than the rule's, is centred on its old rectangle;
# where the rule's text control and every control of the row lie inside the client
# width and no two controls of the row overlap ("acrossN=kept"), every control keeps
# the rule's x and the dialog the rule's width and left edge.
# On the real windows, in either case, it also reports whether every moved control lies
# inside the dialog's real client area ("insideN"), whether any two of them overlap
# ("overlapN"), whether the icon and (in one-button mode) the hidden button 2 stayed put
# ("stillN"), whether the icon is clear of every moved control ("iconclearN"), and
# whether the text control is large enough for its text in its own font ("wholeN").
TVR_JUDGE=$TVR_LOG_DIR/layout.awk
cat >"$TVR_JUDGE" <<'AWK'
function max(a, b) { return a > b ? a : b }
function half(v) { return int(v / 2) }
function num(n, when, name, i,   a) { split(D[n, when, name], a, ","); return a[i] + 0 }
function setw(k, x, y, w, h) { WX[k] = x; WY[k] = y; WW[k] = w; WH[k] = h }
function setg(k, x, y, w, h) { GX[k] = x; GY[k] = y; GW[k] = w; GH[k] = h }
function setu(k, x, y, w, h) { UX[k] = x; UY[k] = y; UW[k] = w; UH[k] = h }
function gtext(k) { return GX[k] "," GY[k] "," GW[k] "," GH[k] }
function wtext(k) { return WX[k] "," WY[k] "," WW[k] "," WH[k] }
function inside(X, Y, Wd, Ht, k, cw, ch) {
    return X[k] >= 0 && Y[k] >= 0 && X[k] + max(Wd[k], 0) <= cw && Y[k] + max(Ht[k], 0) <= ch
}
function overlap(X, Y, Wd, Ht, a, b) {
    if (Wd[a] <= 0 || Ht[a] <= 0 || Wd[b] <= 0 || Ht[b] <= 0) return 0
    return X[a] < X[b] + Wd[b] && X[b] < X[a] + Wd[a] && Y[a] < Y[b] + Ht[b] && Y[b] < Y[a] + Ht[a]
}
function child(n, when, k) {
    return num(n, when, k, 1) - num(n, when, "origin", 1) "," num(n, when, k, 2) - num(n, when, "origin", 2)
}
function judge(n,   cx, cy, menu, w, h, fw, fh, dl, dt, dr, db, tx, ty, W, H, row, span, okw, okh, x, nk, i, j,
               fits, across, extra, verdict, k, rowm, bad, list, under) {
    cx = M["cxdlgframe"] + 0; cy = M["cydlgframe"] + 0; menu = M["cymenu"] + 0
    w = num(n, "measure", "system", 1); h = num(n, "measure", "system", 2)
    F[n] = "none"
    if (D[n, "measure", "font"] != "none") {
        # The control the DC's font makes is w x (h + 5); the control's font within w.
        fw = num(n, "measure", "fontat", 1); fh = num(n, "measure", "fontat", 2)
        F[n] = (fw > w || fh > h + 5) ? "enlarged" : "kept"
        if (fw > w) w = fw
        if (fh > h + 5) h = fh
    }
    dl = num(n, "before", "dlg", 1); dt = num(n, "before", "dlg", 2)
    dr = num(n, "before", "dlg", 3); db = num(n, "before", "dlg", 4)

    # The fixed rules.
    tx = num(n, "before", "text", 1) - cx - dl
    ty = num(n, "before", "text", 2) - menu - cy - dt
    setw("text", tx, ty, w, h + 5)
    W = tx + cx + w + 5
    row = ty + h + 15
    span = tx + w + 5
    okw = num(n, "before", "ok", 3) - num(n, "before", "ok", 1)
    okh = num(n, "before", "ok", 4) - num(n, "before", "ok", 2)
    nk = 0; K[++nk] = "text"; K[++nk] = "ok"
    if (mode == 1) {
        setw("ok", half(span - okw), row, okw, okh)
    } else {
        x = half(span - (num(n, "before", "cancel", 3) - num(n, "before", "ok", 1)))
        setw("ok", x, row, okw, okh)
        setw("cancel", x + num(n, "before", "cancel", 1) - num(n, "before", "ok", 1), row, okw, okh)
        K[++nk] = "cancel"
    }
    # A dialog without control 202 ("extra=none") has a row of buttons only.
    extra = D[n, "before", "extra"] != "none"
    if (extra) {
        K[++nk] = "extra"
        setw("extra", 10, row, num(n, "before", "extra", 3) - num(n, "before", "extra", 1),
             num(n, "before", "extra", 4) - num(n, "before", "extra", 2))
    }
    H = row + 2 * okh + cy + 10
    setw("dlg", dl + half(dr - dl - W), dt + half(db - dt - H), W, H)
    # The icon does not move: where it stood, reckoned as the text control's corner.
    setw("icon", num(n, "before", "icon", 1) - cx - dl, num(n, "before", "icon", 2) - menu - cy - dt,
         num(n, "before", "icon", 3) - num(n, "before", "icon", 1), num(n, "before", "icon", 4) - num(n, "before", "icon", 2))
    fits = 1
    across = 1
    for (i = 1; i <= nk; ++i) {
        if (!inside(WX, WY, WW, WH, K[i], W - 2 * cx, H - menu - 2 * cy)) fits = 0
        for (j = i + 1; j <= nk; ++j) if (overlap(WX, WY, WW, WH, K[i], K[j])) fits = 0
        if (i > 1 && overlap(WX, WY, WW, WH, K[i], "icon")) fits = 0
        # Across only: from client x 0 to the client width; the row's controls share a top.
        if (WX[K[i]] < 0 || WX[K[i]] + max(WW[K[i]], 0) > W - 2 * cx) across = 0
        for (j = i + 1; j <= nk; ++j) if (i > 1 && overlap(WX, WY, WW, WH, K[i], K[j])) across = 0
    }

    # What came out: children in the dialog's client coordinates, the dialog on the screen.
    for (i = 1; i <= nk; ++i) {
        split(child(n, "after", K[i]), a, ",")
        setg(K[i], a[1], a[2], num(n, "after", K[i], 3) - num(n, "after", K[i], 1),
             num(n, "after", K[i], 4) - num(n, "after", K[i], 2))
    }
    setg("dlg", num(n, "after", "dlg", 1), num(n, "after", "dlg", 2),
         num(n, "after", "dlg", 3) - num(n, "after", "dlg", 1), num(n, "after", "dlg", 4) - num(n, "after", "dlg", 2))
    K[nk + 1] = "dlg"

    # The real windows, whatever the branch: inside the dialog's real client area, and
    # no two sharing a pixel.
    bad = ""
    for (i = 1; i <= nk; ++i)
        if (!inside(GX, GY, GW, GH, K[i], num(n, "after", "client", 1), num(n, "after", "client", 2))) bad = bad "," K[i]
    list = ""
    for (i = 1; i <= nk; ++i)
        for (j = i + 1; j <= nk; ++j)
            if (overlap(GX, GY, GW, GH, K[i], K[j])) list = list "," K[i] "/" K[j]

    if (fits) {
        verdict = "rule"
        for (i = 1; i <= nk + 1; ++i) {
            k = K[i]
            printf "call%d %s got=%s want=%s\n", n, k, gtext(k), wtext(k)
            if (gtext(k) != wtext(k)) verdict = "mismatch"
        }
    } else {
        verdict = "mended"
        setw("text", max(tx, 0), max(ty, 0), w, h + 5)
        rowm = max(ty, 0) + max(h + 5, 0) + 10
        # Where a control of the row, at the x it got, would lie there over the icon,
        # the row belongs 10 below the icon.
        setu("icon", WX["icon"], WY["icon"], WW["icon"], WH["icon"])
        under = 0
        for (i = 2; i <= nk; ++i) {
            setu(K[i], GX[K[i]], rowm, GW[K[i]], GH[K[i]])
            if (overlap(UX, UY, UW, UH, K[i], "icon")) under = 1
        }
        if (under) rowm = WY["icon"] + WH["icon"] + 10
        printf "call%d text got=%s want=%s (rule's row does not fit)\n", n, gtext("text"), wtext("text")
        if (gtext("text") != wtext("text")) verdict = "mismatch"
        for (i = 2; i <= nk; ++i) {
            k = K[i]
            printf "call%d %s got=%s want=*,%d,%d,%d\n", n, k, gtext(k), rowm, WW[k], WH[k]
            if (GY[k] != rowm || GW[k] != WW[k] || GH[k] != WH[k]) verdict = "mismatch"
        }
        if (extra && GX["extra"] != 10) verdict = "mismatch"
        # A row that fits across keeps every x, and the dialog its width and left edge.
        if (across) {
            for (i = 2; i <= nk; ++i) {
                printf "call%d %s x got=%d want=%d (the row fits across)\n", n, K[i], GX[K[i]], WX[K[i]]
                if (GX[K[i]] != WX[K[i]]) verdict = "mismatch"
            }
            printf "call%d dlg x,width got=%d,%d want=%d,%d (the row fits across)\n", n, GX["dlg"], GW["dlg"],
                   WX["dlg"], WW["dlg"]
            if (GX["dlg"] != WX["dlg"] || GW["dlg"] != WW["dlg"]) verdict = "mismatch"
        }
        printf "across%d=%s\n", n, across ? "kept" : "mended"
        printf "call%d dlg got=%s want=%d,%d,>=%d,>=%d\n", n, gtext("dlg"), dl + half(dr - dl - GW["dlg"]),
               dt + half(db - dt - GH["dlg"]), max(tx, 0) + cx + w + 5, rowm + 2 * okh + cy + 10
        if (GX["dlg"] != dl + half(dr - dl - GW["dlg"]) || GY["dlg"] != dt + half(db - dt - GH["dlg"])) verdict = "mismatch"
        if (GW["dlg"] < max(tx, 0) + cx + w + 5 || GH["dlg"] < rowm + 2 * okh + cy + 10) verdict = "mismatch"
    }
    # A mended row must also fit on the real windows.
    if (verdict == "mended" && (bad != "" || list != "")) verdict = "mismatch"
    printf "layout%d=%s\n", n, verdict
    printf "font%d=%s\n", n, F[n]
    printf "inside%d=%s\n", n, bad == "" ? "yes" : "no:" substr(bad, 2)
    printf "overlap%d=%s\n", n, list == "" ? "none" : substr(list, 2)

    bad = ""
    if (child(n, "before", "icon") != child(n, "after", "icon")) bad = bad ",icon"
    if (mode == 1 && child(n, "before", "cancel") != child(n, "after", "cancel")) bad = bad ",cancel"
    printf "still%d=%s\n", n, bad == "" ? "yes" : "no:" substr(bad, 2)
    split(child(n, "after", "icon"), a, ",")
    setg("icon", a[1], a[2], num(n, "after", "icon", 3) - num(n, "after", "icon", 1),
         num(n, "after", "icon", 4) - num(n, "after", "icon", 2))
    list = ""
    for (i = 1; i <= nk; ++i) if (overlap(GX, GY, GW, GH, "icon", K[i])) list = list "," K[i]
    printf "iconclear%d=%s\n", n, list == "" ? "yes" : "no:" substr(list, 2)
    printf "whole%d=%s\n", n, (num(n, "shows", "need", 1) <= num(n, "shows", "have", 1) &&
                               num(n, "shows", "need", 2) <= num(n, "shows", "have", 2)) ? "yes" : "no"
}
/^metrics / { for (i = 2; i <= NF; ++i) { split($i, kv, "="); M[kv[1]] = kv[2] } }
/^args / { for (i = 2; i <= NF; ++i) { split($i, kv, "="); if (kv[1] == "mode") mode = kv[2] + 0 } }
/^call[0-9]+ (before|after|measure|shows) / {
    n = substr($1, 5) + 0
    for (i = 3; i <= NF; ++i) { split($i, kv, "="); D[n, $2, kv[1]] = kv[2] }
    if (n > calls) calls = n
}
END { for (n = 1; n <= calls; ++n) if ((n, "after", "dlg") in D) judge(n) }
AWK

# Runs the judge on $OUT and appends its lines to $OUT.
dialog_judge() {
    OUT+=$'\n'$(printf '%s\n' "$OUT" | awk -f "$TVR_JUDGE")
    printf '%s\n' "$OUT" >"$TVR_LOG_DIR/last.out"
}

# The reference dialog's layout as tvrhost would print it: dialog (100,100)-(500,300)
# with its client area 3 in and 22 down, text control at (150,140), text 250 x 39,
# buttons 75 x 23 at x 200 and 290, control 202 40 x 16, icon 32 x 32 at (117,135),
# client (14,13) (or, with $5 set, at that screen rectangle); metrics 3, 3, 19. $1 is
# the button mode, $2 and $3 the measured width and height, $4 the "after" rectangles,
# $6 the control's own font's measurements ("W,H fontat=W,H"; none by default).
judge_input() {
    printf '%s\n' "metrics cxdlgframe=3 cydlgframe=3 cymenu=19 cycaption=19" "args mode=$1 points=8" \
        "call1 before dlg=100,100,500,300 origin=103,122 client=394,175 icon=${5:-117,135,149,167} text=150,140,350,180 ok=200,250,275,273 cancel=290,250,365,273 extra=110,280,150,296" \
        "call1 measure bound=200,40 system=$2,$3 font=${6:-none}" \
        "call1 after $4" "call1 shows need=$2,$3 have=$2,$(($3 + 5))"
}

# Each case starts the test host: one process runs them all (tests/wine/lib.sh).
tvr_serve

# The judge's own case feeds it fixed text and runs neither build's code, so it cannot
# differ between the builds: it runs in the PE32+ suite only.
if [[ $TVR_ARCH == x64 ]]; then
    tvr_case "the judge gives the reference dialog to the pixel and refuses a pixel off"
    # Two buttons: text (47,18) 250 x 44, buttons at (68,72) and (158,72), control 202 at
    # (10,72), dialog (147,134) 305 x 131 whose client area starts at (150,156); the icon
    # stays at client (14,13).
    EXAMPLE="dlg=147,134,452,265 origin=150,156 client=299,106 icon=164,169,196,201 text=197,174,447,218 ok=218,228,293,251 cancel=308,228,383,251 extra=160,228,200,244"
    OUT=$(judge_input 2 250 39 "$EXAMPLE")
    dialog_judge
    tvr_expect_line "layout1=rule"
    tvr_expect_line "call1 ok got=68,72,75,23 want=68,72,75,23"
    tvr_expect_line "call1 dlg got=147,134,305,131 want=147,134,305,131"
    OUT=$(judge_input 2 250 39 "${EXAMPLE/ok=218,228,293,251/ok=219,228,294,251}")
    dialog_judge
    tvr_expect_line "layout1=mismatch"
    # One button: button 1 at (113,72).
    OUT=$(judge_input 1 250 39 "${EXAMPLE/ok=218,228,293,251/ok=263,228,338,251}")
    dialog_judge
    tvr_expect_line "layout1=rule"
    tvr_expect_line "call1 ok got=113,72,75,23 want=113,72,75,23"
    # A text 70 x 13 with two buttons: the rule's pair would start at -21 across control
    # 202; mended, the pair stands at (60,46) and (150,46), just under the icon's bottom at
    # 45, and the dialog (179,147) is 241 x 105. A pair left where the rule put it is
    # refused, and so is one on control 202.
    MENDED="dlg=179,147,420,252 origin=182,169 client=235,80 icon=196,182,228,214 text=229,187,299,205 ok=242,215,317,238 cancel=332,215,407,238 extra=192,215,232,231"
    OUT=$(judge_input 2 70 13 "$MENDED")
    dialog_judge
    tvr_expect_line "layout1=mended"
    tvr_expect_line "inside1=yes"
    tvr_expect_line "overlap1=none"
    OUT=$(judge_input 2 70 13 "dlg=147,134,452,265 origin=150,156 client=299,106 icon=164,169,196,201 text=197,174,267,192 ok=129,202,204,225 cancel=219,202,294,225 extra=160,202,200,218")
    dialog_judge
    tvr_expect_line "layout1=mismatch"
    tvr_expect_line "inside1=no:ok"
    tvr_expect_line "overlap1=ok/extra"
    OUT=$(judge_input 2 70 13 "${MENDED/ok=242,215,317,238/ok=222,215,297,238}")
    dialog_judge
    tvr_expect_line "overlap1=ok/extra"
    # The icon 7 lower, at client (14,20) to (46,52): control 202 at (10,46) would lie over
    # it, so the row belongs at 52 + 10 = 62 and the dialog is 62 + 46 + 13 = 121 high, at
    # (179,139). The row left at 46 is refused, and the judge names the icon's overlap.
    LOW_ICON=117,142,149,174
    UNDER="dlg=179,139,420,260 origin=182,161 client=235,96 icon=196,181,228,213 text=229,179,299,197 ok=242,223,317,246 cancel=332,223,407,246 extra=192,223,232,239"
    OUT=$(judge_input 2 70 13 "$UNDER" "$LOW_ICON")
    dialog_judge
    tvr_expect_line "layout1=mended"
    tvr_expect_line "iconclear1=yes"
    tvr_expect_line "call1 dlg got=179,139,241,121 want=179,139,>=125,>=121"
    OUT=$(judge_input 2 70 13 "dlg=179,147,420,252 origin=182,169 client=235,80 icon=196,189,228,221 text=229,187,299,205 ok=242,215,317,238 cancel=332,215,407,238 extra=192,215,232,231" "$LOW_ICON")
    dialog_judge
    tvr_expect_line "layout1=mismatch"
    tvr_expect_line "iconclear1=no:extra"

    # The control's own font. Within the control's width it is wider (260 x 26), within the
    # DC font's 250 it wraps to 245 x 39, which fits the control 250 x 44: the DC font's
    # measurement stands, and the reference dialog's layout with it. A font whose lines
    # need 78 within 250 makes the text 250 x 83: that layout is then refused.
    OUT=$(judge_input 2 250 39 "$EXAMPLE" "" "260,26 fontat=245,39")
    dialog_judge
    tvr_expect_line "layout1=rule"
    tvr_expect_line "font1=kept"
    tvr_expect_line "call1 text got=47,18,250,44 want=47,18,250,44"
    OUT=$(judge_input 2 250 39 "$EXAMPLE" "" "250,78 fontat=250,78")
    dialog_judge
    tvr_expect_line "layout1=mismatch"
    tvr_expect_line "call1 text got=47,18,250,44 want=47,18,250,83"
    # A row that fits across and lies only over the icon: text 130 x 39, one button, the
    # icon 32 x 70 at client (10,10), screen (113,132). The rule: dialog 185 wide at 207,
    # button 1 at (182 - 75) / 2 = 53, control 202 at (10,72) over the icon (down to 80).
    # Mended, only the row moves, to 90, and the height to 90 + 46 + 13 = 149 at 125:
    # the dialog (207,125) 185 x 149, client area at (210,147). The same row with the
    # dialog widened to 189 at 205 is refused.
    TALL_ICON=113,132,145,202
    ACROSS="dlg=207,125,392,274 origin=210,147 client=179,124 icon=220,157,252,227 text=257,165,387,209 ok=263,237,338,260 cancel=397,275,472,298 extra=220,237,260,253"
    OUT=$(judge_input 1 130 39 "$ACROSS" "$TALL_ICON")
    dialog_judge
    tvr_expect_line "layout1=mended"
    tvr_expect_line "across1=kept"
    tvr_expect_line "call1 dlg got=207,125,185,149 want=207,125,>=185,>=149"
    OUT=$(judge_input 1 130 39 "dlg=205,125,394,274 origin=208,147 client=183,124 icon=218,157,250,227 text=255,165,385,209 ok=261,237,336,260 cancel=395,275,470,298 extra=218,237,258,253" "$TALL_ICON")
    dialog_judge
    tvr_expect_line "layout1=mismatch"
    tvr_expect_line "across1=kept"
else
    echo "      the judge's own case runs in the x64 suite only: it runs neither build's code"
fi

# Runs one dialog and checks both calls: layout (KIND: rule, mended, or "any" for
# either), every control inside the client area without overlap, the text whole in its
# own font, the icon and the hidden button still, text, icon, focus, and the wrap of the
# second call inside the first call's width.
#   dialog_case KIND ICONSTATE TEXT ICON MODE [FOCUSID] [--points N]
dialog_case() {
    local kind=$1 icon_state=$2
    shift 2
    tvr_host dialog "$@"
    tvr_expect_eq "exit code" 0 "$RC"
    dialog_judge
    local n
    for n in 1 2; do
        if [[ $kind == any ]]; then
            tvr_expect grep -q -x -E "layout$n=(rule|mended)" <<<"$OUT"
        else
            tvr_expect_line "layout$n=$kind"
        fi
        tvr_expect_line "inside$n=yes"
        tvr_expect_line "overlap$n=none"
        tvr_expect_line "still$n=yes"
        tvr_expect_line "iconclear$n=yes"
        tvr_expect_line "whole$n=yes"
        tvr_expect_line "text$n=set"
        tvr_expect_line "icon$n=ok $icon_state"
    done
    tvr_expect_value wrap2 within
    if ((TVR_CASE_FAILED)); then printf '%s\n' "$OUT" | sed 's/^/        | /'; fi
}

tvr_case "a short text, information icon, one button"
dialog_case any replaced "Modem found." 0 1
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -E '^(layout|across)1=' | tr '\n' ' ')"
# The system's metrics belong to the environment, not to the library: they go to the
# log only. The judge uses whatever values the system reports.
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -m1 '^metrics ')"
tvr_expect_line "focus1=ok result=previous now=control"

tvr_case "a one-line text whose centred button clears control 202: only the icon moves the row, nothing moves across"
# Long enough for button 1 to stand right of control 202, one line high, so that control
# 202 at x 10 would lie on the icon's bottom: the row goes below the icon, and every x,
# the dialog's width and its left edge stay the centred layout's.
dialog_case mended replaced "Modem found on COM3." 0 1
tvr_expect_line "across1=kept"
tvr_expect_line "across2=kept"
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -E '^call1 (ok|extra|dlg) x' | tr '\n' ' ')"

tvr_case "no control 202, both buttons, a one-line text: the pair fits across and only the icon moves it"
# The pair starts a few pixels in and ends within 10 pixels of the client area's right
# edge, and button 1 lies on the icon's bottom row: the row goes below the icon, and the
# dialog keeps the centred layout's width and left edge (not widened to leave 10
# pixels after button 2).
dialog_case mended replaced "Modem on COM3." 0 2 --without-202
tvr_expect_line "across1=kept"
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -E '^call1 (measure|ok|cancel|dlg) ' | tr '\n' ' ')"

tvr_case "a short text with both buttons: the row is mended to lie inside the dialog, right of control 202"
dialog_case mended replaced "Modem found." 0 2
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -E '^call1 (ok|cancel|extra|dlg) ' | tr '\n' ' ')"
# Control 200 never moves; the row keeps clear of it (checked in every case).
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -m1 '^iconclear1=')"

tvr_case "a four-letter text with both buttons (tvrprobe dialog \"Text\" 3 2)"
dialog_case mended replaced "Text" 3 2

tvr_case "a long text wraps; exclamation icon, two buttons (mode 2): the rule stands"
dialog_case rule replaced "$LONG_TEXT" 1 2
# Within the control's width the 8-point font's lines may run wider than the DC font's;
# within the width the DC font measured they fit the control it makes, which stands.
tvr_expect_line "font1=kept"
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -m1 '^call1 measure ')"
tvr_expect_line "focus1=ok result=previous now=control"

tvr_case "hand icon, mode 0 is two buttons, focus on button 2"
dialog_case rule replaced "$LONG_TEXT" 2 0 2
tvr_expect_line "focus2=ok result=previous now=control"

tvr_case "question icon, mode -1 is two buttons"
dialog_case any replaced "Search the ports again?" 3 -1

tvr_case "icon type 4 leaves the icon control alone"
dialog_case rule unchanged "$LONG_TEXT" 4 1

tvr_case "icon type -1 leaves the icon control alone"
dialog_case any unchanged "Nothing to show." -1 2

tvr_case "tabs are expanded and line breaks kept"
dialog_case any replaced 'Port:\tCOM3\nSpeed:\t9600 bit/s\n\nThe modem answered.' 0 1

tvr_case "an empty text gives a text control of width 0 and a mended row under it"
dialog_case mended replaced "" 0 1
tvr_expect_line "wrap2=within first_width=0 second_width=0"

tvr_case "TVRInitTextDialogW: an ASCII text gives the geometry of TVRInitTextDialog"
dialog_case any replaced 'Port:\tCOM3\nSpeed:\t9600 bit/s\n\nThe modem answered.' 0 1
NARROW=$(printf '%s\n' "$OUT" | grep -E '^call[12] (before|after|shows) ')
dialog_case any replaced 'Port:\tCOM3\nSpeed:\t9600 bit/s\n\nThe modem answered.' 0 1 --wide
tvr_expect_eq "geometry through the wide entry" "$NARROW" "$(printf '%s\n' "$OUT" | grep -E '^call[12] (before|after|shows) ')"

tvr_case "TVRInitTextDialogW with a null text lays the dialog out as TVRInitTextDialog does for \"\""
dialog_case mended replaced "" 0 1
EMPTY=$(printf '%s\n' "$OUT" | grep -E '^call[12] (before|after|shows) ')
dialog_case mended replaced "" 0 1 --wide --null
tvr_expect_eq "geometry of a null wide text" "$EMPTY" "$(printf '%s\n' "$OUT" | grep -E '^call[12] (before|after|shows) ')"

tvr_case "a word longer than the text control widens it; the second call keeps that width"
dialog_case any replaced "Pneumonoultramicroscopicsilicovolcanoconiosis-Supercalifragilisticexpialidocious" 0 2

tvr_case "a 14-point dialog font: the text control holds the whole text in that font"
dialog_case any replaced "$LONG_TEXT" 1 2 --points 14
# Within the width the DC's own font measured, the 14-point font's lines are taller
# than that measurement's control: the text control is enlarged for them.
tvr_expect grep -q -E '^call1 measure .* font=[0-9]+,[0-9]+ fontat=[0-9]+,[0-9]+$' <<<"$OUT"
tvr_expect_line "font1=enlarged"
printf '      %s\n' "$(printf '%s\n' "$OUT" | grep -m1 '^call1 measure ')"

tvr_case "a missing focus control: the focus goes nowhere and the previous focus is returned"
dialog_case any replaced "Modem found." 0 1 999
tvr_expect_line "focus1=ok result=previous now=none"

tvr_case "called in WM_INITDIALOG: returning FALSE keeps the focus the call gave, TRUE lets the system move it"
tvr_host dialog-init 0
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "init_focus=control 2"
tvr_host dialog-init 1
tvr_expect_line "init_focus=control 1"

tvr_case "tvrprobe dialog shows a laid-out dialog, prints its geometry and closes itself"
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" dialog 'Modem found on COM3.\nUse it?' 3 2 --seconds 1
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_line "TVRInitTextDialog laid out the dialog: icon 3 (question), two buttons."
tvr_expect grep -q -E '^  control   202  x=10 y=[0-9]+ ' <<<"$OUT"
# The dialog manager put the focus on the first tab stop, button 1, when the dialog was
# created; the call hands it to button 1 again.
tvr_expect_line "Focus before the call: control 1 (button 1); focus now: control 1 (button 1)."
tvr_expect_line "Closed by time-out."

# tvrprobe's own report of a four-letter text with both buttons: every control inside
# the client area it reports, none over another.
probe_fits() {
    awk '
        /^Client area: / { cw = $3; ch = $5 + 0 }
        /^  (text|button 1|button 2|control) / && / x=/ {
            for (i = 1; i <= NF; ++i) { split($i, kv, "="); v[kv[1]] = kv[2] + 0 }
            n++; X[n] = v["x"]; Y[n] = v["y"]; W[n] = v["width"]; H[n] = v["height"]
        }
        END {
            bad = 0
            for (i = 1; i <= n; ++i) {
                if (X[i] < 0 || Y[i] < 0 || X[i] + W[i] > cw || Y[i] + H[i] > ch) bad = 1
                for (j = i + 1; j <= n; ++j)
                    if (W[i] > 0 && H[i] > 0 && W[j] > 0 && H[j] > 0 && X[i] < X[j] + W[j] && X[j] < X[i] + W[i] &&
                        Y[i] < Y[j] + H[j] && Y[j] < Y[i] + H[i]) bad = 1
            }
            print (n == 4 && cw > 0 && !bad) ? "probe=fits" : "probe=broken"
        }'
}

tvr_case "tvrprobe dialog \"Text\" 3 2: every control inside the dialog, none over another"
tvr_wine "$TVR_DLL_DIR/tvrprobe.exe" dialog 'Text' 3 2 --seconds 1
tvr_expect_eq "exit code" 0 "$RC"
tvr_expect_eq "probe" "probe=fits" "$(printf '%s\n' "$OUT" | probe_fits)"
if ((TVR_CASE_FAILED)); then printf '%s\n' "$OUT" | sed 's/^/        | /'; fi

# Screenshots, cropped to the dialog.
dialog_shot() {
    # One file per build: the guest's PE32 run and the native PE32+ run overlap.
    local name=$1 out=$TVR_LOG_DIR/$1.out png=$TVR_DLL_DIR/../$1-$TVR_ARCH.png
    shift
    rm -f "$png"
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
    OUT=$(tr -d '\r' <"$out")
    dialog_judge
    tvr_expect_line "result=pass"
    local n
    for n in 1 2; do
        tvr_expect grep -q -x -E "layout$n=(rule|mended)" <<<"$OUT"
        tvr_expect_line "inside$n=yes"
        tvr_expect_line "overlap$n=none"
        tvr_expect_line "iconclear$n=yes"
        tvr_expect_line "whole$n=yes"
    done
    tvr_expect test -s "$png"
}

# Without a window manager Wine leaves the caption and frame unpainted: for the
# screenshots, which come last, it is asked to draw them itself (one setting for all of
# them: each Windows program started costs seconds in the guest).
wine reg add 'HKCU\Software\Wine\X11 Driver' /v Decorated /t REG_SZ /d N /f >/dev/null 2>&1 || true

tvr_case "screenshot of a one-button dialog"
dialog_shot dialog-one "$LONG_TEXT" 1 1

tvr_case "screenshot of a two-button dialog"
dialog_shot dialog-two "$LONG_TEXT" 3 2

tvr_case "screenshot of a short text with both buttons"
dialog_shot dialog-short "Modem found." 0 2

tvr_case "screenshot of a 14-point dialog font"
dialog_shot dialog-large "$LONG_TEXT" 1 2 --points 14

# Scripts outside any ANSI code page, through TVRInitTextDialogW: the text is read from
# the UTF-16 command line, so Wine must decode this shell's arguments as UTF-8.
CYRILLIC='Модем не найден. Подключите модем к компьютеру, включите его и убедитесь, что порт не занят другой программой, затем нажмите «Повторить».'
GREEK='Δεν βρέθηκε μόντεμ. Συνδέστε το μόντεμ στον υπολογιστή, ενεργοποιήστε το και βεβαιωθείτε ότι καμία άλλη εφαρμογή δεν χρησιμοποιεί τη θύρα του.'

tvr_case "screenshot of a Cyrillic message through TVRInitTextDialogW"
LC_ALL=C.UTF-8 dialog_shot dialog-cyrillic "$CYRILLIC" 1 2 --wide

tvr_case "screenshot of a Greek message through TVRInitTextDialogW"
LC_ALL=C.UTF-8 dialog_shot dialog-greek "$GREEK" 0 1 --wide

wine reg delete 'HKCU\Software\Wine\X11 Driver' /v Decorated /f >/dev/null 2>&1 || true
