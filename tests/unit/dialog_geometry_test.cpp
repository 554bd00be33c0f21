// The message dialog's layout as pure arithmetic: the reference dialog to the pixel in
// both button modes, the edge cases of centring and button sizes, the dialogs that lack
// a button, and extreme coordinates that must neither overflow nor lose exactness.
#include <gtest/gtest.h>

#include <random>

#include "dialog/DialogGeometry.h"

namespace {

const int nIntMax = 2147483647;
const int nIntMin = -2147483647 - 1;

// The reference dialog: metrics 3, 3, 19; dialog (100,100)-(500,300); text control at
// (150,140); text 250 x 39; button 1 75 x 23 at x 200; button 2 75 x 23 at x 290;
// control 202 90 x 16.
TextDialogLayoutInput Reference(LONG lButtonMode)
{
    TextDialogLayoutInput in = {};
    in.rTextRect = RECT{150, 140, 350, 180};
    in.rDlgRect = RECT{100, 100, 500, 300};
    in.rOKRect = RECT{200, 250, 275, 273};
    in.rCancelRect = RECT{290, 250, 365, 273};
    in.rExtraRect = RECT{110, 280, 200, 296};
    in.bHasOK = TRUE;
    in.bHasCancel = TRUE;
    in.bHasExtra = TRUE;
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
    {"reference, one button", Reference(1), P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 90, 16),
     P(147, 134, 305, 131)},
    {"reference, two buttons (mode 2)", Reference(2), P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23),
     P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"mode 0 is two buttons", Reference(0), P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23),
     P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"mode -1 is two buttons", Reference(-1), P(47, 18, 250, 44), P(68, 72, 75, 23), P(158, 72, 75, 23),
     P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"a dialog 300 wide that grows to 305 moves left by 2 (truncating -5/2)",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.rDlgRect = RECT{100, 100, 400, 300}; }),
     P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 90, 16), P(98, 134, 305, 131)},
    {"a taller text grows the dialog one for one",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.lTextHeight = 139; }), P(47, 18, 250, 144),
     P(113, 172, 75, 23), kStill, P(10, 172, 90, 16), P(147, 85, 305, 231)},
    {"button 2 wider and taller than button 1 takes button 1's size",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{290, 250, 400, 280}; }),
     P(47, 18, 250, 44), P(51, 72, 75, 23), P(141, 72, 75, 23), P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"button 2 narrower than button 1 takes button 1's size",
     With(Reference(0), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{290, 250, 330, 260}; }),
     P(47, 18, 250, 44), P(86, 72, 75, 23), P(176, 72, 75, 23), P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"button 2 left of button 1 keeps its distance",
     With(Reference(2), [](TextDialogLayoutInput &in) {
         in.rOKRect = RECT{290, 250, 365, 273};
         in.rCancelRect = RECT{200, 250, 275, 273};
     }),
     P(47, 18, 250, 44), P(158, 72, 75, 23), P(68, 72, 75, 23), P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"one-button mode ignores a button 2 rectangle",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.rCancelRect = RECT{0, 0, 1000, 1000}; }),
     P(47, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"no control 202: the rest is unaffected",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.bHasExtra = FALSE; }), P(47, 18, 250, 44),
     P(68, 72, 75, 23), P(158, 72, 75, 23), kStill, P(147, 134, 305, 131)},
    {"two-button mode without button 2: button 1 centred alone",
     With(Reference(2), [](TextDialogLayoutInput &in) { in.bHasCancel = FALSE; }), P(47, 18, 250, 44),
     P(113, 72, 75, 23), kStill, P(10, 72, 90, 16), P(147, 134, 305, 131)},
    {"two-button mode without button 1: button 2 centred alone with its own size",
     With(Reference(2),
          [](TextDialogLayoutInput &in) {
              in.bHasOK = FALSE;
              in.rCancelRect = RECT{290, 250, 370, 275};
          }),
     P(47, 18, 250, 44), kStill, P(111, 72, 80, 25), P(10, 72, 90, 16), P(147, 132, 305, 135)},
    {"one-button mode without button 1: no button, the row adds no button height",
     With(Reference(1), [](TextDialogLayoutInput &in) { in.bHasOK = FALSE; }), P(47, 18, 250, 44), kStill, kStill,
     P(10, 72, 90, 16), P(147, 157, 305, 85)},
    {"two-button mode without either button",
     With(Reference(0),
          [](TextDialogLayoutInput &in) {
              in.bHasOK = FALSE;
              in.bHasCancel = FALSE;
          }),
     P(47, 18, 250, 44), kStill, kStill, P(10, 72, 90, 16), P(147, 157, 305, 85)},
    {"menu height, not caption height, and one frame each way",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.lCXDlgFrame = 4;
              in.lCYDlgFrame = 2;
              in.lCYMenu = 20;
          }),
     P(46, 18, 250, 44), P(113, 72, 75, 23), kStill, P(10, 72, 90, 16), P(147, 135, 305, 130)},
    {"a text control left of the dialog gives negative offsets, centring truncates toward zero",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.rTextRect = RECT{80, 90, 100, 100};
              in.lTextWidth = 10;
              in.rOKRect = RECT{0, 0, 9, 20};
          }),
     P(-23, -32, 10, 44), P(-8, 22, 9, 20), kStill, P(10, 22, 90, 16), P(302, 162, -5, 75)},
    {"a dialog spanning more than 2^31 pixels is still centred exactly",
     With(Reference(1),
          [](TextDialogLayoutInput &in) {
              in.rDlgRect = RECT{-2000000000, -2000000000, 2000000000, 2000000000};
              in.rTextRect = RECT{-2000000000 + 53, -2000000000 + 40, 0, 0};
          }),
     P(50, 18, 250, 44), P(115, 72, 75, 23), kStill, P(10, 72, 90, 16), P(-154, -66, 308, 131)},
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
     P(nIntMax, nIntMax, nIntMax, nIntMax), P(1 << 30, nIntMax, nIntMax, nIntMax),
     P(1 << 30, nIntMax, nIntMax, nIntMax), P(10, nIntMax, nIntMax, nIntMax), P(nIntMin, nIntMin, nIntMax, nIntMax)},
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

