// Binding the telephony library: what remains loaded and bound, and what the session
// records, on each way the binding can end.
#include <gtest/gtest.h>

#include "telephony_fixture.h"

namespace {

const LONG kUnwritten = 0x5EE5EE;   // a value no path of the binding writes
const LONG kPositiveResult = 7;     // lineInitialize may succeed with a positive value

struct BindCase {
    const char *pszName;
    void (*pfnScript)(fake::tapi::Scenario &sc);
    int nResult;
    int nLoads;         // library loads (each must be released)
    bool bInitialized;  // lineInitialize was called
    LONG lErrorCode;    // lTAPIErrorCode afterwards
    int nShutdowns;     // lineShutdown calls
};

// Shown by name in test listings.
void PrintTo(const BindCase &c, std::ostream *os) { *os << c.pszName; }

void OneModem(fake::tapi::Scenario &sc) { sc.devices = {fake::tapi::DataModem("COM1", 9600)}; }

template <int N>
void Missing(fake::tapi::Scenario &sc)
{
    static const char *const kNames[] = {"lineClose", "lineGetDevCaps", "lineGetDevConfig", "lineGetID",
                                         "lineInitialize", "lineNegotiateAPIVersion", "lineOpen"};
    OneModem(sc);
    sc.missingNames = {kNames[N]};
}

const BindCase kBindCases[] = {
    {"NoLibrary", [](fake::tapi::Scenario &sc) { sc.bLibraryPresent = false; }, 0, 0, false, kUnwritten, 0},
    {"MissingLineClose", Missing<0>, 0, 1, false, kUnwritten, 0},
    {"MissingLineGetDevCaps", Missing<1>, 0, 1, false, kUnwritten, 0},
    {"MissingLineGetDevConfig", Missing<2>, 0, 1, false, kUnwritten, 0},
    {"MissingLineGetID", Missing<3>, 0, 1, false, kUnwritten, 0},
    {"MissingLineInitialize", Missing<4>, 0, 1, false, kUnwritten, 0},
    {"MissingLineNegotiateAPIVersion", Missing<5>, 0, 1, false, kUnwritten, 0},
    {"MissingLineOpen", Missing<6>, 0, 1, false, kUnwritten, 0},
    {"InitializeFails",
     [](fake::tapi::Scenario &sc) {
         OneModem(sc);
         sc.lInitResult = static_cast<LONG>(0x80000048);
     },
     0, 1, true, static_cast<LONG>(0x80000048), 0},
    {"NoLineDevice", [](fake::tapi::Scenario &) {}, 0, 1, true, 0, 1},
    // Wine's own service: success, but neither the handle nor the count is written.
    {"CountLeftUnwritten",
     [](fake::tapi::Scenario &sc) {
         OneModem(sc);
         sc.bWriteCount = false;
         sc.bWriteLineApp = false;
     },
     0, 1, true, 0, 1},
    {"PositiveResultBinds",
     [](fake::tapi::Scenario &sc) {
         OneModem(sc);
         sc.lInitResult = kPositiveResult;
     },
     1, 1, true, kPositiveResult, 1},
    {"Binds", OneModem, 1, 1, true, 0, 1},
    {"BindsWithoutLineShutdown",
     [](fake::tapi::Scenario &sc) {
         OneModem(sc);
         sc.bHasShutdown = false;
     },
     1, 1, true, 0, 0},
};

class BindTelephonyTest : public TelephonyTest, public ::testing::WithParamInterface<BindCase> {};

TEST_P(BindTelephonyTest, LeavesNothingBehindUnlessBound)
{
    const BindCase &c = GetParam();
    c.pfnScript(fake::tapi::Script());
    TelephonySession session;
    // Garbage in every field: the caller does not initialise the record.
    memset(&session, 0xCD, sizeof session);
    session.lTAPIErrorCode = kUnwritten;

    int nResult = BindTelephony(&session);

    EXPECT_EQ(nResult, c.nResult);
    EXPECT_EQ(fake::tapi::LoadCount(), c.nLoads);
    EXPECT_EQ(fake::CountCalls("lineInitialize"), c.bInitialized ? 1u : 0u);
    EXPECT_EQ(session.lTAPIErrorCode, c.lErrorCode);
    if (nResult == 1) {
        EXPECT_TRUE(AllSevenBound());
        EXPECT_NE(session.hTAPILibrary, nullptr);
        EXPECT_EQ(fake::tapi::FreeCount(), 0);
        UnbindTelephony(&session);
    } else {
        EXPECT_TRUE(AllEntryPointsNull());
        EXPECT_EQ(fake::tapi::FreeCount(), c.nLoads) << "the library must be released on failure";
    }
    EXPECT_EQ(session.hTAPILibrary, nullptr);
    EXPECT_EQ(fake::tapi::ShutdownCount(), c.nShutdowns);
    if (c.nShutdowns) {
        // The registration ends before the library goes.
        std::vector<std::string> names = fake::CallNames();
        ASSERT_EQ(names.back(), "FreeLibrary");
        EXPECT_EQ(names[names.size() - 2], "lineShutdown");
    }
}

INSTANTIATE_TEST_SUITE_P(Paths, BindTelephonyTest, ::testing::ValuesIn(kBindCases),
                         [](const ::testing::TestParamInfo<BindCase> &info) { return info.param.pszName; });

TEST_F(TelephonyTest, BindLooksUpAllSevenNamesBeforeTestingAny)
{
    fake::tapi::Script().devices = {fake::tapi::DataModem("COM1", 9600)};
    fake::tapi::Script().missingNames = {"lineClose"};
    TelephonySession session = {};
    EXPECT_EQ(BindTelephony(&session), 0);
    std::vector<std::string> lookups = fake::CallsTo("GetProcAddress");
    ASSERT_EQ(lookups.size(), 7u);
    const char *const kOrder[] = {"lineClose", "lineGetDevCaps", "lineGetDevConfig", "lineGetID",
                                  "lineInitialize", "lineNegotiateAPIVersion", "lineOpen"};
    for (size_t i = 0; i < 7; ++i)
        EXPECT_NE(lookups[i].find(std::string("\"") + kOrder[i] + "\""), std::string::npos) << lookups[i];
    EXPECT_EQ(fake::CallsTo("LoadLibraryA"), std::vector<std::string>{"LoadLibraryA(\"TAPI32.DLL\")"});
}

TEST_F(TelephonyTest, BindRegistersAsTelvarapWithTheLineCallback)
{
    fake::tapi::Script().devices = {fake::tapi::DataModem("COM1", 9600), fake::tapi::DataModem("COM2", 9600)};
    TelephonySession session;
    memset(&session, 0xCD, sizeof session);
    ASSERT_EQ(BindTelephony(&session), 1);
    EXPECT_EQ(session.dwLineCount, 2u);
    EXPECT_EQ(session.hLineApp, fake::tapi::Script().hLineApp);
    EXPECT_EQ(session.lpfnCallback, &LineEventCallback);
    std::vector<std::string> init = fake::CallsTo("lineInitialize");
    ASSERT_EQ(init.size(), 1u);
    EXPECT_EQ(init[0], "lineInitialize(" + fake::Ptr(&session.hLineApp) + ", NULL, " +
                           fake::Ptr(reinterpret_cast<void *>(&LineEventCallback)) + ", \"TELVARAP\", " +
                           fake::Ptr(&session.dwLineCount) + ")");
    UnbindTelephony(&session);
    EXPECT_EQ(fake::CallsTo("lineShutdown"), std::vector<std::string>{"lineShutdown(0xc0ffee)"});
}

TEST_F(TelephonyTest, UnbindWithoutLibraryOnlyClearsTheEntryPoints)
{
    fake::tapi::Script().devices = {fake::tapi::DataModem("COM1", 9600)};
    TelephonySession bound;
    BindOrFail(&bound);
    TelephonySession idle = {};
    UnbindTelephony(&idle);
    EXPECT_TRUE(AllEntryPointsNull());
    EXPECT_EQ(fake::CountCalls("FreeLibrary"), 0u);
    EXPECT_EQ(fake::CountCalls("lineShutdown"), 0u);
    // The real binding still owns its library (its lineShutdown entry point went with
    // the others); a second Unbind of it is harmless.
    UnbindTelephony(&bound);
    UnbindTelephony(&bound);
    EXPECT_EQ(fake::tapi::FreeCount(), 1);
}

TEST_F(TelephonyTest, LineEventCallbackTouchesNothing)
{
    LineEventCallback(1, 2, 3, 4, 5, 6);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(TelephonyTest, EachModemQueryLoadsAndReleasesTheLibraryAfresh)
{
    fake::tapi::Script().devices = {fake::tapi::DataModem("COM1", 9600)};
    char sz[76]; // the caller's buffer
    EXPECT_EQ(TVRModemAvailable(sz), 2);
    EXPECT_TRUE(AllEntryPointsNull());
    EXPECT_EQ(TVRModemAvailable(sz), 2);
    EXPECT_EQ(fake::tapi::LoadCount(), 2);
    EXPECT_EQ(fake::tapi::FreeCount(), 2);
    EXPECT_EQ(fake::CountCalls("lineInitialize"), 2u);
    EXPECT_EQ(fake::tapi::ShutdownCount(), 2);
}

} // namespace
