// The dialog geometry over any rectangles, metrics, text extents, button modes and
// missing controls (the icon control among them). The fuzzer's bytes give each input
// either as an ordinary value (a 16-bit coordinate, a small metric) or, now and then, as
// any 32-bit value.
//
// Invariants: no undefined behaviour for any input (UBSan); and for ordinary inputs,
// where the fixed rules (restated here, step by step, without the library's code) put
// every window inside the client area without two of the text control, the buttons
// and control 202 overlapping and without a button or control 202 over the icon, the
// result is exactly theirs; where they do not, the mended result has every window inside
// and none of them over another or (buttons and control 202) over the icon, sizes as
// the rules give them, control 202 at x = 10, the row 10 below the text control or, where
// it would lie there over the icon, 10 below the icon, and the dialog centred on its old
// rectangle; where the rules' row fits across (the text control and every control of the
// row inside the client width, none of the row over another), every x and the dialog's
// width and left edge are the rules'. For any input, the extent chosen from the two
// measurements is the first one wherever the text in the control's font fits the
// control it makes, is grown exactly where it does not, and always holds that text.
//
// Input layout: five rectangles (text, dialog, button 1, button 2, control 202), the
// presence bits, text width and height, the three metrics, the button mode; then the
// icon: a byte whose low bit set means no icon control, and its rectangle. An input that
// ends before the icon has one with an empty rectangle, which overlaps nothing. Then a
// byte whose low bit set means the text was measured in the control's own font too,
// followed by that width and height and a byte whose low bit set means that measurement
// failed: the extent the layout starts from is chosen from the two (the first kept where
// the text in the control's font fits the control it makes, each dimension grown only
// where it does not), and the layout is computed from the choice.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>

#include "dialog/DialogGeometry.h"
#include "fake_platform.h"
#include "fuzz_input.h"

