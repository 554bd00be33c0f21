// The message dialog's layout as pure arithmetic: the reference dialog to the pixel in
// both button modes, the edge cases of centring and button sizes, the dialogs that lack
// a button, short texts whose button row would not fit (mended so that every window lies
// inside the client area without overlap), a button row that would lie over the icon
// (moved below it), and extreme coordinates that must neither overflow nor lose
// exactness.
#include <gtest/gtest.h>

#include <algorithm>
#include <random>

#include "dialog/DialogGeometry.h"

namespace {

const int nIntMax = 2147483647;
const int nIntMin = -2147483647 - 1;

// The reference dialog: metrics 3, 3, 19; dialog (100,100)-(500,300); text control at
// (150,140); text 250 x 39; button 1 75 x 23 at x 200; button 2 75 x 23 at x 290;
// control 202 40 x 16 (a check box that ends at client x 50, left of button 1's 68);
// an icon 32 x 32 at screen (117,135), client (14,13): left of the text control at
// x 47, and its bottom 45 above the row at 72 (and above a one-line text's row at 46).
TextDialogLayoutInput Reference(LONG lButtonMode)
{
    TextDialogLayoutInput in = {};
    in.rTextRect = RECT{150, 140, 350, 180};
    in.rDlgRect = RECT{100, 100, 500, 300};
    in.rOKRect = RECT{200, 250, 275, 273};
    in.rCancelRect = RECT{290, 250, 365, 273};
    in.rExtraRect = RECT{110, 280, 150, 296};
    in.rIconRect = RECT{117, 135, 149, 167};
    in.bHasOK = TRUE;
    in.bHasCancel = TRUE;
    in.bHasExtra = TRUE;
    in.bHasIcon = TRUE;
    in.lTextWidth = 250;
    in.lTextHeight = 39;
    in.lCXDlgFrame = 3;
    in.lCYDlgFrame = 3;
    in.lCYMenu = 19;
    in.lButtonMode = lButtonMode;
    return in;
}

TextDialogLayout Compute(const TextDialogLayoutInput &in)
{
    TextDialogLayout out;
    memset(&out, 0xA5, sizeof out); // a field left unset shows up as garbage
    ComputeTextDialogLayout(&in, &out);
    return out;
}

struct Placed {
    bool bMove;
    int x, y, cx, cy;
};

Placed P(int x, int y, int cx, int cy) { return Placed{true, x, y, cx, cy}; }
const Placed kStill = {false, 0, 0, 0, 0};

void ExpectPlaced(const char *pszWhat, const Placed &want, const WindowPlacement &got)
{
    SCOPED_TRACE(pszWhat);
    EXPECT_EQ(want.bMove, got.bMove != FALSE);
    if (want.bMove && got.bMove) {
        EXPECT_EQ(want.x, got.x);
        EXPECT_EQ(want.y, got.y);
        EXPECT_EQ(want.cx, got.cx);
        EXPECT_EQ(want.cy, got.cy);
    }
}

struct LayoutCase {
    const char *pszName;
    TextDialogLayoutInput in;
    Placed text, ok, cancel, extra, dlg;
};

std::ostream &operator<<(std::ostream &os, const LayoutCase &c) { return os << c.pszName; }

TextDialogLayoutInput With(TextDialogLayoutInput in, void (*pfnChange)(TextDialogLayoutInput &))
{
    pfnChange(in);
    return in;
}

const LayoutCase kCases[] = {
    {"reference, one button", Reference(1), P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 40, 16),
     P(147, 134, 305, 131)},
    {"reference, two buttons (mode 2)", Reference(2), P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23),
     P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"mode 0 is two buttons", Reference(0), P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23),
     P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"mode -1 is two buttons", Reference(-1), P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23),
     P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"a dialog 300 wide that grows to 305 moves left by 2 (truncating -5/2)",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.rDlgRect = RECT{100, 100, 400, 300}; }),
     P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 40, 16), P(98, 134, 305, 131)},
    {"a taller text grows the dialog one for one",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.lTextHeight = 139; }), P(47, 18, 250, 144),
     P(113, 172, 75, 23), kStill, P(10, 172, 40, 16), P(147, 85, 305, 231)},
    {"button 2 wider and taller than button 1 takes button 1's size",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{290, 250, 400, 280}; }),
     P(47, 18, 250, 44), P(51, 72, 75, 23), P(141, 72, 75, 23), P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"button 2 narrower than button 1 takes button 1's size",
     With(Reference(0), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{290, 250, 330, 260}; }),
     P(47, 18, 250, 44), P(86, 72, 75, 23), P(176, 72, 75, 23), P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"button 2 left of button 1 keeps its distance",
     With(Reference(2), [](TextDialogLayoutInput &in) {
         in.rOKRect = RECT{290, 250, 365, 273};
         in.rCancelRect = RECT{200, 250, 275, 273};
     }),
     P(47, 18, 250, 44), P(158, 72, 75, 23), P(68, 72, 75, 23), P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"one-button mode ignores a button 2 rectangle",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{0, 0, 1000, 1000}; }),
     P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"no icon control: the same layout",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.bHasIcon = FALSE; }), P(47, 18, 250, 44),
     P(68, 72, 75, 23), P(158, 72, 75, 23), P(10, 72, 40, 16), P(147, 134, 305, 131)},
    // An icon rectangle that could not be read is never looked at, even one that would
    // cover the whole dialog.
    {"an unread icon rectangle is not used",
     With(Reference(2),
          [](TextDialogLayoutInput &in) {
              in.bHasIcon = FALSE;
              in.rIconRect = RECT{0, 0, 1000, 1000};
          }),
     P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23), P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"no control 202: the rest is unaffected",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.bHasExtra = FALSE; }), P(47, 18, 250, 44),
     P(68, 72, 75, 23), P(158, 72, 75, 23), kStill, P(147, 134, 305, 131)},
    {"two-button mode without button 2: button 1 centred alone",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.bHasCancel = FALSE; }), P(47, 18, 250, 44),
     P(113, 72, 75, 23), kStill, P(10, 72, 40, 16), P(147, 134, 305, 131)},
    {"two-button mode without button 1: button 2 centred alone with its own size",
     With(Reference(2),
          [](TextDialogLayoutInput &in) {
              in.bHasOK = FALSE;
              in.rCancelRect = RECT{290, 250, 370, 275};
          }),
     P(47, 18, 250, 44), kStill, P(111, 72, 80, 25), P(10, 72, 40, 16), P(147, 132, 305, 135)},
    // Without a button the rule gives 72 + 3 + 10 = 85, a client area 85 - 19 - 6 = 60
    // high that would cut control 202 (72 + 16) and the text control (18 + 44): the
    // dialog grows to 202's bottom 88 + margin 10 + 19 + 2 * 3 = 123.
    {"one-button mode without button 1: no button, the dialog still holds control 202",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.bHasOK = FALSE; }), P(47, 18, 250, 44), kStill, kStill,
     P(10, 72, 40, 16), P(147, 138, 305, 123)},
    {"two-button mode without either button",
     With(Reference(0),
          [](TextDialogLayoutInput &in) {
              in.bHasOK = FALSE;
              in.bHasCancel = FALSE;
          }),
     P(47, 18, 250, 44), kStill, kStill, P(10, 72, 40, 16), P(147, 138, 305, 123)},
    {"menu height, not caption height, and one frame each way",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.lCXDlgFrame = 4;
              in.lCYDlgFrame = 2;
              in.lCYMenu = 20;
          }),
     P(46, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 40, 16), P(147, 135, 305, 130)},
    // The rule would put the text control at (-23, -32), outside the client area: its
    // corner comes to (0, 0), the row to 0 + 44 + 10 = 54; button 1, centred at
    // (15 - 9) / 2 = 3, would lie on control 202 (10 to 50), so it starts at 50 + 10.
    // Client width 60 + 9 + 10 = 79, dialog 85 wide; height max(54 + 40 + 13, 74 + 10
    // + 25) = 109; centred: 100 + 315 / 2 = 257, 100 + 91 / 2 = 145.
    {"a text control left of and above the client area is brought inside, the row under it",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.rTextRect = RECT{80, 90, 100, 100};
              in.lTextWidth = 10;
              in.rOKRect = RECT{0, 0, 9, 20};
          }),
     P(0, 0, 10, 44), P(60, 54, 9, 20), kStill, P(10, 54, 40, 16), P(257, 145, 85, 109)},
    {"a dialog spanning more than 2^31 pixels is still centred exactly",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.rDlgRect = RECT{-2000000000, -2000000000, 2000000000, 2000000000};
              in.rTextRect = RECT{-2000000000 + 53, -2000000000 + 40, 0, 0};
          }),
     P(50, 18, 250, 44), P(115, 72, 75, 23), kStill, P(10, 72, 40, 16), P(-154, -66, 308, 131)},
    // The rule puts both buttons on the same spot (button 2 keeps distance 0); the
    // mend pulls them apart and right of control 202, all far beyond the int range.
    {"offsets beyond the int range are clamped",
     With(Reference(2),
          [](TextDialogLayoutInput &in) {
              in.rTextRect = RECT{nIntMax, nIntMax, nIntMax, nIntMax};
              in.rDlgRect = RECT{nIntMin, nIntMin, nIntMax, nIntMax};
              in.rOKRect = RECT{nIntMin, nIntMin, nIntMax, nIntMax};
              in.rCancelRect = RECT{nIntMin, 0, nIntMax, 0};
              in.rExtraRect = RECT{nIntMin, nIntMin, nIntMax, nIntMax};
              in.lTextWidth = nIntMax;
              in.lTextHeight = nIntMax;
          }),
     P(nIntMax, nIntMax, nIntMax, nIntMax), P(nIntMax, nIntMax, nIntMax, nIntMax),
     P(nIntMax, nIntMax, nIntMax, nIntMax), P(10, nIntMax, nIntMax, nIntMax), P(nIntMin, nIntMin, nIntMax, nIntMax)},
    // A wider control 202 (10 to 100) lies under button 1 at 68 in two-button mode: the
    // pair moves to 100 + 10 = 110 and 200 and still ends (275 + 10) inside the client
    // width 299, so the dialog keeps its size and place.
    {"control 202 under button 1: the pair moves right of it, the dialog stays",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.rExtraRect = RECT{110, 280, 200, 296}; }),
     P(47, 18, 250, 44), P(110, 72, 75, 23), P(200, 72, 75, 23), P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"the same wide control 202 beside one centred button is left as the rule puts it",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.rExtraRect = RECT{110, 280, 200, 296}; }),
     P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 90, 16), P(147, 134, 305, 131)},
    // Button 2 20 pixels right of button 1: pair width 95, button 1 at (302 - 95) / 2 =
    // 103 and button 2 at 123 would overlap; button 2 moves to 75 + 10 past button 1.
    {"buttons lying on each other are pulled apart, button 1 keeps its place",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{220, 250, 295, 273}; }),
     P(47, 18, 250, 44), P(103, 72, 75, 23), P(188, 72, 75, 23), P(10, 72, 40, 16), P(147, 134, 305, 131)},
    // A menu-bar allowance of 40 leaves a client area 131 - 40 - 6 = 85 high, above
    // button 1's bottom 95: only the height grows, to 95 + 10 + 40 + 6 = 151.
    {"a button row below the client area grows the dialog's height only",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.lCYMenu = 40;
              in.rTextRect.top = 161;
          }),
     P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 40, 16), P(147, 124, 305, 151)},
    // The reference dialog's metrics with a text 130 wide, both buttons, no control 202 and
    // an icon 32 x 70 at client (10,10), screen (113,132). The rule: dialog 47 + 3 + 130
    // + 5 = 185 wide, row span 182, pair at (182 - 165) / 2 = 8 and 98, row at 72; the
    // pair ends at 173, inside the client width 179, but button 1 (8 to 83) lies over the
    // icon (10 to 42 across, down to 80). Only the row moves: to 80 + 10 = 90, the
    // height to 90 + 46 + 3 + 10 = 149, centred at 100 + 51 / 2 = 125; the width 185,
    // the left edge 100 + 215 / 2 = 207 and the buttons' x stay the rule's.
    {"a row that fits across and lies only over the icon moves down, nothing else",
     With(Reference(2),
          [](TextDialogLayoutInput &in) {
              in.lTextWidth = 130;
              in.bHasExtra = FALSE;
              in.rIconRect = RECT{113, 132, 145, 202};
          }),
     P(47, 18, 130, 44), P(8, 90, 75, 23), P(98, 90, 75, 23), kStill, P(207, 125, 185, 149)},
    // The same with one button: button 1 at (182 - 75) / 2 = 53 clears the icon's right
    // edge 42, so the rule stands.
    {"the same dialog with one button clear of the icon: the rule stands",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.lTextWidth = 130;
              in.bHasExtra = FALSE;
              in.rIconRect = RECT{113, 132, 145, 202};
          }),
     P(47, 18, 130, 44), P(53, 72, 75, 23), kStill, kStill, P(207, 134, 185, 131)},
    // A frame of 8 leaves a client area 305 - 16 = 289 wide, left of the text control's
    // right edge 42 + 250: the dialog widens to 292 + 16 = 308.
    {"a frame wider than the text padding widens the dialog to show the text control",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.lCXDlgFrame = 8; }), P(42, 18, 250, 44),
     P(111, 72, 75, 23), kStill, P(10, 72, 40, 16), P(146, 134, 308, 131)},
};

