// TVRInitTextDialog on the window double: the icon table, the exact calls of the
// measurement and the five moves in their order, what a missing control changes, and
// the focus result. Every case runs twice: through TVRInitTextDialog, and through
// TVRInitTextDialogW (TVR_DIALOG_ENTRY=wide, registered so by cmake/host.cmake), where
// the same ASCII text must give the same calls with DrawTextW and SetWindowTextW.
#include <gtest/gtest.h>

#include <algorithm>

#include "fake_fixture.h"
#include "dialog_entry.h"
#include "fake_user.h"
#include "frame/telvarid.h"

namespace {

using Lines = std::vector<std::string>;


// The reference dialog of the layout tests, as windows: the dialog's client area sits
// 3 pixels in and 22 down (frame and caption); the text control's client area is
// 200 x 40; the measurement answers 250 x 39. The icon, 32 x 32 at screen (110,140), is
// at client (7,18) by the layout's reckoning (110 - 3 - 100, 140 - 19 - 3 - 100): its
// bottom at 50 is above the reference row at 72.
class TextDialogTest : public FakePlatformTest {
protected:
    void SetUp() override
    {
        FakePlatformTest::SetUp();
        hDlg = fake::NewWindow("dialog", nullptr, 0, RECT{100, 100, 500, 300}, 3, 22);
        hIcon = fake::NewWindow("icon", hDlg, 200, RECT{110, 140, 142, 172});
        hText = fake::NewWindow("text", hDlg, 201, RECT{150, 140, 350, 180});
        hOK = fake::NewWindow("ok", hDlg, 1, RECT{200, 250, 275, 273});
        hCancel = fake::NewWindow("cancel", hDlg, 2, RECT{290, 250, 365, 273});
        hExtra = fake::NewWindow("extra", hDlg, 202, RECT{110, 280, 150, 296});
    }

    // A dialog made from the named controls only (any of "icon text ok cancel extra").
    void Rebuild(const std::string &strControls)
    {
        fake::Reset();
        hDlg = fake::NewWindow("dialog", nullptr, 0, RECT{100, 100, 500, 300}, 3, 22);
        auto Has = [&](const char *psz) { return strControls.find(psz) != std::string::npos; };
        hIcon = Has("icon") ? fake::NewWindow("icon", hDlg, 200, RECT{110, 140, 142, 172}) : nullptr;
        hText = Has("text") ? fake::NewWindow("text", hDlg, 201, RECT{150, 140, 350, 180}) : nullptr;
        hOK = Has("ok") ? fake::NewWindow("ok", hDlg, 1, RECT{200, 250, 275, 273}) : nullptr;
        hCancel = Has("cancel") ? fake::NewWindow("cancel", hDlg, 2, RECT{290, 250, 365, 273}) : nullptr;
        hExtra = Has("extra") ? fake::NewWindow("extra", hDlg, 202, RECT{110, 280, 150, 296}) : nullptr;
    }

    HWND hDlg = nullptr, hIcon = nullptr, hText = nullptr, hOK = nullptr, hCancel = nullptr, hExtra = nullptr;
};

TEST_F(TextDialogTest, OneButtonReferenceDialogMakesExactlyTheseCalls)
{
    fake::SetFocusWindow(hCancel);
    HWND hResult = InitUnderTest(hDlg, "Hello", 0, 1, 1);
    EXPECT_EQ(hResult, hCancel);
    EXPECT_EQ(fake::Calls(), ForEntry(Lines{
                                 "LoadIconA(NULL, 32516)",
                                 "SendDlgItemMessageA(dialog, 200, 370, 1, icon:32516)",
                                 "GetDlgItem(dialog, 201)",
                                 "GetDC(text)",
                                 "GetClientRect(text)",
                                 "DPtoLP(DC of text, {200,40}, 1)",
                                 "DrawTextA(DC of text, \"Hello\", -1, {0,0,200,40}, 1104)",
                                 "LPtoDP(DC of text, {250,39}, 1)",
                                 "SendMessageA(text, 49, 0, 0)",
                                 "ReleaseDC(text, DC of text)",
                                 "GetWindowRect(text)",
                                 "GetWindowRect(dialog)",
                                 "GetSystemMetrics(7)",
                                 "GetSystemMetrics(15)",
                                 "GetSystemMetrics(8)",
                                 "GetDlgItem(dialog, 1)",
                                 "GetWindowRect(ok)",
                                 "GetDlgItem(dialog, 202)",
                                 "GetWindowRect(extra)",
                                 "GetDlgItem(dialog, 200)",
                                 "GetWindowRect(icon)",
                                 "SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                                 "SetWindowTextA(text, \"Hello\")",
                                 "SetWindowPos(ok, NULL, 113, 72, 75, 23, 4)",
                                 "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                                 "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)",
                                 "GetDlgItem(dialog, 1)",
                                 "SetFocus(ok)",
                             }));
    EXPECT_EQ(fake::FocusWindow(), hOK);
    EXPECT_EQ(fake::FontsAtRelease(), Lines{"font:system"});
    EXPECT_EQ(fake::WindowTextOf(hText), "Hello");
    EXPECT_EQ(fake::ImageOf(hIcon), fake::SystemIcon(32516));
    // The moves landed: the dialog's window rectangle and a child's screen position.
    RECT rDlg = fake::WindowRectOf(hDlg);
    EXPECT_EQ((std::vector<LONG>{rDlg.left, rDlg.top, rDlg.right, rDlg.bottom}),
              (std::vector<LONG>{147, 134, 452, 265}));
    RECT rOK = fake::WindowRectOf(hOK);
    EXPECT_EQ((std::vector<LONG>{rOK.left, rOK.top}), (std::vector<LONG>{147 + 3 + 113, 134 + 22 + 72}));
}

class TextDialogModeTest : public TextDialogTest, public ::testing::WithParamInterface<LONG> {};

TEST_P(TextDialogModeTest, EveryModeButOneLaysOutTwoButtonsInOrder)
{
    InitUnderTest(hDlg, "Two", 3, GetParam(), 2);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                 "SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                                                 "SetWindowPos(ok, NULL, 68, 72, 75, 23, 4)",
                                                 "SetWindowPos(cancel, NULL, 158, 72, 75, 23, 4)",
                                                 "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                                                 "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)",
                                             }));
    // Button 2 is looked up after button 1, and both before anything moves.
    const Lines names = fake::Calls();
    auto At = [&](const char *psz) { return std::find(names.begin(), names.end(), psz) - names.begin(); };
    EXPECT_LT(At("GetDlgItem(dialog, 1)"), At("GetDlgItem(dialog, 2)"));
    EXPECT_LT(At("GetWindowRect(cancel)"), At("SetWindowPos(text, NULL, 47, 18, 250, 44, 4)"));
    EXPECT_EQ(fake::FocusWindow(), hCancel);
}