namespace {

// Coordinates and metrics: ordinary values mostly, now and then any 32-bit value.
class DialogBytes : public FuzzBytes {
public:
    DialogBytes(const uint8_t *p, size_t cb) : FuzzBytes(p, cb) {}
    int32_t I32() { return static_cast<int32_t>(U32()); }
    // Mostly a 16-bit value; one time in sixteen any 32-bit value.
    int32_t Coord(bool *pbOrdinary)
    {
        uint8_t b = U8();
        if ((b & 0x0F) == 0x0F) {
            *pbOrdinary = false;
            return I32();
        }
        return static_cast<int16_t>(U16());
    }
    LONG Small(bool *pbOrdinary, int nRange)
    {
        uint8_t b = U8();
        if (b == 0xFF) {
            *pbOrdinary = false;
            return I32();
        }
        return b % nRange;
    }
};

struct Box {
    bool bMove;
    long long x, y, cx, cy;
};

Box Of(const WindowPlacement &p) { return {p.bMove != FALSE, p.x, p.y, p.cx, p.cy}; }
bool Same(const Box &a, const Box &b)
{
    return a.bMove == b.bMove && (!a.bMove || (a.x == b.x && a.y == b.y && a.cx == b.cx && a.cy == b.cy));
}
bool Empty(const Box &b) { return !b.bMove || b.cx <= 0 || b.cy <= 0; }
bool Overlap(const Box &a, const Box &b)
{
    return !Empty(a) && !Empty(b) && a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}
bool Inside(const Box &b, long long cxClient, long long cyClient)
{
    return !b.bMove || (b.x >= 0 && b.y >= 0 && b.x + (b.cx > 0 ? b.cx : 0) <= cxClient &&
                        b.y + (b.cy > 0 ? b.cy : 0) <= cyClient);
}
long long W(const RECT &r) { return static_cast<long long>(r.right) - r.left; }
long long H(const RECT &r) { return static_cast<long long>(r.bottom) - r.top; }
// Truncating division by 2, as C does.
long long Half(long long ll) { return ll / 2; }

struct Layout {
    Box text, ok, cancel, extra, dlg;
};

// The icon where it stands, in client coordinates: its screen position less the frame
// across, and less the menu-bar allowance and the frame down, as the text's corner.
Box Icon(const TextDialogLayoutInput &in)
{
    if (!in.bHasIcon)
        return Box{false, 0, 0, 0, 0};
    return Box{true, static_cast<long long>(in.rIconRect.left) - in.lCXDlgFrame - in.rDlgRect.left,
               static_cast<long long>(in.rIconRect.top) - in.lCYMenu - in.lCYDlgFrame - in.rDlgRect.top,
               W(in.rIconRect), H(in.rIconRect)};
}

// A button or control 202 over the icon.
bool RowOverIcon(const TextDialogLayoutInput &in, const Layout &l)
{
    const Box icon = Icon(in);
    return Overlap(l.ok, icon) || Overlap(l.cancel, icon) || Overlap(l.extra, icon);
}

// The fixed rules, step by step.
Layout Rules(const TextDialogLayoutInput &in)
{
    Layout l = {};
    const long long x = static_cast<long long>(in.rTextRect.left) - in.lCXDlgFrame - in.rDlgRect.left;
    const long long y = static_cast<long long>(in.rTextRect.top) - in.lCYMenu - in.lCYDlgFrame - in.rDlgRect.top;
    l.text = {true, x, y, in.lTextWidth, in.lTextHeight + 5LL};
    const long long cxDlg = x + in.lCXDlgFrame + in.lTextWidth + 5;
    const long long yRow = y + in.lTextHeight + 5 + 10;
    const long long span = x + in.lTextWidth + 5;
    long long cyRow = 0;
    const bool bTwo = in.lButtonMode != 1;
    if (bTwo && in.bHasOK && in.bHasCancel) {
        const long long cx = W(in.rOKRect), cy = H(in.rOKRect);
        const long long xOK = Half(span - (static_cast<long long>(in.rCancelRect.right) - in.rOKRect.left));
        l.ok = {true, xOK, yRow, cx, cy};
        l.cancel = {true, xOK + (static_cast<long long>(in.rCancelRect.left) - in.rOKRect.left), yRow, cx, cy};
        cyRow = cy;
    } else if (in.bHasOK) {
        l.ok = {true, Half(span - W(in.rOKRect)), yRow, W(in.rOKRect), H(in.rOKRect)};
        cyRow = H(in.rOKRect);
    } else if (bTwo && in.bHasCancel) {
        l.cancel = {true, Half(span - W(in.rCancelRect)), yRow, W(in.rCancelRect), H(in.rCancelRect)};
        cyRow = H(in.rCancelRect);
    }
    if (in.bHasExtra)
        l.extra = {true, 10, yRow, W(in.rExtraRect), H(in.rExtraRect)};
    const long long cyDlg = yRow + 2 * cyRow + in.lCYDlgFrame + 10;
    l.dlg = {true, in.rDlgRect.left + Half(W(in.rDlgRect) - cxDlg), in.rDlgRect.top + Half(H(in.rDlgRect) - cyDlg),
             cxDlg, cyDlg};
    return l;
}

// Inside the client area (one frame on each side, the menu-bar allowance at the top),
// no two of the text control, the buttons and control 202 overlapping, and neither
// button nor control 202 over the icon.
bool Fits(const TextDialogLayoutInput &in, const Layout &l)
{
    if (RowOverIcon(in, l))
        return false;
    const long long cxClient = l.dlg.cx - 2LL * in.lCXDlgFrame;
    const long long cyClient = l.dlg.cy - in.lCYMenu - 2LL * in.lCYDlgFrame;
    const Box *boxes[] = {&l.text, &l.ok, &l.cancel, &l.extra};
    for (int i = 0; i < 4; ++i) {
        if (!Inside(*boxes[i], cxClient, cyClient))
            return false;
        for (int j = i + 1; j < 4; ++j)
            if (Overlap(*boxes[i], *boxes[j]))
                return false;
    }
    return true;
}

// Across only: the text control and every control of the row between client x 0 and
// the client width, and no two controls of the row overlapping.
bool FitsAcross(const TextDialogLayoutInput &in, const Layout &l)
{
    const long long cxClient = l.dlg.cx - 2LL * in.lCXDlgFrame;
    const Box *boxes[] = {&l.text, &l.ok, &l.cancel, &l.extra};
    for (const Box *p : boxes)
        if (p->bMove && (p->x < 0 || p->x + (p->cx > 0 ? p->cx : 0) > cxClient))
            return false;
    return !Overlap(l.ok, l.cancel) && !Overlap(l.ok, l.extra) && !Overlap(l.cancel, l.extra);
}

bool InIntRange(const Box &b)
{
    const long long lim = 1000000000LL; // far from the clamps
    return !b.bMove || (b.x > -lim && b.x < lim && b.y > -lim && b.y < lim && b.cx > -lim && b.cx < lim &&
                        b.cy > -lim && b.cy < lim);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t cbData)
{
    fake::Reset();
    DialogBytes bytes(pData, cbData);
    bool bOrdinary = true;
    TextDialogLayoutInput in = {};
    RECT *rects[] = {&in.rTextRect, &in.rDlgRect, &in.rOKRect, &in.rCancelRect, &in.rExtraRect};
    for (RECT *pr : rects) {
        pr->left = bytes.Coord(&bOrdinary);
        pr->top = bytes.Coord(&bOrdinary);
        pr->right = bytes.Coord(&bOrdinary);
        pr->bottom = bytes.Coord(&bOrdinary);
    }
    const uint8_t bHas = bytes.U8();
    in.bHasOK = (bHas & 1) == 0;
    in.bHasCancel = (bHas & 2) == 0;
    in.bHasExtra = (bHas & 4) == 0;
    in.lTextWidth = bytes.Small(&bOrdinary, 2000);
    in.lTextHeight = bytes.Small(&bOrdinary, 1000);
    in.lCXDlgFrame = bytes.Small(&bOrdinary, 40);
    in.lCYDlgFrame = bytes.Small(&bOrdinary, 40);
    in.lCYMenu = bytes.Small(&bOrdinary, 60);
    static const LONG kModes[] = {1, 2, 0, -1, 0x7FFFFFFF, static_cast<LONG>(0x80000000)};
    in.lButtonMode = kModes[bytes.U8() % 6];
    in.bHasIcon = (bytes.U8() & 1) == 0;
    in.rIconRect.left = bytes.Coord(&bOrdinary);
    in.rIconRect.top = bytes.Coord(&bOrdinary);
    in.rIconRect.right = bytes.Coord(&bOrdinary);
    in.rIconRect.bottom = bytes.Coord(&bOrdinary);
    // The text measured in the control's own font, when the next byte's low bit is set:
    // the extent the layout starts from is then chosen from the two measurements.
    if (bytes.U8() & 1) {
        const LONG lWidth = in.lTextWidth;
        const LONG lHeight = in.lTextHeight;
        const LONG lFontWidth = bytes.Small(&bOrdinary, 2000);
        const LONG lFontHeight = bytes.Small(&bOrdinary, 1000);
        const BOOL bFontMeasured = (bytes.U8() & 1) == 0;
        ChooseTextExtent(lWidth, lHeight, bFontMeasured, lFontWidth, lFontHeight, &in.lTextWidth,
                         &in.lTextHeight);
        // The control the first measurement makes: lWidth x (lHeight + 5).
        const bool bFits = lFontWidth <= lWidth && static_cast<long long>(lFontHeight) <= lHeight + 5LL;
        if (!bFontMeasured || bFits) {
            // Nothing to mend: the first measurement stands to the pixel.
            Check(in.lTextWidth == lWidth && in.lTextHeight == lHeight);
        } else {
            // Grown only where the control's font needs it, to exactly what it needs.
            Check(in.lTextWidth == (lFontWidth > lWidth ? lFontWidth : lWidth));
            Check(in.lTextHeight == (lFontHeight > lHeight + 5LL ? lFontHeight : lHeight));
        }
        // Either way the control holds the text in the control's font.
        if (bFontMeasured)
            Check(lFontWidth <= in.lTextWidth && static_cast<long long>(lFontHeight) <= in.lTextHeight + 5LL);
    }

    TextDialogLayout out;
    ComputeTextDialogLayout(&in, &out);
    // Computing again from the same input gives the same layout.
    TextDialogLayout again;
    ComputeTextDialogLayout(&in, &again);
    Check(Same(Of(out.text), Of(again.text)) && Same(Of(out.ok), Of(again.ok)) &&
          Same(Of(out.cancel), Of(again.cancel)) && Same(Of(out.extra), Of(again.extra)) &&
          Same(Of(out.dlg), Of(again.dlg)));
    if (!bOrdinary)
        return 0;

    const Layout rules = Rules(in);
    const Layout got = {Of(out.text), Of(out.ok), Of(out.cancel), Of(out.extra), Of(out.dlg)};
    if (!InIntRange(rules.text) || !InIntRange(rules.dlg))
        return 0;
    // Which windows move does not depend on the mend.
    Check(got.text.bMove && got.dlg.bMove);
    Check(got.ok.bMove == rules.ok.bMove && got.cancel.bMove == rules.cancel.bMove &&
          got.extra.bMove == rules.extra.bMove);
    if (Fits(in, rules)) {
        Check(Same(got.text, rules.text) && Same(got.ok, rules.ok) && Same(got.cancel, rules.cancel) &&
              Same(got.extra, rules.extra) && Same(got.dlg, rules.dlg));
        return 0;
    }
    // Mended: sizes kept, control 202 at the row's left end, everything inside, nothing
    // over anything else, the dialog centred on its old place.
    Check(got.text.cx == rules.text.cx && got.text.cy == rules.text.cy);
    if (got.ok.bMove)
        Check(got.ok.cx == rules.ok.cx && got.ok.cy == rules.ok.cy);
    if (got.cancel.bMove)
        Check(got.cancel.cx == rules.cancel.cx && got.cancel.cy == rules.cancel.cy);
    if (got.extra.bMove)
        Check(got.extra.x == 10 && got.extra.cx == rules.extra.cx && got.extra.cy == rules.extra.cy);
    // The row: 10 below the text control; where a control of it, at the x it got, would
    // lie there over the icon, 10 below the icon instead.
    Layout under = got;
    const long long yTextRow = got.text.y + (got.text.cy > 0 ? got.text.cy : 0) + 10;
    under.ok.y = under.cancel.y = under.extra.y = yTextRow;
    const Box icon = Icon(in);
    const long long yRow = RowOverIcon(in, under) ? icon.y + icon.cy + 10 : yTextRow;
    Check(!got.ok.bMove || got.ok.y == yRow);
    Check(!got.cancel.bMove || got.cancel.y == yRow);
    Check(!got.extra.bMove || got.extra.y == yRow);
    // Where the rules' row fits across, the mend changes nothing across: every x, the
    // dialog's width and its left edge are the rules'.
    if (FitsAcross(in, rules)) {
        Check(got.text.x == rules.text.x && got.dlg.cx == rules.dlg.cx && got.dlg.x == rules.dlg.x);
        Check(!got.ok.bMove || got.ok.x == rules.ok.x);
        Check(!got.cancel.bMove || got.cancel.x == rules.cancel.x);
        Check(!got.extra.bMove || got.extra.x == rules.extra.x);
    }
    // Whatever the sizes, no button and not control 202 over the icon.
    Check(!RowOverIcon(in, got));
    Check(got.dlg.x == in.rDlgRect.left + Half(W(in.rDlgRect) - got.dlg.cx));
    Check(got.dlg.y == in.rDlgRect.top + Half(H(in.rDlgRect) - got.dlg.cy));
    // Sizes that cannot be drawn (negative ones) make no promise of fitting.
    const bool bDrawable = rules.text.cx >= 0 && rules.text.cy >= 0 && (!rules.ok.bMove || (rules.ok.cx >= 0 && rules.ok.cy >= 0)) &&
                           (!rules.cancel.bMove || (rules.cancel.cx >= 0 && rules.cancel.cy >= 0)) &&
                           (!rules.extra.bMove || (rules.extra.cx >= 0 && rules.extra.cy >= 0));
    if (bDrawable)
        Check(Fits(in, got));
    return 0;
}