class DialogGeometryCase : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(DialogGeometryCase, PlacesEveryWindow)
{
    const LayoutCase &c = GetParam();
    TextDialogLayout out = Compute(c.in);
    ExpectPlaced("text control", c.text, out.text);
    ExpectPlaced("button 1", c.ok, out.ok);
    ExpectPlaced("button 2", c.cancel, out.cancel);
    ExpectPlaced("control 202", c.extra, out.extra);
    ExpectPlaced("dialog", c.dlg, out.dlg);
}

// A case's test name: its index, then its description with every character that a test
// name may not hold made '_'.
template <typename Case>
std::string CaseName(const ::testing::TestParamInfo<Case> &info)
{
    std::string s;
    for (const char *p = info.param.pszName; *p; ++p)
        s += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
    return std::to_string(info.index) + "_" + s;
}

INSTANTIATE_TEST_SUITE_P(Cases, DialogGeometryCase, ::testing::ValuesIn(kCases),
                         CaseName<LayoutCase>);

// Short one-line texts (13 pixels high) on the reference dialog. The text control stays
// at (47, 18), 18 high, the row's top at 18 + 18 + 10 = 46 and the dialog's height at
// 46 + 2 * 23 + 3 + 10 = 105, centred at y 100 + 95 / 2 = 147; only the width decides.
// The rule puts button 1 at (47 + w + 5 - 75) / 2 alone or (47 + w + 5 - 165) / 2 in a
// pair, which lies on control 202 (10 to 50) below w 123 alone and w 213 in a pair. The
// mended row starts one gap right of control 202, at 60; the client area is widened to
// the row's end plus 10 and the dialog to that plus two frames of 3.
struct ShortTextCase {
    const char *pszName;
    LONG lButtonMode;
    LONG lTextWidth;
    bool bExtra;
    Placed ok, cancel, dlg;
};

