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

// Where TAPI32.DLL comes from. Only the system folder's copy may load: first through
// LOAD_LIBRARY_SEARCH_SYSTEM32 (0x800); where the loader refuses that flag with
// ERROR_INVALID_PARAMETER (87), by the system folder's full path with
// LOAD_WITH_ALTERED_SEARCH_PATH (0x8). Every other failure ends the binding with
// nothing loaded: no other place is ever tried.
struct LoadCase {
    const char *pszName;
    void (*pfnScript)(fake::tapi::Scenario &sc);
    DWORD dwFirstError;      // the first LoadLibraryExA fails with this (0: not injected)
    DWORD dwFolderError;     // GetSystemDirectoryA fails with this (0: not injected)
    DWORD dwFullPathError;   // the second LoadLibraryExA fails with this (0: not injected)
    std::vector<std::string> calls; // every loader call, in order, with its arguments
    int nResult;             // of BindTelephony
};

void PrintTo(const LoadCase &c, std::ostream *os) { *os << c.pszName; }

void PlantedBeside(fake::tapi::Scenario &sc)
{
    OneModem(sc);
    sc.bPlantedBesideProgram = true;
}
void OldLoader(fake::tapi::Scenario &sc)
{
    PlantedBeside(sc);
    sc.bSearchFlagsKnown = false;
}
// A system folder of n characters: "C:\" and then as many 'd's as make it up.
template <size_t N>
void OldLoaderFolderOf(fake::tapi::Scenario &sc)
{
    OldLoader(sc);
    sc.strSystemDir = "C:\\" + std::string(N - 3, 'd');
}
template <size_t N>
std::string FullPathOf() { return "C:\\" + std::string(N - 3, 'd') + "\\TAPI32.DLL"; }

const char kBySearchFlag[] = "LoadLibraryExA(\"TAPI32.DLL\", NULL, 0x800)";
const char kFolder[] = "GetSystemDirectoryA(buffer, 260)";
const char kByFullPath[] = "LoadLibraryExA(\"C:\\WINDOWS\\system32\\TAPI32.DLL\", NULL, 0x8)";

std::vector<LoadCase> LoadCases()
{
    const DWORD kInvalidParameter = 87; // ERROR_INVALID_PARAMETER: the flag is unknown
    const DWORD kModNotFound = 126;     // ERROR_MOD_NOT_FOUND
    const DWORD kAccessDenied = 5;      // ERROR_ACCESS_DENIED
    const DWORD kBadFormat = 193;       // ERROR_BAD_EXE_FORMAT
    return {
        // The system folder's copy, whatever stands beside the program.
        {"SearchFlagLoadsTheSystemCopy", PlantedBeside, 0, 0, 0, {kBySearchFlag}, 1},
        {"NoSystemCopyIsNoTelephony",
         [](fake::tapi::Scenario &sc) {
             PlantedBeside(sc);
             sc.bLibraryPresent = false;
         },
         0, 0, 0, {kBySearchFlag}, 0},
        // Any error but 87 means the flag was understood: no second attempt.
        {"NotFoundIsNotRetried", PlantedBeside, kModNotFound, 0, 0, {kBySearchFlag}, 0},
        {"AccessDeniedIsNotRetried", PlantedBeside, kAccessDenied, 0, 0, {kBySearchFlag}, 0},
        {"BadFormatIsNotRetried", PlantedBeside, kBadFormat, 0, 0, {kBySearchFlag}, 0},
        // A loader without the flag: the full path in the system folder.
        {"OldLoaderLoadsByFullPath", OldLoader, 0, 0, 0, {kBySearchFlag, kFolder, kByFullPath}, 1},
        {"InjectedInvalidParameterFallsBack", PlantedBeside, kInvalidParameter, 0, 0,
         {kBySearchFlag, kFolder, kByFullPath}, 1},
        {"OldLoaderNoSystemCopy",
         [](fake::tapi::Scenario &sc) {
             OldLoader(sc);
             sc.bLibraryPresent = false;
         },
         0, 0, 0, {kBySearchFlag, kFolder, kByFullPath}, 0},
        {"OldLoaderFullPathFails", OldLoader, 0, 0, kAccessDenied, {kBySearchFlag, kFolder, kByFullPath}, 0},
        {"OldLoaderNoSystemFolder", OldLoader, 0, kAccessDenied, 0, {kBySearchFlag, kFolder}, 0},
        // A folder whose path and name just fit MAX_PATH (260) with the zero: 248 + 1 +
        // 10 + 1. One character more and the path cannot be formed; at 259 the folder
        // itself fits the buffer but the name does not; at 260 GetSystemDirectoryA
        // answers the size it needs, 261.
        {"OldLoaderLongestFolderThatFits", OldLoaderFolderOf<248>, 0, 0, 0,
         {kBySearchFlag, kFolder, "LoadLibraryExA(\"" + FullPathOf<248>() + "\", NULL, 0x8)"}, 1},
        {"OldLoaderFolderOneTooLongForTheName", OldLoaderFolderOf<249>, 0, 0, 0, {kBySearchFlag, kFolder}, 0},
        {"OldLoaderFolderFillsTheBuffer", OldLoaderFolderOf<259>, 0, 0, 0, {kBySearchFlag, kFolder}, 0},
        {"OldLoaderFolderTooLongForTheBuffer", OldLoaderFolderOf<260>, 0, 0, 0, {kBySearchFlag, kFolder}, 0},
        {"OldLoaderFolderFarTooLong", OldLoaderFolderOf<1000>, 0, 0, 0, {kBySearchFlag, kFolder}, 0},
        // A folder given with its separator (a root) gets no second one.
        {"OldLoaderFolderEndingInSeparator",
         [](fake::tapi::Scenario &sc) {
             OldLoader(sc);
             sc.strSystemDir = "C:\\";
         },
         0, 0, 0, {kBySearchFlag, kFolder, "LoadLibraryExA(\"C:\\TAPI32.DLL\", NULL, 0x8)"}, 1},
    };
}

