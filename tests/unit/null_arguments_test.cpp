// A null pointer where an export takes a pointer: an installer that passes 0 (NSIS's
// "i 0", an Inno Setup nil) must get an answer, never a crash. What each export does:
//   TVRScanForModem(NULL)           scans as usual and returns its answer; no port
//                                   number is written anywhere
//   TVRModemAvailable(NULL)         queries as usual and returns its answer; no port
//                                   name is asked for or written
//   TVRCheckCommParams(NULL, ...)   0, with nothing opened
//   TVRInitTextDialog(hDlg, NULL..) lays the dialog out as for the empty text "", and so
//   does TVRInitTextDialogW (this case runs through both entries: dialog_entry.h)
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "dialog_entry.h"
#include "fake_fixture.h"
#include "fake_serial.h"
#include "fake_user.h"
#include "frame/telvarid.h"
#include "telephony_fixture.h"

using namespace fake::serial;

namespace {

// The names of the ports the scan opened, in order.
std::vector<std::string> Opened()
{
    std::vector<std::string> names;
    for (const std::string &c : fake::CallsTo("CreateFileA"))
        names.push_back(c.substr(strlen("CreateFileA("), 4));
    return names;
}

// --- TVRScanForModem ---------------------------------------------------------------

struct NullScanCase {
    const char *pszName;
    const char *pszModemPort; // where a modem answers, or null for none
    int nResult;
    std::vector<std::string> opened;
};

void PrintTo(const NullScanCase &c, std::ostream *os) { *os << c.pszName; }

class NullScanTest : public FakePlatformTest, public ::testing::WithParamInterface<NullScanCase> {};

TEST_P(NullScanTest, ScansAndAnswersWithoutWritingAPortNumber)
{
    const NullScanCase &c = GetParam();
    if (c.pszModemPort)
        AddModem(AddPort(c.pszModemPort));
    EXPECT_EQ(TVRScanForModem(nullptr), c.nResult);
    EXPECT_EQ(Opened(), c.opened);
}

INSTANTIATE_TEST_SUITE_P(
    Machines, NullScanTest,
    ::testing::Values(NullScanCase{"NoPorts", nullptr, 0, {"COM1", "COM2", "COM3", "COM4"}},
                      NullScanCase{"ModemOnCOM3", "COM3", 1, {"COM1", "COM2", "COM3"}},
                      NullScanCase{"ModemOnCOM4", "COM4", 1, {"COM1", "COM2", "COM3", "COM4"}}),
    [](const ::testing::TestParamInfo<NullScanCase> &info) { return std::string(info.param.pszName); });

// --- TVRModemAvailable -------------------------------------------------------------

struct NullModemCase {
    const char *pszName;
    std::vector<fake::tapi::Device> devices;
    int nResult;
    size_t nConfigQueries; // lineGetDevConfig calls: the speeds are still read
};

void PrintTo(const NullModemCase &c, std::ostream *os) { *os << c.pszName; }

class NullModemTest : public TelephonyTest, public ::testing::WithParamInterface<NullModemCase> {};

TEST_P(NullModemTest, AnswersWithoutAskingForOrWritingAPortName)
{
    const NullModemCase &c = GetParam();
    fake::tapi::Script().devices = c.devices;
    EXPECT_EQ(TVRModemAvailable(nullptr), c.nResult);
    EXPECT_EQ(fake::CountCalls("lineGetDevConfig"), c.nConfigQueries);
    EXPECT_EQ(fake::CountCalls("lineOpen"), 0u);
    EXPECT_EQ(fake::CountCalls("lineGetID"), 0u);
    EXPECT_EQ(fake::tapi::LoadCount(), 1);
}

INSTANTIATE_TEST_SUITE_P(
    Services, NullModemTest,
    ::testing::Values(NullModemCase{"NoDataModem", {}, 0, 0},
                      NullModemCase{"SlowModem", {fake::tapi::DataModem("COM1", 2400)}, 1, 1},
                      NullModemCase{"FastModem", {fake::tapi::DataModem("COM2", 9600)}, 2, 1},
                      NullModemCase{"SlowThenFast",
                                    {fake::tapi::DataModem("COM1", 2400), fake::tapi::DataModem("COM2", 115200)},
                                    2,
                                    2}),
    [](const ::testing::TestParamInfo<NullModemCase> &info) { return std::string(info.param.pszName); });

// --- TVRCheckCommParams ------------------------------------------------------------

class NullArgumentTest : public FakePlatformTest {};

TEST_F(NullArgumentTest, CheckWithoutAPortNameIsZeroAndOpensNothing)
{
    // A modem answers on COM1, but no name names no port: nothing is opened, and the
    // answer is 0 with the command flag zero or not.
    for (BOOL bSend : {FALSE, TRUE}) {
        fake::Reset();
        AddModem(AddPort("COM1"));
        EXPECT_EQ(TVRCheckCommParams(nullptr, 9600, bSend, "AT"), 0) << "flag " << bSend;
        EXPECT_TRUE(fake::Calls().empty()) << ::testing::PrintToString(fake::Calls());
    }
}

// --- TVRInitTextDialog ---------------------------------------------------------------

// One dialog with every control, laid out once: the call log, and what the text control
// shows afterwards.
struct DialogRun {
    std::vector<std::string> calls;
    std::string strShown;
    RECT rText;
};

DialogRun LayOut(LPCSTR lpszText)
{
    fake::Reset();
    HWND hDlg = fake::NewWindow("dialog", nullptr, 0, RECT{100, 100, 500, 300}, 3, 22);
    fake::NewWindow("icon", hDlg, 200, RECT{110, 140, 142, 172});
    HWND hText = fake::NewWindow("text", hDlg, 201, RECT{150, 140, 350, 180});
    fake::NewWindow("ok", hDlg, 1, RECT{200, 250, 275, 273});
    fake::NewWindow("cancel", hDlg, 2, RECT{290, 250, 365, 273});
    InitUnderTest(hDlg, lpszText, 0, 2, 1);
    DialogRun run;
    run.calls = fake::Calls();
    run.strShown = fake::WindowTextOf(hText);
    GetWindowRect(hText, &run.rText);
    return run;
}

TEST_F(NullArgumentTest, DialogWithoutTextIsLaidOutAsForTheEmptyText)
{
    const DialogRun withEmpty = LayOut("");
    const DialogRun withNull = LayOut(nullptr);
    EXPECT_EQ(withNull.calls, withEmpty.calls);
    EXPECT_EQ(withNull.strShown, "");
    EXPECT_EQ(withNull.rText.right - withNull.rText.left, withEmpty.rText.right - withEmpty.rText.left);
    EXPECT_EQ(withNull.rText.bottom - withNull.rText.top, withEmpty.rText.bottom - withEmpty.rText.top);
    // The text is measured and set, each time given "" and not a null pointer.
    bool bMeasured = false, bSet = false;
    for (const std::string &strCall : withNull.calls) {
        bMeasured = bMeasured || strCall.rfind(ForEntry("DrawTextA(DC of text, \"\", -1,"), 0) == 0;
        bSet = bSet || strCall == ForEntry("SetWindowTextA(text, \"\")");
    }
    EXPECT_TRUE(bMeasured);
    EXPECT_TRUE(bSet);
}

} // namespace