INSTANTIATE_TEST_SUITE_P(Cases, DialogGeometryCase, ::testing::ValuesIn(kCases),
                         [](const ::testing::TestParamInfo<LayoutCase> &info) {
                             std::string s;
                             for (const char *p = info.param.pszName; *p; ++p)
                                 s += isalnum(static_cast<unsigned char>(*p)) ? *p : '_';
                             return std::to_string(info.index) + "_" + s;
                         });

TEST(DialogGeometry, OnlyButtonModeOneIsOneButton)
{
    EXPECT_TRUE(IsOneButtonMode(1));
    for (LONG l : {0, 2, -1, 3, nIntMin, nIntMax})
        EXPECT_FALSE(IsOneButtonMode(l)) << l;
}

// Extreme and random rectangles, extents and metrics: with UBSan on, any overflow in
// the computation aborts the run. Each output is checked against an independent
// formulation of the same quantity in 64 bits.
long long Clamp(long long ll) { return ll > nIntMax ? nIntMax : ll < nIntMin ? nIntMin : ll; }

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
    for (int i = 0; i < 200000; ++i) {
        TextDialogLayoutInput in = {};
        in.rTextRect = PickRect();
        in.rDlgRect = PickRect();
        in.rOKRect = PickRect();
        in.rCancelRect = PickRect();
        in.rExtraRect = PickRect();
        in.bHasOK = rng() % 4 != 0;
        in.bHasCancel = rng() % 4 != 0;
        in.bHasExtra = rng() % 4 != 0;
        in.lTextWidth = Pick();
        in.lTextHeight = Pick();
        in.lCXDlgFrame = Pick();
        in.lCYDlgFrame = Pick();
        in.lCYMenu = Pick();
        in.lButtonMode = (rng() % 2) ? 1 : Pick();
        TextDialogLayout out = Compute(in);

        const bool bOne = in.lButtonMode == 1;
        SCOPED_TRACE("iteration " + std::to_string(i));
        // The frame width cancels out of the dialog width.
        const long long llDlgWidth = (long long)in.rTextRect.left - in.rDlgRect.left + in.lTextWidth + 5;
        ASSERT_TRUE(out.text.bMove && out.dlg.bMove);
        ASSERT_EQ(out.text.cx, in.lTextWidth);
        ASSERT_EQ(out.text.cy, Clamp((long long)in.lTextHeight + 5));
        ASSERT_EQ(out.dlg.cx, Clamp(llDlgWidth));
        ASSERT_EQ(out.text.x, Clamp((long long)in.rTextRect.left - in.lCXDlgFrame - in.rDlgRect.left));
        // The row's top lies 15 below the text height under the text control's top.
        const long long llRowTop =
            (long long)in.rTextRect.top - in.lCYMenu - in.lCYDlgFrame - in.rDlgRect.top + in.lTextHeight + 15;
        ASSERT_EQ(out.extra.bMove != FALSE, in.bHasExtra != FALSE);
        if (in.bHasExtra) {
            ASSERT_EQ(out.extra.x, 10);
            ASSERT_EQ(out.extra.y, Clamp(llRowTop));
            // Control 202 keeps its own size.
            ASSERT_EQ(out.extra.cx, Clamp((long long)in.rExtraRect.right - in.rExtraRect.left));
            ASSERT_EQ(out.extra.cy, Clamp((long long)in.rExtraRect.bottom - in.rExtraRect.top));
        }
        // The row is centred on the span from client x 0 to the text control's right edge.
        const long long llRowSpan =
            (long long)in.rTextRect.left - in.lCXDlgFrame - in.rDlgRect.left + in.lTextWidth + 5;
        ASSERT_EQ(out.ok.bMove != FALSE, in.bHasOK != FALSE);
        ASSERT_EQ(out.cancel.bMove != FALSE, !bOne && in.bHasCancel);
        long long llRowHeight = 0;
        if (in.bHasOK) {
            llRowHeight = (long long)in.rOKRect.bottom - in.rOKRect.top;
            ASSERT_EQ(out.ok.cy, Clamp(llRowHeight));
            ASSERT_EQ(out.ok.y, Clamp(llRowTop));
        } else if (!bOne && in.bHasCancel) {
            llRowHeight = (long long)in.rCancelRect.bottom - in.rCancelRect.top;
        }
        if (in.bHasOK && (bOne || !in.bHasCancel)) {
            // Button 1 alone, centred with its own width.
            ASSERT_EQ(out.ok.x, Clamp((llRowSpan - ((long long)in.rOKRect.right - in.rOKRect.left)) / 2));
            ASSERT_EQ(out.ok.cx, Clamp((long long)in.rOKRect.right - in.rOKRect.left));
        }
        if (!bOne && !in.bHasOK && in.bHasCancel) {
            // Button 2 alone, centred with its own size, at the row's top.
            const long long llCancelWidth = (long long)in.rCancelRect.right - in.rCancelRect.left;
            ASSERT_EQ(out.cancel.x, Clamp((llRowSpan - llCancelWidth) / 2));
            ASSERT_EQ(out.cancel.y, Clamp(llRowTop));
            ASSERT_EQ(out.cancel.cx, Clamp(llCancelWidth));
            ASSERT_EQ(out.cancel.cy, Clamp(llRowHeight));
        }
        if (!bOne && in.bHasOK && in.bHasCancel) {
            ASSERT_EQ(out.cancel.cx, out.ok.cx);
            ASSERT_EQ(out.cancel.cy, out.ok.cy);
            const long long llOKX = ((long long)in.rTextRect.left - in.lCXDlgFrame - in.rDlgRect.left +
                                     in.lTextWidth + 5 - ((long long)in.rCancelRect.right - in.rOKRect.left)) / 2;
            ASSERT_EQ(out.ok.x, Clamp(llOKX));
            ASSERT_EQ(out.cancel.x, Clamp(llOKX + in.rCancelRect.left - in.rOKRect.left));
        }
        const long long llDlgHeight = llRowTop + 2 * llRowHeight + in.lCYDlgFrame + 10;
        ASSERT_EQ(out.dlg.cy, Clamp(llDlgHeight));
        ASSERT_EQ(out.dlg.x,
                  Clamp(in.rDlgRect.left + ((long long)in.rDlgRect.right - in.rDlgRect.left - llDlgWidth) / 2));
        ASSERT_EQ(out.dlg.y,
                  Clamp(in.rDlgRect.top + ((long long)in.rDlgRect.bottom - in.rDlgRect.top - llDlgHeight) / 2));
    }
}

} // namespace
