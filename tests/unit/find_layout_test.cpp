// Where the find's window puts its controls, at the message font of 96 and 144 DPI, and
// where it goes on the screen.
#include <gtest/gtest.h>

#include <string>

#include "find/FindLayout.h"

namespace {

std::string Str(const RECT &rc)
{
    return std::to_string(rc.left) + "," + std::to_string(rc.top) + " " + std::to_string(rc.right) + "," +
           std::to_string(rc.bottom);
}

struct LayoutCase {
    const char *szName;
    FindMetrics metrics;
    const char *szMessage;
    const char *szLine0;
    const char *szLine3;
    const char *szCancel;
    LONG cxClient;
    LONG cyClient;
};

void PrintTo(const LayoutCase &c, std::ostream *os) { *os << c.szName; }

// 96 DPI: a 9-point font, 6 x 15 pixels (7 DLU = 10 px across, 13 down; a port line
// every 16 px). 144 DPI: the same font at 9 x 22 (15 and 19; every 24 px).
const LayoutCase kLayouts[] = {
    {"Dpi96TwoLineMessage", {6, 15, 30}, "10,13 319,43", "10,54 319,69", "10,102 319,117", "245,129 320,155", 330, 168},
    {"Dpi144TwoLineMessage", {9, 22, 44}, "15,19 478,63", "15,79 478,101", "15,151 478,173", "368,191 480,229", 495,
     248},
    {"EmptyMessage", {6, 15, 0}, "10,13 319,13", "10,24 319,39", "10,72 319,87", "245,99 320,125", 330, 138},
};

class LayoutTest : public ::testing::TestWithParam<LayoutCase> {};

TEST_P(LayoutTest, PlacesTheControlsInDialogUnitsOfTheFont)
{
    const LayoutCase &c = GetParam();
    FindLayout layout;
    LayOutFindWindow(&c.metrics, &layout);
    EXPECT_EQ(Str(layout.rcMessage), c.szMessage);
    EXPECT_EQ(Str(layout.rgrcLines[0]), c.szLine0);
    EXPECT_EQ(Str(layout.rgrcLines[3]), c.szLine3);
    EXPECT_EQ(Str(layout.rcCancel), c.szCancel);
    EXPECT_EQ(layout.cxClient, c.cxClient);
    EXPECT_EQ(layout.cyClient, c.cyClient);
    // Nothing overlaps, top to bottom, and everything lies inside the client area.
    EXPECT_LE(layout.rcMessage.bottom, layout.rgrcLines[0].top);
    for (int i = 1; i < TVR_FIND_PORT_COUNT; ++i)
        EXPECT_LE(layout.rgrcLines[i - 1].bottom, layout.rgrcLines[i].top);
    EXPECT_LE(layout.rgrcLines[3].bottom, layout.rcCancel.top);
    EXPECT_LE(layout.rcCancel.right, layout.cxClient);
    EXPECT_LT(layout.rcCancel.bottom, layout.cyClient);
}

INSTANTIATE_TEST_SUITE_P(Metrics, LayoutTest, ::testing::ValuesIn(kLayouts),
                         [](const ::testing::TestParamInfo<LayoutCase> &info) {
                             return std::string(info.param.szName);
                         });

struct CentreCase {
    const char *szName;
    RECT rcOwner;
    LONG cx, cy;
    RECT rcWork;
    LONG x, y;
};

void PrintTo(const CentreCase &c, std::ostream *os) { *os << c.szName; }

const CentreCase kCentres[] = {
    {"CentredOnTheOwner", {100, 100, 600, 500}, 300, 200, {0, 0, 1024, 768}, 200, 200},
    {"OwnerAtTheRightEdge", {900, 100, 1300, 500}, 300, 200, {0, 0, 1024, 768}, 724, 200},
    {"OwnerAboveTheTop", {100, -400, 500, 0}, 300, 200, {0, 0, 1024, 768}, 150, 0},
    {"WindowWiderThanTheWorkArea", {0, 0, 400, 300}, 500, 200, {0, 0, 400, 768}, 0, 50},
    {"WorkAreaBelowATaskbarAtTheTop", {0, 0, 300, 100}, 300, 200, {0, 40, 1024, 768}, 0, 40},
};

class CentreTest : public ::testing::TestWithParam<CentreCase> {};

TEST_P(CentreTest, CentresOnTheOwnerWithinTheWorkArea)
{
    const CentreCase &c = GetParam();
    POINT pt = CentreFindWindow(&c.rcOwner, c.cx, c.cy, &c.rcWork);
    EXPECT_EQ(pt.x, c.x);
    EXPECT_EQ(pt.y, c.y);
}

INSTANTIATE_TEST_SUITE_P(Cases, CentreTest, ::testing::ValuesIn(kCentres),
                         [](const ::testing::TestParamInfo<CentreCase> &info) {
                             return std::string(info.param.szName);
                         });

} // namespace