class LoadSystemTapiTest : public TelephonyTest, public ::testing::WithParamInterface<LoadCase> {};

TEST_P(LoadSystemTapiTest, LoadsOnlyTheSystemFoldersCopy)
{
    const LoadCase &c = GetParam();
    c.pfnScript(fake::tapi::Script());
    if (c.dwFirstError)
        fake::FailCall("LoadLibraryExA", c.dwFirstError, 1);
    if (c.dwFolderError)
        fake::FailCall("GetSystemDirectoryA", c.dwFolderError, 1);
    if (c.dwFullPathError)
        fake::FailCall("LoadLibraryExA", c.dwFullPathError, 2);
    TelephonySession session;
    memset(&session, 0xCD, sizeof session);

    EXPECT_EQ(BindTelephony(&session), c.nResult);

    std::vector<std::string> loader;
    for (const std::string &strCall : fake::Calls())
        if (strCall.rfind("LoadLibrary", 0) == 0 || strCall.rfind("GetSystemDirectory", 0) == 0)
            loader.push_back(strCall);
    EXPECT_EQ(loader, c.calls);
    EXPECT_EQ(fake::tapi::PlantedLoadCount(), 0) << "the copy beside the program was loaded";
    EXPECT_EQ(fake::tapi::LoadCount(), c.nResult);
    if (c.nResult == 1) {
        EXPECT_NE(session.hTAPILibrary, nullptr);
        // What was loaded is what is released.
        HMODULE hLoaded = session.hTAPILibrary;
        UnbindTelephony(&session);
        EXPECT_EQ(fake::CallsTo("FreeLibrary"), std::vector<std::string>{"FreeLibrary(" + fake::Ptr(hLoaded) + ")"});
        EXPECT_EQ(fake::tapi::FreeCount(), 1);
    } else {
        EXPECT_EQ(session.hTAPILibrary, nullptr);
        EXPECT_EQ(fake::CountCalls("GetProcAddress"), 0u);
        EXPECT_EQ(fake::CountCalls("FreeLibrary"), 0u);
    }
}

INSTANTIATE_TEST_SUITE_P(Sources, LoadSystemTapiTest, ::testing::ValuesIn(LoadCases()),
                         [](const ::testing::TestParamInfo<LoadCase> &info) { return info.param.pszName; });

// The double's loader itself: a bare name without a search flag finds the planted copy
// first, so the cases above would see it if the library ever loaded that way.
TEST_F(TelephonyTest, TheDoublesDefaultSearchFindsThePlantedCopy)
{
    fake::tapi::Script().bPlantedBesideProgram = true;
    HMODULE h = LoadLibraryExA("TAPI32.DLL", NULL, 0);
    ASSERT_NE(h, nullptr);
    EXPECT_EQ(fake::tapi::PlantedLoadCount(), 1);
    EXPECT_TRUE(FreeLibrary(h));
}

TEST_F(TelephonyTest, ModemQueryWithOnlyAPlantedCopyIsNoTelephony)
{
    fake::tapi::Script().devices = {fake::tapi::DataModem("COM1", 9600)};
    fake::tapi::Script().bLibraryPresent = false;
    fake::tapi::Script().bPlantedBesideProgram = true;
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 0);
    EXPECT_TRUE(buf.Untouched());
    EXPECT_EQ(fake::tapi::LoadCount(), 0);
}

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
    EXPECT_EQ(fake::CallsTo("LoadLibraryExA"), std::vector<std::string>{"LoadLibraryExA(\"TAPI32.DLL\", NULL, 0x800)"});
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