INSTANTIATE_TEST_SUITE_P(Modes, TextDialogModeTest, ::testing::Values(0, 2, -1, 3, -2147483647 - 1),
                         [](const ::testing::TestParamInfo<LONG> &info) {
                             return "mode_" + std::string(info.param < 0 ? "minus" : "") +
                                    std::to_string(info.param < 0 ? -(long long)info.param : info.param);
                         });

TEST_F(TextDialogTest, OneButtonModeNeverLooksUpOrMovesControl2)
{
    InitUnderTest(hDlg, "One", 0, 1, 1);
    for (const std::string &c : fake::Calls())
        EXPECT_EQ(c.find("cancel"), std::string::npos) << c;
    EXPECT_EQ(fake::CountCalls("GetDlgItem"), 5u); // 201, 1, 202, 200, then the focus control
}

struct IconCase {
    LONG lIconType;
    int nIcon; // 0: none
};

void PrintTo(const IconCase &c, std::ostream *os) { *os << "type " << c.lIconType; }

class TextDialogIconTest : public TextDialogTest, public ::testing::WithParamInterface<IconCase> {};

TEST_P(TextDialogIconTest, LoadsTheSystemIconForTypesZeroToThreeOnly)
{
    HANDLE hBefore = reinterpret_cast<HANDLE>(0x1234);
    fake::SetImage(hIcon, hBefore);
    InitUnderTest(hDlg, "Icon", GetParam().lIconType, 1, 1);
    if (GetParam().nIcon) {
        EXPECT_EQ(fake::CallsTo("LoadIconA"), Lines{"LoadIconA(NULL, " + std::to_string(GetParam().nIcon) + ")"});
        EXPECT_EQ(fake::CallsTo("SendDlgItemMessageA"),
                  Lines{"SendDlgItemMessageA(dialog, 200, 370, 1, icon:" + std::to_string(GetParam().nIcon) + ")"});
        EXPECT_EQ(fake::ImageOf(hIcon), fake::SystemIcon(GetParam().nIcon));
    } else {
        EXPECT_EQ(fake::CountCalls("LoadIconA"), 0u);
        EXPECT_EQ(fake::CountCalls("SendDlgItemMessageA"), 0u);
        EXPECT_EQ(fake::ImageOf(hIcon), hBefore);
    }
    // The layout and the focus run whatever the icon step did.
    EXPECT_EQ(fake::CountCalls("SetWindowPos"), 4u);
    EXPECT_EQ(fake::FocusWindow(), hOK);
}

INSTANTIATE_TEST_SUITE_P(Types, TextDialogIconTest,
                         ::testing::Values(IconCase{0, 32516}, IconCase{1, 32515}, IconCase{2, 32513},
                                           IconCase{3, 32514}, IconCase{4, 0}, IconCase{-1, 0},
                                           IconCase{-2147483647 - 1, 0}, IconCase{2147483647, 0}),
                         [](const ::testing::TestParamInfo<IconCase> &info) {
                             return "type_" + std::to_string(info.index);
                         });

// The header's names for the dialog contract carry the values the callers' templates
// and arguments use: controls 200, 201 and 202, icon types 0 to 3 (information,
// warning, error, question: icons 32516, 32515, 32513, 32514) and button mode 1.
TEST_F(TextDialogTest, HeaderNamesCarryTheContractsValues)
{
    EXPECT_EQ(TVR_ID_ICON, 200);
    EXPECT_EQ(TVR_ID_TEXT, 201);
    EXPECT_EQ(TVR_ID_EXTRA, 202);
    EXPECT_EQ(TVR_BUTTONS_ONE, 1);
    EXPECT_EQ(TVR_BUTTONS_TWO, 2);
    const std::pair<LONG, int> rgIcons[] = {{TVR_ICON_INFORMATION, 32516},
                                            {TVR_ICON_EXCLAMATION, 32515},
                                            {TVR_ICON_HAND, 32513},
                                            {TVR_ICON_QUESTION, 32514}};
    for (const auto &icon : rgIcons) {
        SetUp(); // a fresh double and reference dialog
        InitUnderTest(hDlg, "Named", icon.first, TVR_BUTTONS_ONE, TVR_ID_EXTRA);
        EXPECT_EQ(fake::CallsTo("LoadIconA"), Lines{"LoadIconA(NULL, " + std::to_string(icon.second) + ")"});
        EXPECT_EQ(fake::CountCalls("SetWindowPos"), 4u); // text, button 1, 202, dialog
        EXPECT_EQ(fake::FocusWindow(), hExtra);
    }
    SetUp();
    InitUnderTest(hDlg, "Named", TVR_ICON_QUESTION, TVR_BUTTONS_TWO, IDCANCEL);
    EXPECT_EQ(fake::CountCalls("SetWindowPos"), 5u); // text, buttons 1 and 2, 202, dialog
    EXPECT_EQ(fake::FocusWindow(), hCancel);
}