std::ostream &operator<<(std::ostream &os, const ShortTextCase &c) { return os << c.pszName; }

const ShortTextCase kShortTexts[] = {
    // One button: client width 60 + 75 + 10 = 145, dialog 151 at 100 + 249 / 2 = 224.
    {"empty, one button", 1, 0, true, P(60, 46, 75, 23), kStill, P(224, 147, 151, 105)},
    {"w 20, one button", 1, 20, true, P(60, 46, 75, 23), kStill, P(224, 147, 151, 105)},
    {"w 70, one button", 1, 70, true, P(60, 46, 75, 23), kStill, P(224, 147, 151, 105)},
    // The text now needs more: rule width 47 + 3 + 110 + 5 = 165.
    {"w 110, one button", 1, 110, true, P(60, 46, 75, 23), kStill, P(217, 147, 165, 105)},
    // Button 1 at (174 - 75) / 2 = 49 still touches control 202 by one pixel.
    {"w 122, one button (last mended)", 1, 122, true, P(60, 46, 75, 23), kStill, P(211, 147, 177, 105)},
    // Button 1 at 50, right where control 202 ends: the rule stands.
    {"w 123, one button (first kept)", 1, 123, true, P(50, 46, 75, 23), kStill, P(211, 147, 178, 105)},
    // Two buttons: 60 and 150, client width 150 + 75 + 10 = 235, dialog 241 at 179.
    {"empty, two buttons", 2, 0, true, P(60, 46, 75, 23), P(150, 46, 75, 23), P(179, 147, 241, 105)},
    {"w 70, two buttons", 2, 70, true, P(60, 46, 75, 23), P(150, 46, 75, 23), P(179, 147, 241, 105)},
    // The rule's button 1 at (162 - 165) / 2 = -1, left of the client area.
    {"w 110, two buttons", 2, 110, true, P(60, 46, 75, 23), P(150, 46, 75, 23), P(179, 147, 241, 105)},
    {"w 212, two buttons (last mended)", 2, 212, true, P(60, 46, 75, 23), P(150, 46, 75, 23),
     P(166, 147, 267, 105)},
    {"w 213, two buttons (first kept)", 2, 213, true, P(50, 46, 75, 23), P(140, 46, 75, 23),
     P(166, 147, 268, 105)},
    // Without control 202 only the right edge counts: at w 117 button 2 would end at
    // 2 + 165 = 167, past the client width 47 + 117 + 5 - 3 = 166; the pair keeps x 2
    // and the client area widens to 177 (dialog 183). At w 118 it ends at 168, exactly
    // the client width.
    {"w 117, two buttons, no control 202 (mended)", 2, 117, false, P(2, 46, 75, 23), P(92, 46, 75, 23),
     P(208, 147, 183, 105)},
    {"w 118, two buttons, no control 202 (kept)", 2, 118, false, P(2, 46, 75, 23), P(92, 46, 75, 23),
     P(213, 147, 173, 105)},
};