TEST_F(TextDialogTest, NoIconFromTheSystemLeavesTheIconControlAlone)
{
    fake::FailCall("LoadIconA", 0);
    InitUnderTest(hDlg, "Icon", 2, 1, 1);
    EXPECT_EQ(fake::CountCalls("LoadIconA"), 1u);
    EXPECT_EQ(fake::CountCalls("SendDlgItemMessageA"), 0u);
    EXPECT_EQ(fake::ImageOf(hIcon), nullptr);
    EXPECT_EQ(fake::CountCalls("SetWindowPos"), 4u);
}

// Failures that stop the layout before anything moves: the dialog keeps its size and
// place, the text is not written, a DC that was taken is given back, and the icon and
// the focus still happen.
struct StopCase {
    const char *pszName;
    const char *pszFail;  // call to fail, or nullptr
    int nth;              // which call of it
    bool bNoText;         // the dialog has no control 201
    bool bTookDC;
};

void PrintTo(const StopCase &c, std::ostream *os) { *os << c.pszName; }

class TextDialogStopTest : public TextDialogTest, public ::testing::WithParamInterface<StopCase> {};

TEST_P(TextDialogStopTest, NothingMoves)
{
    const StopCase &c = GetParam();
    if (c.bNoText)
        Rebuild("icon ok cancel extra");
    if (c.pszFail)
        fake::FailCall(ForEntry(c.pszFail).c_str(), 0, c.nth);
    fake::SetFocusWindow(hExtra);
    HWND hResult = InitUnderTest(hDlg, "Stop", 1, 0, 2);
    EXPECT_EQ(fake::CountCalls("SetWindowPos"), 0u);
    EXPECT_EQ(fake::CountCalls(ForEntry("SetWindowTextA").c_str()), 0u);
    EXPECT_EQ(fake::CountCalls("ReleaseDC"), c.bTookDC ? 1u : 0u);
    EXPECT_EQ(fake::OpenDCCount(), 0u);
    RECT r = fake::WindowRectOf(hDlg);
    EXPECT_EQ((std::vector<LONG>{r.left, r.top, r.right, r.bottom}), (std::vector<LONG>{100, 100, 500, 300}));
    EXPECT_EQ(fake::ImageOf(hIcon), fake::SystemIcon(32515));
    EXPECT_EQ(hResult, hExtra);
    EXPECT_EQ(fake::FocusWindow(), hCancel);
}

INSTANTIATE_TEST_SUITE_P(Stops, TextDialogStopTest,
                         ::testing::Values(StopCase{"no_control_201", nullptr, 0, true, false},
                                           StopCase{"no_device_context", "GetDC", 0, false, false},
                                           StopCase{"no_client_rectangle", "GetClientRect", 0, false, true},
                                           StopCase{"text_rectangle_unreadable", "GetWindowRect", 1, false, true},
                                           StopCase{"dialog_rectangle_unreadable", "GetWindowRect", 2, false,
                                                    true}),
                         [](const ::testing::TestParamInfo<StopCase> &info) { return info.param.pszName; });

TEST_F(TextDialogTest, NoControl201MakesNoMeasurementCalls)
{
    Rebuild("icon ok cancel extra");
    InitUnderTest(hDlg, "Stop", 0, 1, 1);
    EXPECT_EQ(fake::CallNames(), (Lines{"LoadIconA", "SendDlgItemMessageA", "GetDlgItem", "GetDlgItem", "SetFocus"}));
}

TEST_F(TextDialogTest, MissingFocusControlGivesSetFocusNullAndReturnsItsResult)
{
    fake::SetFocusWindow(hOK);
    HWND hResult = InitUnderTest(hDlg, "Focus", 0, 1, 999);
    EXPECT_EQ(fake::CallsTo("SetFocus"), Lines{"SetFocus(NULL)"});
    EXPECT_EQ(hResult, hOK);
    EXPECT_EQ(fake::FocusWindow(), nullptr);
}

TEST_F(TextDialogTest, NoPreviousFocusReturnsNull)
{
    EXPECT_EQ(InitUnderTest(hDlg, "Focus", 0, 1, 202), nullptr);
    EXPECT_EQ(fake::FocusWindow(), hExtra);
}

// Only the bottom-right corner goes through the mapping, once each way: with logical =
// device * 2 + 7, a converted left or top would show as 7.
TEST_F(TextDialogTest, ConvertsOnlyTheBottomRightPointEachWay)
{
    fake::SetMapping(2, 7);
    fake::SetTextExtent(507, 85); // logical; back in device units 250 x 39
    InitUnderTest(hDlg, "Scaled", 0, 1, 1);
    EXPECT_EQ(fake::CallsTo("DPtoLP"), Lines{"DPtoLP(DC of text, {200,40}, 1)"});
    EXPECT_EQ(fake::CallsTo(ForEntry("DrawTextA").c_str()),
              ForEntry(Lines{"DrawTextA(DC of text, \"Scaled\", -1, {0,0,407,87}, 1104)"}));
    EXPECT_EQ(fake::CallsTo("LPtoDP"), Lines{"LPtoDP(DC of text, {507,85}, 1)"});
    EXPECT_EQ(fake::CallsTo("SetWindowPos").front(), "SetWindowPos(text, NULL, 47, 18, 250, 44, 4)");
}

TEST_F(TextDialogTest, ReleasesTheDCBeforeTheFirstMove)
{
    InitUnderTest(hDlg, "Order", 0, 0, 1);
    const Lines names = fake::CallNames();
    auto itRelease = std::find(names.begin(), names.end(), "ReleaseDC");
    auto itMove = std::find(names.begin(), names.end(), "SetWindowPos");
    ASSERT_NE(itRelease, names.end());
    ASSERT_NE(itMove, names.end());
    EXPECT_LT(itRelease - names.begin(), itMove - names.begin());
    EXPECT_EQ(std::count(names.begin(), names.end(), "GetDC"), 1);
}

TEST_F(TextDialogTest, TheTextHeightGrowsTheDialogOneForOne)
{
    fake::SetTextExtent(170, 139);
    InitUnderTest(hDlg, "Tall", 0, 1, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                 "SetWindowPos(text, NULL, 47, 18, 170, 144, 4)",
                                                 "SetWindowPos(ok, NULL, 73, 172, 75, 23, 4)",
                                                 "SetWindowPos(extra, NULL, 10, 172, 40, 16, 4)",
                                                 "SetWindowPos(dialog, NULL, 187, 85, 225, 231, 4)",
                                             }));
}

// "Modem found." measured 70 x 13 with both buttons: the rule would centre the pair at
// (124 - 165) / 2 = -20, across control 202 and past the dialog's right edge, in a row
// at 18 + 18 + 10 = 46. The row is mended: the pair starts one gap right of control 202
// (10 + 40 + 10), the dialog widens to 150 + 75 + 10 + 2 * 3 = 241 and is centred at
// 100 + 159 / 2. Control 202 at (10,46) would lie over the icon (7 to 39 across, 18 to 50
// down), so the row goes to 50 + 10 = 60 and the dialog to 60 + 46 + 3 + 10 = 119 high,
// at 100 + 81 / 2.
TEST_F(TextDialogTest, AShortTextGetsAButtonRowInsideTheDialog)
{
    fake::SetTextExtent(70, 13);
    InitUnderTest(hDlg, "Modem found.", 0, 2, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                 "SetWindowPos(text, NULL, 47, 18, 70, 18, 4)",
                                                 "SetWindowPos(ok, NULL, 60, 60, 75, 23, 4)",
                                                 "SetWindowPos(cancel, NULL, 150, 60, 75, 23, 4)",
                                                 "SetWindowPos(extra, NULL, 10, 60, 40, 16, 4)",
                                                 "SetWindowPos(dialog, NULL, 179, 140, 241, 119, 4)",
                                             }));
}

// The same short text where the icon can't be taken into account: no icon control, no
// window for it, or a window rectangle that can't be read (the double then leaves a
// rectangle over the whole dialog behind, which must not be used). The row stays under
// the text at 46 and the dialog 105 high at 100 + 95 / 2; the icon is never moved.
struct UnknownIconCase {
    const char *pszName;
    const char *pszFail; // call to fail, or nullptr for a dialog without control 200
    int nth;
    Lines reads; // the icon's calls
};

void PrintTo(const UnknownIconCase &c, std::ostream *os) { *os << c.pszName; }

class TextDialogUnknownIconTest : public TextDialogTest, public ::testing::WithParamInterface<UnknownIconCase> {};

TEST_P(TextDialogUnknownIconTest, LeavesTheRowUnderTheText)
{
    const UnknownIconCase &c = GetParam();
    if (c.pszFail)
        fake::FailCall(ForEntry(c.pszFail).c_str(), 0, c.nth);
    else
        Rebuild("text ok cancel extra");
    fake::SetFailedWindowRect(RECT{0, 0, 1000, 1000});
    fake::SetTextExtent(70, 13);
    InitUnderTest(hDlg, "Modem found.", 0, 2, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                 "SetWindowPos(text, NULL, 47, 18, 70, 18, 4)",
                                                 "SetWindowPos(ok, NULL, 60, 46, 75, 23, 4)",
                                                 "SetWindowPos(cancel, NULL, 150, 46, 75, 23, 4)",
                                                 "SetWindowPos(extra, NULL, 10, 46, 40, 16, 4)",
                                                 "SetWindowPos(dialog, NULL, 179, 147, 241, 105, 4)",
                                             }));
    Lines reads;
    for (const std::string &line : fake::Calls())
        if (line == "GetDlgItem(dialog, 200)" || line.find("(icon") != std::string::npos)
            reads.push_back(line);
    EXPECT_EQ(reads, c.reads);
}

INSTANTIATE_TEST_SUITE_P(
    Icons, TextDialogUnknownIconTest,
    ::testing::Values(
        UnknownIconCase{"no_control_200", nullptr, 0, Lines{"GetDlgItem(dialog, 200)"}},
        // GetDlgItem: 201, 1, 2, 202, then 200.
        UnknownIconCase{"no_window_for_control_200", "GetDlgItem", 5, Lines{"GetDlgItem(dialog, 200)"}},
        // GetWindowRect: text, dialog, 1, 2, 202, then the icon.
        UnknownIconCase{"icon_rectangle_unreadable", "GetWindowRect", 6,
                        Lines{"GetDlgItem(dialog, 200)", "GetWindowRect(icon)"}}),
    [](const ::testing::TestParamInfo<UnknownIconCase> &info) { return info.param.pszName; });