class DialogGeometryShortText : public ::testing::TestWithParam<ShortTextCase> {};

TEST_P(DialogGeometryShortText, EndsInsideTheDialogWithoutOverlap)
{
    const ShortTextCase &c = GetParam();
    TextDialogLayoutInput in = Reference(c.lButtonMode);
    in.lTextWidth = c.lTextWidth;
    in.lTextHeight = 13;
    in.bHasExtra = c.bExtra;
    TextDialogLayout out = Compute(in);
    ExpectPlaced("text control", P(47, 18, c.lTextWidth, 18), out.text);
    ExpectPlaced("button 1", c.ok, out.ok);
    ExpectPlaced("button 2", c.cancel, out.cancel);
    ExpectPlaced("control 202", c.bExtra ? P(10, 46, 40, 16) : kStill, out.extra);
    ExpectPlaced("dialog", c.dlg, out.dlg);
}

INSTANTIATE_TEST_SUITE_P(Texts, DialogGeometryShortText, ::testing::ValuesIn(kShortTexts),
                         CaseName<ShortTextCase>);

// The usual message template as a dialog manager lays it out with an 8-point font:
// dialog (67,27)-(423,215) with metrics 3, 3, 19; icon 32 x 32 at screen (84,62),
// client (14,13), so its bottom is at 45; text control at screen (137,62), client
// (67,13); buttons 88 x 23 at screen x 158 and 263 (pair width 351 - 158 = 193, button 2
// 105 right of button 1); check box 202 53 x 16 (client x 10 to 63, under the icon).
// A one-line text 13 high puts the row at 13 + 18 + 10 = 41, four rows above the icon's
// bottom: wherever a button or control 202 would lie over the icon, the row moves down
// to 45 + 10 = 55 and the dialog's height becomes 55 + 2 * 23 + 3 + 10 = 114 (the
// client area needs 78 + 10 + 19 + 6 = 113), centred at y 27 + 74 / 2 = 64.
struct UsualCase {
    const char *pszName;
    LONG lButtonMode;
    LONG lTextWidth, lTextHeight;
    bool bExtra, bIcon;
    Placed ok, cancel, extra, dlg;
};

std::ostream &operator<<(std::ostream &os, const UsualCase &c) { return os << c.pszName; }

const UsualCase kUsual[] = {
    // The rule's pair at (153 - 193) / 2 = -20 starts left of the client area and lies
    // over control 202: it moves to 63 + 10 = 73 (and 178). Control 202 then lies over
    // the icon: the row goes to 55. Client width 178 + 88 + 10 = 276, dialog 282 at
    // 67 + 74 / 2 = 104.
    {"two buttons, the row right of 202 and under the icon", 2, 81, 13, true, true, P(73, 55, 88, 23),
     P(178, 55, 88, 23), P(10, 55, 53, 16), P(104, 64, 282, 114)},
    // The same without an icon control: the row stays under the text at 41, the height
    // is the rule's 41 + 46 + 13 = 100, centred at 27 + 88 / 2 = 71.
    {"two buttons, no icon: the row under the text", 2, 81, 13, true, false, P(73, 41, 88, 23), P(178, 41, 88, 23),
     P(10, 41, 53, 16), P(104, 71, 282, 100)},
    // Button 1 at (153 - 88) / 2 = 32 lies over control 202: it moves to 73; client
    // width 73 + 88 + 10 = 171, dialog 177 at 67 + 179 / 2 = 156.
    {"one button, the row right of 202 and under the icon", 1, 81, 13, true, true, P(73, 55, 88, 23), kStill,
     P(10, 55, 53, 16), P(156, 64, 177, 114)},
    // Without control 202 button 1 at 32 is inside the dialog and lies only over the
    // icon (32 to 46 across, 41 to 45 down): it keeps x 32, only the row moves down and
    // the height grows; the width stays the rule's 67 + 3 + 81 + 5 = 156, at 167.
    {"one button, no 202: only the icon moves the row", 1, 81, 13, false, true, P(32, 55, 88, 23), kStill,
     kStill, P(167, 64, 156, 114)},
    // The pair at -20 starts left of the client area; without control 202 it starts one
    // gap in, at 10, over the icon; client width 10 + 193 + 10 = 213, dialog 219 at 135.
    {"two buttons, no 202: the row one gap in and under the icon", 2, 81, 13, false, true, P(10, 55, 88, 23),
     P(115, 55, 88, 23), kStill, P(135, 64, 219, 114)},
    // A text 16 high (Wine's system font) puts the row at 44, one row over the icon.
    {"one button, no 202, a row one pixel over the icon", 1, 81, 16, false, true, P(32, 55, 88, 23), kStill,
     kStill, P(167, 64, 156, 114)},
    // A text 17 high puts the row at 45, right where the icon ends: the rule stands,
    // height 45 + 46 + 13 = 104 at 27 + 84 / 2 = 69.
    {"one button, no 202, a row touching the icon's bottom (kept)", 1, 81, 17, false, true, P(32, 45, 88, 23),
     kStill, kStill, P(167, 69, 156, 104)},
    // A text 108 wide puts button 1 at (180 - 88) / 2 = 46, right where the icon ends
    // across: the rule stands, dialog 183 wide at 67 + 173 / 2 = 153, 100 high at 71.
    {"one button, no 202, button 1 touching the icon's right edge (kept)", 1, 108, 13, false, true,
     P(46, 41, 88, 23), kStill, kStill, P(153, 71, 183, 100)},
    // Three lines: the row at 13 + 44 + 10 = 67 is below the icon and the rule stands:
    // button 1 at (272 - 88) / 2 = 92, dialog 275 x 126 at (107, 58).
    {"a three-line text: the rule stands", 1, 200, 39, true, true, P(92, 67, 88, 23), kStill, P(10, 67, 53, 16),
     P(107, 58, 275, 126)},
};