// The two frame metrics differ (4 across, 2 down) so that reading one for the other
// shows: x 150 - 4 - 100 = 46, y 140 - 19 - 2 - 100 = 19, width 46 + 4 + 255 = 305,
// row 19 + 44 + 10 = 73, height 73 + 46 + 2 + 10 = 131.
TEST_F(TextDialogTest, ReadsEachFrameMetricForItsOwnDirection)
{
    fake::SetSystemMetric(SM_CXDLGFRAME, 4);
    fake::SetSystemMetric(SM_CYDLGFRAME, 2);
    InitUnderTest(hDlg, "Frames", 0, 2, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                 "SetWindowPos(text, NULL, 46, 19, 250, 44, 4)",
                                                 "SetWindowPos(ok, NULL, 68, 73, 75, 23, 4)",
                                                 "SetWindowPos(cancel, NULL, 158, 73, 75, 23, 4)",
                                                 "SetWindowPos(extra, NULL, 10, 73, 40, 16, 4)",
                                                 "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)",
                                             }));
}

// The text is measured in the DC's own font, and the layout is computed from that
// measurement. When the control has a font of its own (WM_GETFONT), the text is measured
// again in it, within the rectangle the first measurement gave: where it fits the
// control that the first measurement makes (that width, that height + 5), the first
// measurement stands to the pixel; otherwise a word wider than that width widens the
// control to the word, and lines taller than that height + 5 make the measured height
// theirs (the control that height + 5), each dimension on its own.
//
// Two text controls: the reference one (client 200 x 40, the system font measuring
// 250 x 39), and the one of an ordinary 8-point dialog: 225 wide, where the system
// font wraps the text into 3 lines 16 high, widest 210 (210 x 48).
struct FontCase {
    const char *pszName;
    LONG cxClient, cyClient;         // the text control, at screen (150,140)
    LONG cxSystem, cySystem;         // the system font's extent
    LONG cxFont, cyFont;             // the control's font (0 x 0: it has none)
    LONG cxWrapBelow, cxWrap, cyWrap; // the control's font within a bound narrower than
                                      // cxWrapBelow (0: no wrap)
    Lines moves;
};

void PrintTo(const FontCase &c, std::ostream *os) { *os << c.pszName; }

class TextDialogFontTest : public TextDialogTest, public ::testing::WithParamInterface<FontCase> {};

// What the text needs in the font the control draws with, wrapped at the control's
// width as the call left it (measured through the double after the call's own calls
// have been checked).
std::pair<LONG, LONG> NeedInControlFont(HWND hText, HFONT hFont)
{
    RECT r = fake::WindowRectOf(hText);
    RECT rBound = {0, 0, r.right - r.left, 0};
    HDC hdc = GetDC(hText);
    HGDIOBJ hOld = SelectObject(hdc, hFont);
    const int nHeight = DrawTextA(hdc, "Fonts", -1, &rBound, DT_CALCRECT | DT_EXPANDTABS | DT_WORDBREAK);
    SelectObject(hdc, hOld);
    ReleaseDC(hText, hdc);
    return {rBound.right, nHeight};
}

TEST_P(TextDialogFontTest, KeepsTheMeasurementWhereTheControlsFontFitsItAndEnlargesOnlyWhereNot)
{
    const FontCase &c = GetParam();
    Rebuild("icon ok cancel extra");
    hText = fake::NewWindow("text", hDlg, 201, RECT{150, 140, 150 + c.cxClient, 140 + c.cyClient});
    fake::SetTextExtent(c.cxSystem, c.cySystem);
    HFONT hFont = nullptr;
    if (c.cxFont || c.cyFont) {
        hFont = fake::NewFont("dialog", c.cxFont, c.cyFont);
        if (c.cxWrapBelow)
            fake::SetFontWrap(hFont, c.cxWrapBelow, c.cxWrap, c.cyWrap);
        fake::SetWindowFont(hText, hFont);
    }
    InitUnderTest(hDlg, "Fonts", 0, 1, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), c.moves);
    EXPECT_EQ(fake::FontsAtRelease(), Lines{"font:system"});
    const std::string strFirst = ForEntry("DrawTextA(DC of text, \"Fonts\", -1, {0,0," +
                                          std::to_string(c.cxClient) + "," + std::to_string(c.cyClient) + "}, 1104)");
    if (hFont) {
        EXPECT_EQ(fake::CallsTo("SelectObject"),
                  (Lines{"SelectObject(DC of text, font:dialog)", "SelectObject(DC of text, font:system)"}));
        // The second measurement is bounded by the first one's rectangle.
        EXPECT_EQ(fake::CallsTo(ForEntry("DrawTextA").c_str()),
                  ForEntry(Lines{strFirst, "DrawTextA(DC of text, \"Fonts\", -1, {0,0," + std::to_string(c.cxSystem) + "," +
                                       std::to_string(c.cySystem) + "}, 1104)"}));
        // Whatever the branch, the control holds every line of the text in its font.
        const std::pair<LONG, LONG> need = NeedInControlFont(hText, hFont);
        const RECT r = fake::WindowRectOf(hText);
        EXPECT_LE(need.first, r.right - r.left);
        EXPECT_LE(need.second, r.bottom - r.top);
    } else {
        EXPECT_EQ(fake::CountCalls("SelectObject"), 0u);
        EXPECT_EQ(fake::CallsTo(ForEntry("DrawTextA").c_str()), Lines{strFirst});
    }
}

const Lines kReferenceMoves = {
    "SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
    "SetWindowPos(ok, NULL, 113, 72, 75, 23, 4)",
    "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
    "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)",
};

// The 8-point dialog's layout from the system font's 210 x 48: text 210 x 53, dialog 47
// + 3 + 210 + 5 = 265 wide at 100 + 135 / 2 = 167, row at 18 + 53 + 10 = 81, button 1
// at (262 - 75) / 2 = 93, height 81 + 46 + 13 = 140 at 100 + 60 / 2 = 130.
const Lines kEightPointMoves = {
    "SetWindowPos(text, NULL, 47, 18, 210, 53, 4)",
    "SetWindowPos(ok, NULL, 93, 81, 75, 23, 4)",
    "SetWindowPos(extra, NULL, 10, 81, 40, 16, 4)",
    "SetWindowPos(dialog, NULL, 167, 130, 265, 140, 4)",
};

INSTANTIATE_TEST_SUITE_P(
    Fonts, TextDialogFontTest,
    ::testing::Values(
        FontCase{"no_control_font", 200, 40, 250, 39, 0, 0, 0, 0, 0, kReferenceMoves},
        FontCase{"system_font_needs_more", 200, 40, 250, 39, 200, 26, 0, 0, 0, kReferenceMoves},
        FontCase{"same_extent", 200, 40, 250, 39, 250, 39, 0, 0, 0, kReferenceMoves},
        // 44 lines high: exactly the control's 39 + 5, so the measurement stands.
        FontCase{"taller_by_the_padding_fits", 200, 40, 250, 39, 250, 44, 0, 0, 0, kReferenceMoves},
        // 45 high no longer fits: text 250 x (45 + 5), row at 18 + 50 + 10 = 78, dialog
        // 78 + 46 + 13 = 137 high at 100 + 63 / 2 = 131.
        FontCase{"taller_than_the_padding_enlarges",
                 200, 40, 250, 39, 250, 45, 0, 0, 0,
                 {"SetWindowPos(text, NULL, 47, 18, 250, 50, 4)", "SetWindowPos(ok, NULL, 113, 78, 75, 23, 4)",
                  "SetWindowPos(extra, NULL, 10, 78, 40, 16, 4)",
                  "SetWindowPos(dialog, NULL, 147, 131, 305, 137, 4)"}},
        // Two more lines in the control's font: text 250 x (78 + 5), row at 18 + 83 +
        // 10 = 111, dialog 111 + 46 + 13 = 170 high at 100 + 30 / 2.
        FontCase{"control_font_needs_more",
                 200, 40, 250, 39, 250, 78, 0, 0, 0,
                 {"SetWindowPos(text, NULL, 47, 18, 250, 83, 4)", "SetWindowPos(ok, NULL, 113, 111, 75, 23, 4)",
                  "SetWindowPos(extra, NULL, 10, 111, 40, 16, 4)",
                  "SetWindowPos(dialog, NULL, 147, 115, 305, 170, 4)"}},
        // A word 260 wide in the control's font, in lines that fit: only the width grows,
        // 260 x 44, dialog 47 + 3 + 260 + 5 = 315 wide, button 1 at (312 - 75) / 2 = 118.
        FontCase{"a_word_wider_than_the_measured_width",
                 200, 40, 250, 39, 260, 26, 0, 0, 0,
                 {"SetWindowPos(text, NULL, 47, 18, 260, 44, 4)", "SetWindowPos(ok, NULL, 118, 72, 75, 23, 4)",
                  "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                  "SetWindowPos(dialog, NULL, 142, 134, 315, 131, 4)"}},
        // A word one pixel wider than the measured width: its last column would be
        // clipped, so the control takes it, 251 x 44; dialog 47 + 3 + 251 + 5 = 306
        // wide at 100 + 94 / 2 = 147, button 1 at (303 - 75) / 2 = 114.
        FontCase{"a_word_one_pixel_wider_than_the_measured_width",
                 200, 40, 250, 39, 251, 26, 0, 0, 0,
                 {"SetWindowPos(text, NULL, 47, 18, 251, 44, 4)", "SetWindowPos(ok, NULL, 114, 72, 75, 23, 4)",
                  "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                  "SetWindowPos(dialog, NULL, 147, 134, 306, 131, 4)"}},
        // Both: 260 x (78 + 5), row at 111, dialog 315 x 170 at (142, 115).
        FontCase{"a_wider_word_and_taller_lines",
                 200, 40, 250, 39, 260, 78, 0, 0, 0,
                 {"SetWindowPos(text, NULL, 47, 18, 260, 83, 4)", "SetWindowPos(ok, NULL, 118, 111, 75, 23, 4)",
                  "SetWindowPos(extra, NULL, 10, 111, 40, 16, 4)",
                  "SetWindowPos(dialog, NULL, 142, 115, 315, 170, 4)"}},
        // The 8-point dialog. Within the control's 225 the 8-point font wraps into 2
        // lines, widest 222 (wider than the system font's 210); within the measured 210
        // it wraps into 3 lines 13 high, widest 205: 39 fits the control's 48 + 5, so
        // the system font's measurement stands (not 222 x 53).
        FontCase{"wider_in_one_taller_in_the_other", 225, 48, 210, 48, 222, 26, 222, 205, 39, kEightPointMoves},
        FontCase{"no_control_font_eight_point_dialog", 225, 48, 210, 48, 0, 0, 0, 0, 0, kEightPointMoves},
        // A 14-point font: 4 lines 23 high within 225, 5 lines (208 x 115) within 210.
        // 115 is taller than 53: text 210 x (115 + 5), row at 18 + 120 + 10 = 148,
        // dialog 148 + 46 + 13 = 207 high at 100 + (200 - 207) / 2 = 97 (-3.5 truncated).
        FontCase{"fourteen_point_font_enlarges_to_show_every_line",
                 225, 48, 210, 48, 224, 92, 222, 208, 115,
                 {"SetWindowPos(text, NULL, 47, 18, 210, 120, 4)", "SetWindowPos(ok, NULL, 93, 148, 75, 23, 4)",
                  "SetWindowPos(extra, NULL, 10, 148, 40, 16, 4)",
                  "SetWindowPos(dialog, NULL, 167, 97, 265, 207, 4)"}}),
    [](const ::testing::TestParamInfo<FontCase> &info) { return info.param.pszName; });

// Every path through the measurement gives the DC back holding the font it came with.
// The system font measures 150 x 39; a failed DrawTextA leaves 400 x 300 in its
// rectangle, so a failed measurement in the control's font that counted would show as
// a 400-wide text control.
struct FontPathCase {
    const char *pszName;
    const char *pszFail; // call to fail
    int nth;             // which call of it
    bool bMoves;         // the layout still runs
    Lines selects;
};

void PrintTo(const FontPathCase &c, std::ostream *os) { *os << c.pszName; }

class TextDialogFontPathTest : public TextDialogTest, public ::testing::WithParamInterface<FontPathCase> {};

TEST_P(TextDialogFontPathTest, ReleasesTheDCWithItsOwnFont)
{
    const FontPathCase &c = GetParam();
    fake::SetWindowFont(hText, fake::NewFont("big", 250, 78));
    fake::SetTextExtent(150, 39);
    fake::SetFailedDrawTextRect(RECT{0, 0, 400, 300});
    fake::FailCall(ForEntry(c.pszFail).c_str(), 0, c.nth);
    InitUnderTest(hDlg, "Paths", 0, 1, 1);
    EXPECT_EQ(fake::CountCalls("ReleaseDC"), 1u);
    EXPECT_EQ(fake::OpenDCCount(), 0u);
    EXPECT_EQ(fake::FontsAtRelease(), Lines{"font:system"});
    EXPECT_EQ(fake::CallsTo("SelectObject"), c.selects);
    // Without a measurement in the control's font the layout is the system font's:
    // width 47 + 3 + 150 + 5 = 205, button 1 at (202 - 75) / 2 = 63.
    if (c.bMoves)
        EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                     "SetWindowPos(text, NULL, 47, 18, 150, 44, 4)",
                                                     "SetWindowPos(ok, NULL, 63, 72, 75, 23, 4)",
                                                     "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                                                     "SetWindowPos(dialog, NULL, 197, 134, 205, 131, 4)",
                                                 }));
    else
        EXPECT_EQ(fake::CountCalls("SetWindowPos"), 0u);
}

INSTANTIATE_TEST_SUITE_P(
    Paths, TextDialogFontPathTest,
    ::testing::Values(
        FontPathCase{"font_not_selected", "SelectObject", 1, true, Lines{"SelectObject(DC of text, font:big)"}},
        FontPathCase{"measurement_in_the_font_fails", "DrawTextA", 2, true,
                     Lines{"SelectObject(DC of text, font:big)", "SelectObject(DC of text, font:system)"}},
        FontPathCase{"no_font_answer", "SendMessageA", 1, true, Lines{}},
        FontPathCase{"no_client_rectangle", "GetClientRect", 1, false, Lines{}}),
    [](const ::testing::TestParamInfo<FontPathCase> &info) { return info.param.pszName; });

struct MissingCase {
    const char *pszName;
    const char *pszControls;
    LONG lButtonMode;
    Lines moves;
};

void PrintTo(const MissingCase &c, std::ostream *os) { *os << c.pszName; }

class TextDialogMissingTest : public TextDialogTest, public ::testing::WithParamInterface<MissingCase> {};

TEST_P(TextDialogMissingTest, LaysOutWhatIsThere)
{
    Rebuild(GetParam().pszControls);
    InitUnderTest(hDlg, "Missing", 0, GetParam().lButtonMode, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), GetParam().moves);
}