class DialogGeometryUsual : public ::testing::TestWithParam<UsualCase> {};

TEST_P(DialogGeometryUsual, KeepsTheButtonRowClearOfTheIcon)
{
    const UsualCase &c = GetParam();
    TextDialogLayoutInput in = {};
    in.rDlgRect = RECT{67, 27, 423, 215};
    in.rIconRect = RECT{84, 62, 116, 94};
    in.rTextRect = RECT{137, 62, 400, 95};
    in.rOKRect = RECT{158, 163, 246, 186};
    in.rCancelRect = RECT{263, 163, 351, 186};
    in.rExtraRect = RECT{84, 192, 137, 208};
    in.bHasOK = TRUE;
    in.bHasCancel = TRUE;
    in.bHasExtra = c.bExtra;
    in.bHasIcon = c.bIcon;
    in.lTextWidth = c.lTextWidth;
    in.lTextHeight = c.lTextHeight;
    in.lCXDlgFrame = 3;
    in.lCYDlgFrame = 3;
    in.lCYMenu = 19;
    in.lButtonMode = c.lButtonMode;
    TextDialogLayout out = Compute(in);
    // The text control never moves for the icon.
    ExpectPlaced("text control", P(67, 13, c.lTextWidth, c.lTextHeight + 5), out.text);
    ExpectPlaced("button 1", c.ok, out.ok);
    ExpectPlaced("button 2", c.cancel, out.cancel);
    ExpectPlaced("control 202", c.extra, out.extra);
    ExpectPlaced("dialog", c.dlg, out.dlg);
}

INSTANTIATE_TEST_SUITE_P(Template, DialogGeometryUsual, ::testing::ValuesIn(kUsual),
                         CaseName<UsualCase>);

// The text extent the layout starts from, from the measured text (250 x 39, the control
// 250 x 44) and the same text measured again in the control's own font. Each dimension
// takes the control font's measurement only where it does not fit, and one pixel is
// enough: a word one pixel wider would lose its last column, a line one pixel taller
// than the padding its last row.
struct ExtentCase {
    const char *pszName;
    BOOL bFontMeasured;
    LONG lFontWidth, lFontHeight;
    LONG lWantWidth, lWantHeight;
};

void PrintTo(const ExtentCase &c, std::ostream *os) { *os << c.pszName; }

const ExtentCase kExtents[] = {
    {"not_measured_in_a_font_of_its_own", FALSE, 400, 90, 250, 39},
    {"the_same_extent", TRUE, 250, 39, 250, 39},
    {"narrower_and_shorter", TRUE, 200, 26, 250, 39},
    {"a_word_exactly_as_wide", TRUE, 250, 26, 250, 39},
    {"a_word_one_pixel_wider", TRUE, 251, 26, 251, 39},
    {"a_word_well_wider", TRUE, 260, 26, 260, 39},
    {"lines_as_tall_as_the_padding_allows", TRUE, 250, 44, 250, 39},
    {"lines_one_pixel_taller_than_the_padding_allows", TRUE, 250, 45, 250, 45},
    {"one_pixel_more_each_way", TRUE, 251, 45, 251, 45},
    {"wider_but_shorter", TRUE, 251, 13, 251, 39},
};

class TextExtentCase : public ::testing::TestWithParam<ExtentCase> {};

TEST_P(TextExtentCase, GrowsOnlyWhatTheControlsFontDoesNotFit)
{
    const ExtentCase &c = GetParam();
    LONG lWidth = -1;
    LONG lHeight = -1;
    ChooseTextExtent(250, 39, c.bFontMeasured, c.lFontWidth, c.lFontHeight, &lWidth, &lHeight);
    EXPECT_EQ(c.lWantWidth, lWidth);
    EXPECT_EQ(c.lWantHeight, lHeight);
}

INSTANTIATE_TEST_SUITE_P(Extents, TextExtentCase, ::testing::ValuesIn(kExtents),
                         [](const ::testing::TestParamInfo<ExtentCase> &info) { return info.param.pszName; });

TEST(DialogGeometry, OnlyButtonModeOneIsOneButton)
{
    EXPECT_TRUE(IsOneButtonMode(1));
    for (LONG l : {0, 2, -1, 3, nIntMin, nIntMax})
        EXPECT_FALSE(IsOneButtonMode(l)) << l;
}

// An independent formulation of the rule in 64 bits, and of when its result stands:
// every moved window inside the client area (the dialog less one frame on the left, the
// right and the bottom, and one frame plus the menu-bar allowance on top), no two of
// the text control, the buttons and control 202 sharing a pixel (an empty window, with
// no width or no height, shares none), and neither button nor control 202 sharing a
// pixel with the icon, which stays where it was.
struct Box64 {
    bool bMove;
    long long x, y, cx, cy;
};

struct Layout64 {
    Box64 text, ok, cancel, extra, dlg;
};

long long Clamp(long long ll) { return ll > nIntMax ? nIntMax : ll < nIntMin ? nIntMin : ll; }

Layout64 RuleOf(const TextDialogLayoutInput &in)
{
    Layout64 r = {};
    const long long x = (long long)in.rTextRect.left - in.lCXDlgFrame - in.rDlgRect.left;
    const long long y = (long long)in.rTextRect.top - in.lCYMenu - in.lCYDlgFrame - in.rDlgRect.top;
    r.text = {true, x, y, in.lTextWidth, (long long)in.lTextHeight + 5};
    const long long llRowTop = y + in.lTextHeight + 15;
    const long long llSpan = x + in.lTextWidth + 5;
    const bool bOne = in.lButtonMode == 1;
    const long long okW = (long long)in.rOKRect.right - in.rOKRect.left;
    const long long okH = (long long)in.rOKRect.bottom - in.rOKRect.top;
    long long llRowHeight = 0;
    if (!bOne && in.bHasOK && in.bHasCancel) {
        const long long llOKX = (llSpan - ((long long)in.rCancelRect.right - in.rOKRect.left)) / 2;
        r.ok = {true, llOKX, llRowTop, okW, okH};
        r.cancel = {true, llOKX + in.rCancelRect.left - in.rOKRect.left, llRowTop, okW, okH};
        llRowHeight = okH;
    } else if (in.bHasOK) {
        r.ok = {true, (llSpan - okW) / 2, llRowTop, okW, okH};
        llRowHeight = okH;
    } else if (!bOne && in.bHasCancel) {
        const long long w = (long long)in.rCancelRect.right - in.rCancelRect.left;
        llRowHeight = (long long)in.rCancelRect.bottom - in.rCancelRect.top;
        r.cancel = {true, (llSpan - w) / 2, llRowTop, w, llRowHeight};
    }
    if (in.bHasExtra)
        r.extra = {true, 10, llRowTop, (long long)in.rExtraRect.right - in.rExtraRect.left,
                   (long long)in.rExtraRect.bottom - in.rExtraRect.top};
    // The frame width cancels out of the dialog width.
    const long long llDlgWidth = (long long)in.rTextRect.left - in.rDlgRect.left + in.lTextWidth + 5;
    const long long llDlgHeight = llRowTop + 2 * llRowHeight + in.lCYDlgFrame + 10;
    r.dlg = {true, in.rDlgRect.left + ((long long)in.rDlgRect.right - in.rDlgRect.left - llDlgWidth) / 2,
             in.rDlgRect.top + ((long long)in.rDlgRect.bottom - in.rDlgRect.top - llDlgHeight) / 2, llDlgWidth,
             llDlgHeight};
    return r;
}

Layout64 Widen(const TextDialogLayout &out)
{
    auto W = [](const WindowPlacement &p) { return Box64{p.bMove != FALSE, p.x, p.y, p.cx, p.cy}; };
    return Layout64{W(out.text), W(out.ok), W(out.cancel), W(out.extra), W(out.dlg)};
}

// The icon in client coordinates: its screen position less the frame across and the
// menu-bar allowance plus the frame down, as the text control's corner.
Box64 IconOf(const TextDialogLayoutInput &in)
{
    if (!in.bHasIcon)
        return Box64{false, 0, 0, 0, 0};
    return Box64{true, (long long)in.rIconRect.left - in.lCXDlgFrame - in.rDlgRect.left,
                 (long long)in.rIconRect.top - in.lCYMenu - in.lCYDlgFrame - in.rDlgRect.top,
                 (long long)in.rIconRect.right - in.rIconRect.left, (long long)in.rIconRect.bottom - in.rIconRect.top};
}

bool Shares(const Box64 &a, const Box64 &b)
{
    if (!a.bMove || !b.bMove || a.cx <= 0 || a.cy <= 0 || b.cx <= 0 || b.cy <= 0)
        return false;
    return a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy;
}

bool RowOverIcon(const TextDialogLayoutInput &in, const Layout64 &r)
{
    const Box64 icon = IconOf(in);
    return Shares(r.ok, icon) || Shares(r.cancel, icon) || Shares(r.extra, icon);
}

bool Fits(const TextDialogLayoutInput &in, const Layout64 &r)
{
    if (RowOverIcon(in, r))
        return false;
    const long long cxClient = r.dlg.cx - 2LL * in.lCXDlgFrame;
    const long long cyClient = r.dlg.cy - in.lCYMenu - 2LL * in.lCYDlgFrame;
    const Box64 *rg[] = {&r.text, &r.ok, &r.cancel, &r.extra};
    for (const Box64 *p : rg) {
        if (!p->bMove)
            continue;
        if (p->x < 0 || p->y < 0 || p->x + std::max(p->cx, 0LL) > cxClient || p->y + std::max(p->cy, 0LL) > cyClient)
            return false;
    }
    for (int i = 0; i < 4; ++i)
        for (int j = i + 1; j < 4; ++j) {
            const Box64 &a = *rg[i], &b = *rg[j];
            if (!a.bMove || !b.bMove || a.cx <= 0 || a.cy <= 0 || b.cx <= 0 || b.cy <= 0)
                continue;
            if (a.x < b.x + b.cx && b.x < a.x + a.cx && a.y < b.y + b.cy && b.y < a.y + a.cy)
                return false;
        }
    return true;
}