INSTANTIATE_TEST_SUITE_P(
    Controls, TextDialogMissingTest,
    ::testing::Values(
        MissingCase{"no_control_202", "icon text ok cancel", 0,
                    Lines{"SetWindowPos(text, NULL, 47, 18, 250, 44, 4)", "SetWindowPos(ok, NULL, 68, 72, 75, 23, 4)",
                          "SetWindowPos(cancel, NULL, 158, 72, 75, 23, 4)",
                          "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)"}},
        MissingCase{"two_buttons_without_button_2", "icon text ok extra", 0,
                    Lines{"SetWindowPos(text, NULL, 47, 18, 250, 44, 4)", "SetWindowPos(ok, NULL, 113, 72, 75, 23, 4)",
                          "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                          "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)"}},
        MissingCase{"two_buttons_without_button_1", "icon text cancel extra", 2,
                    Lines{"SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                          "SetWindowPos(cancel, NULL, 113, 72, 75, 23, 4)",
                          "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                          "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)"}},
        // Without a button the rule's height 85 leaves a client area 60 high; the dialog
        // grows to hold control 202 (88 + 10 + 25) or the text control (62 + 10 + 25).
        MissingCase{"one_button_without_button_1", "icon text cancel extra", 1,
                    Lines{"SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                          "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                          "SetWindowPos(dialog, NULL, 147, 138, 305, 123, 4)"}},
        MissingCase{"no_buttons_no_202", "icon text", 0,
                    Lines{"SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                          "SetWindowPos(dialog, NULL, 147, 151, 305, 97, 4)"}}),
    [](const ::testing::TestParamInfo<MissingCase> &info) { return info.param.pszName; });

TEST_F(TextDialogTest, UnreadableButtonRectangleCountsAsMissingButton)
{
    fake::FailCall("GetWindowRect", 0, 3); // text, dialog, then button 1
    InitUnderTest(hDlg, "Unreadable", 0, 0, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), (Lines{
                                                 "SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                                                 "SetWindowPos(cancel, NULL, 113, 72, 75, 23, 4)",
                                                 "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                                                 "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)",
                                             }));
}

// The second call measures against the width the first call gave the text control and
// centres on the rectangle the first call gave the dialog; on this dialog, whose client
// area sits where the metrics say, it changes nothing more.
TEST_F(TextDialogTest, SecondCallStartsFromTheFirstCallsGeometry)
{
    InitUnderTest(hDlg, "Again", 0, 1, 1);
    const size_t nFirst = fake::Calls().size();
    InitUnderTest(hDlg, "Again", 0, 1, 1);
    Lines draws, moves;
    for (size_t i = nFirst; i < fake::Calls().size(); ++i) {
        const std::string &c = fake::Calls()[i];
        if (c.rfind(ForEntry("DrawTextA"), 0) == 0)
            draws.push_back(c);
        if (c.rfind("SetWindowPos", 0) == 0)
            moves.push_back(c);
    }
    EXPECT_EQ(draws, ForEntry(Lines{"DrawTextA(DC of text, \"Again\", -1, {0,0,250,44}, 1104)"}));
    EXPECT_EQ(moves, (Lines{
                         "SetWindowPos(text, NULL, 47, 18, 250, 44, 4)",
                         "SetWindowPos(ok, NULL, 113, 72, 75, 23, 4)",
                         "SetWindowPos(extra, NULL, 10, 72, 40, 16, 4)",
                         "SetWindowPos(dialog, NULL, 147, 134, 305, 131, 4)",
                     }));
}

// Extreme rectangles through the whole call: a dialog spanning the full 32-bit range and
// a text extent of the largest int. The library's sums leave the 32-bit range and must
// come back clamped, exact wherever the value fits; with UBSan on, an overflow anywhere
// on the way (the layout or the double's window arithmetic) aborts the run.
struct ExtremeCase {
    const char *pszName;
    RECT rDlg;          // screen; the client area sits 3 in and 22 down
    LONG cxText, cyText; // the measurement's answer
    LONG lButtonMode;
    Lines moves;
};

void PrintTo(const ExtremeCase &c, std::ostream *os) { *os << c.pszName; }

class TextDialogExtremeTest : public FakePlatformTest, public ::testing::WithParamInterface<ExtremeCase> {};

TEST_P(TextDialogExtremeTest, ClampsWhatDoesNotFitAndKeepsTheRestExact)
{
    const ExtremeCase &c = GetParam();
    HWND hDlg = fake::NewWindow("dialog", nullptr, 0, c.rDlg, 3, 22);
    // Children are given in client coordinates of the dialog, as in the reference
    // dialog: text (50,18) 200 x 40, button 1 (97,128) 75 x 23, button 2 (187,128)
    // 75 x 23, control 202 (7,158) 90 x 16.
    const long long llX = static_cast<long long>(c.rDlg.left) + 3;
    const long long llY = static_cast<long long>(c.rDlg.top) + 22;
    auto At = [&](long long x, long long y, long long cx, long long cy) {
        return RECT{static_cast<LONG>(llX + x), static_cast<LONG>(llY + y), static_cast<LONG>(llX + x + cx),
                    static_cast<LONG>(llY + y + cy)};
    };
    HWND hText = fake::NewWindow("text", hDlg, 201, At(50, 18, 200, 40));
    fake::NewWindow("ok", hDlg, 1, At(97, 128, 75, 23));
    fake::NewWindow("cancel", hDlg, 2, At(187, 128, 75, 23));
    fake::NewWindow("extra", hDlg, 202, At(7, 158, 90, 16));
    fake::SetTextExtent(c.cxText, c.cyText);

    InitUnderTest(hDlg, "Extreme", 0, c.lButtonMode, 1);
    EXPECT_EQ(fake::CallsTo("SetWindowPos"), c.moves);
    EXPECT_EQ(fake::WindowTextOf(hText), "Extreme");
}

const LONG kMax = 2147483647;
const LONG kMin = -2147483647 - 1;

INSTANTIATE_TEST_SUITE_P(
    Extremes, TextDialogExtremeTest,
    ::testing::Values(
        // The dialog is 4e9 pixels each way: its old size leaves the int range, yet
        // every result fits and is exact: x = -2e9 + (4e9 - 308) / 2.
        ExtremeCase{"dialog_wider_than_2_to_31", RECT{-2000000000, -2000000000, 2000000000, 2000000000}, 250, 39,
                    1,
                    Lines{"SetWindowPos(text, NULL, 50, 18, 250, 44, 4)",
                          "SetWindowPos(ok, NULL, 115, 72, 75, 23, 4)",
                          "SetWindowPos(extra, NULL, 10, 72, 90, 16, 4)",
                          "SetWindowPos(dialog, NULL, -154, -66, 308, 131, 4)"}},
        // The full range and a text of the largest int each way: the text height, the
        // row's top and the dialog's size clamp to the largest int; the buttons' x and
        // the dialog's position, formed from the unclamped sums, still fit and are
        // exact. Row span 50 + kMax + 5; pair width 262 - 97 = 165;
        // dialog x = kMin + (2^32 - 1 - (kMax + 58)) / 2, y likewise with the height
        // kMax + 92.
        ExtremeCase{"full_range_and_largest_text", RECT{kMin, kMin, kMax, kMax}, kMax, kMax, 2,
                    Lines{"SetWindowPos(text, NULL, 50, 18, 2147483647, 2147483647, 4)",
                          "SetWindowPos(ok, NULL, 1073741768, 2147483647, 75, 23, 4)",
                          "SetWindowPos(cancel, NULL, 1073741858, 2147483647, 75, 23, 4)",
                          "SetWindowPos(extra, NULL, 10, 2147483647, 90, 16, 4)",
                          "SetWindowPos(dialog, NULL, -1073741853, -1073741870, 2147483647, 2147483647, 4)"}}),
    [](const ::testing::TestParamInfo<ExtremeCase> &info) { return info.param.pszName; });

} // namespace