// Across only: the text control and every control of the row between client x 0 and
// the client width, and no two controls of the row sharing a pixel.
bool FitsAcross(const TextDialogLayoutInput &in, const Layout64 &r)
{
    const long long cxClient = r.dlg.cx - 2LL * in.lCXDlgFrame;
    const Box64 *rg[] = {&r.text, &r.ok, &r.cancel, &r.extra};
    for (const Box64 *p : rg)
        if (p->bMove && (p->x < 0 || p->x + std::max(p->cx, 0LL) > cxClient))
            return false;
    return !Shares(r.ok, r.cancel) && !Shares(r.ok, r.extra) && !Shares(r.cancel, r.extra);
}

void ExpectExactly(const char *pszWhat, const Box64 &want, const WindowPlacement &got)
{
    SCOPED_TRACE(pszWhat);
    ASSERT_EQ(want.bMove, got.bMove != FALSE);
    if (!want.bMove)
        return;
    ASSERT_EQ(got.x, Clamp(want.x));
    ASSERT_EQ(got.y, Clamp(want.y));
    ASSERT_EQ(got.cx, Clamp(want.cx));
    ASSERT_EQ(got.cy, Clamp(want.cy));
}

// What a mended layout keeps of the rule and what it guarantees, for inputs small enough
// that nothing is clamped: the same windows move; every window keeps its size (button
// 2 taking button 1's in a pair); the text control's corner is the rule's, brought to 0
// where it was negative; the row lies 10 below the text control, or, where a control of
// it would lie there over the icon, 10 below the icon; control 202 at x 10; the buttons
// keep their order; the dialog is no smaller than the rule makes it from that corner and
// is centred on its old rectangle; and the result fits, clear of the icon. Sets
// *pbUnderIcon when the icon moved the row down, *pbAcrossKept when the rule's row fit
// across and so kept every x.
void ExpectMended(const TextDialogLayoutInput &in, const Layout64 &rule, const TextDialogLayout &out,
                  bool *pbUnderIcon, bool *pbAcrossKept)
{
    const Layout64 got = Widen(out);
    ASSERT_EQ(got.ok.bMove, rule.ok.bMove);
    ASSERT_EQ(got.cancel.bMove, rule.cancel.bMove);
    ASSERT_EQ(got.extra.bMove, rule.extra.bMove);
    ASSERT_TRUE(got.text.bMove && got.dlg.bMove);
    ASSERT_EQ(got.text.x, std::max(rule.text.x, 0LL));
    ASSERT_EQ(got.text.y, std::max(rule.text.y, 0LL));
    ASSERT_EQ(got.text.cx, rule.text.cx);
    ASSERT_EQ(got.text.cy, rule.text.cy);
    // The row under the text, with every control at the x it got: over the icon or not.
    Layout64 under = got;
    const long long llTextRow = got.text.y + std::max(got.text.cy, 0LL) + 10;
    under.ok.y = under.cancel.y = under.extra.y = llTextRow;
    const Box64 icon = IconOf(in);
    *pbUnderIcon = RowOverIcon(in, under);
    const long long llRowTop = *pbUnderIcon ? icon.y + icon.cy + 10 : llTextRow;
    for (const Box64 *p : {&got.ok, &got.cancel, &got.extra}) {
        if (p->bMove) {
            ASSERT_EQ(p->y, llRowTop);
        }
    }
    for (const auto &pr : {std::make_pair(&got.ok, &rule.ok), std::make_pair(&got.cancel, &rule.cancel),
                           std::make_pair(&got.extra, &rule.extra)})
        if (pr.first->bMove) {
            ASSERT_EQ(pr.first->cx, pr.second->cx);
            ASSERT_EQ(pr.first->cy, pr.second->cy);
        }
    if (got.extra.bMove) {
        ASSERT_EQ(got.extra.x, 10);
    }
    if (got.ok.bMove && got.cancel.bMove) {
        ASSERT_EQ(got.cancel.x - got.ok.x < 0, rule.cancel.x - rule.ok.x < 0);
    }
    ASSERT_GE(got.dlg.cx, got.text.x + in.lCXDlgFrame + in.lTextWidth + 5);
    // Where the rule's row fits across (the text control and every control of the row
    // inside the client width, no two controls of the row sharing a pixel), the mend
    // keeps every x and the dialog's width and left edge: only the row and the height
    // change.
    if (FitsAcross(in, rule)) {
        for (const auto &pr : {std::make_pair(&got.text, &rule.text), std::make_pair(&got.ok, &rule.ok),
                               std::make_pair(&got.cancel, &rule.cancel), std::make_pair(&got.extra, &rule.extra)})
            if (pr.first->bMove) {
                ASSERT_EQ(pr.first->x, pr.second->x);
            }
        ASSERT_EQ(got.dlg.cx, rule.dlg.cx);
        ASSERT_EQ(got.dlg.x, rule.dlg.x);
        *pbAcrossKept = true;
    }
    ASSERT_EQ(got.dlg.x, in.rDlgRect.left + ((long long)in.rDlgRect.right - in.rDlgRect.left - got.dlg.cx) / 2);
    ASSERT_EQ(got.dlg.y, in.rDlgRect.top + ((long long)in.rDlgRect.bottom - in.rDlgRect.top - got.dlg.cy) / 2);
    ASSERT_TRUE(Fits(in, got));
}

// Extreme and random rectangles, extents and metrics: with UBSan on, any overflow in
// the computation aborts the run. Where the rule's result fits, each output must be the
// independent formulation's value, clamped to the int range.
TEST(DialogGeometry, ExtremeInputsNeverOverflowAndClampExactly)
{
    std::mt19937 rng(20261210u);
    const LONG rgExtremes[] = {nIntMin, nIntMin + 1, -65536, -1, 0, 1, 5, 65535, nIntMax - 1, nIntMax};
    auto Pick = [&]() -> LONG {
        switch (rng() % 3) {
        case 0:
            return rgExtremes[rng() % (sizeof rgExtremes / sizeof rgExtremes[0])];
        case 1:
            return static_cast<LONG>(rng());
        default:
            return static_cast<LONG>(rng() % 2001) - 1000;
        }
    };
    auto PickRect = [&]() { return RECT{Pick(), Pick(), Pick(), Pick()}; };
    int cKept = 0;
    for (int i = 0; i < 200000; ++i) {
        TextDialogLayoutInput in = {};
        in.rTextRect = PickRect();
        in.rDlgRect = PickRect();
        in.rOKRect = PickRect();
        in.rCancelRect = PickRect();
        in.rExtraRect = PickRect();
        in.rIconRect = PickRect();
        in.bHasOK = rng() % 4 != 0;
        in.bHasCancel = rng() % 4 != 0;
        in.bHasExtra = rng() % 4 != 0;
        in.bHasIcon = rng() % 4 != 0;
        in.lTextWidth = Pick();
        in.lTextHeight = Pick();
        in.lCXDlgFrame = Pick();
        in.lCYDlgFrame = Pick();
        in.lCYMenu = Pick();
        in.lButtonMode = (rng() % 2) ? 1 : Pick();
        SCOPED_TRACE("iteration " + std::to_string(i));
        TextDialogLayout out = Compute(in);
        const Layout64 rule = RuleOf(in);
        ASSERT_EQ(out.ok.bMove != FALSE, rule.ok.bMove);
        ASSERT_EQ(out.cancel.bMove != FALSE, rule.cancel.bMove);
        ASSERT_EQ(out.extra.bMove != FALSE, rule.extra.bMove);
        ASSERT_EQ(out.text.cx, in.lTextWidth);
        if (!Fits(in, rule))
            continue;
        ++cKept;
        ExpectExactly("text control", rule.text, out.text);
        ExpectExactly("button 1", rule.ok, out.ok);
        ExpectExactly("button 2", rule.cancel, out.cancel);
        ExpectExactly("control 202", rule.extra, out.extra);
        ExpectExactly("dialog", rule.dlg, out.dlg);
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(cKept, 1000); // the exact branch was exercised
}

// Random dialogs of ordinary size (nothing clamps): either the rule's result fits and
// stands to the pixel, or the mended layout keeps what it must and fits; in both, no
// button and not control 202 lies over the icon. Icons stand near the dialog's top left,
// where they often meet the row.
TEST(DialogGeometry, RandomDialogsKeepTheRuleWhereItFitsAndFitWhereMended)
{
    std::mt19937 rng(4711u);
    auto In = [&](int lo, int hi) { return static_cast<LONG>(lo + static_cast<int>(rng() % (hi - lo + 1))); };
    auto Sized = [&](LONG x, LONG y, LONG cx, LONG cy) { return RECT{x, y, x + cx, y + cy}; };
    int cKept = 0;
    int cMended = 0;
    int cUnderIcon = 0;
    int cAcrossKept = 0;
    for (int i = 0; i < 100000; ++i) {
        TextDialogLayoutInput in = {};
        const LONG x0 = In(-500, 1500), y0 = In(-500, 1000);
        in.rDlgRect = Sized(x0, y0, In(0, 600), In(0, 400));
        in.rTextRect = Sized(x0 + In(-40, 200), y0 + In(-40, 100), In(0, 300), In(0, 100));
        const LONG yRow = y0 + In(0, 300);
        const LONG xOK = x0 + In(0, 300);
        in.rOKRect = Sized(xOK, yRow, In(-10, 120), In(-5, 40));
        in.rCancelRect = Sized(xOK + In(-150, 150), yRow, In(-10, 120), In(-5, 40));
        in.rExtraRect = Sized(x0 + In(0, 50), yRow, In(-10, 120), In(-5, 40));
        in.bHasOK = rng() % 6 != 0;
        in.bHasCancel = rng() % 6 != 0;
        in.bHasExtra = rng() % 4 != 0;
        in.lTextWidth = In(0, 400);
        in.lTextHeight = In(0, 120);
        in.lCXDlgFrame = In(0, 8);
        in.lCYDlgFrame = In(0, 8);
        in.lCYMenu = In(0, 40);
        in.lButtonMode = In(-1, 2);
        in.rIconRect = Sized(x0 + In(-20, 120), y0 + In(0, 160), In(-5, 48), In(-5, 48));
        in.bHasIcon = rng() % 5 != 0;
        SCOPED_TRACE("iteration " + std::to_string(i));
        TextDialogLayout out = Compute(in);
        const Layout64 rule = RuleOf(in);
        ASSERT_FALSE(RowOverIcon(in, Widen(out)));
        if (Fits(in, rule)) {
            ++cKept;
            ExpectExactly("text control", rule.text, out.text);
            ExpectExactly("button 1", rule.ok, out.ok);
            ExpectExactly("button 2", rule.cancel, out.cancel);
            ExpectExactly("control 202", rule.extra, out.extra);
            ExpectExactly("dialog", rule.dlg, out.dlg);
        } else {
            ++cMended;
            bool bUnderIcon = false;
            bool bAcrossKept = false;
            ExpectMended(in, rule, out, &bUnderIcon, &bAcrossKept);
            cUnderIcon += bUnderIcon;
            cAcrossKept += bAcrossKept;
        }
        if (HasFatalFailure())
            return;
    }
    EXPECT_GT(cKept, 5000);
    EXPECT_GT(cMended, 5000);
    EXPECT_GT(cUnderIcon, 2000);
    EXPECT_GT(cAcrossKept, 2000);
}

} // namespace
