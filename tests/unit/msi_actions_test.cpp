// The installer custom actions against the installer double (fake_msi), scripted serial
// ports and the telephony double: the properties each sets, the one log line each
// writes, what each refuses before touching a port, and that every record is closed and
// msi.dll, loaded from the system folder only, is released on every path.
#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "fake_fixture.h"
#include "fake_msi.h"
#include "fake_serial.h"
#include "fake_tapi.h"
#include "frame/telvarid.h"

using namespace fake::serial;
using fake::msi::kInstallHandle;

namespace {

typedef std::map<std::string, std::string> Properties;

class MsiActionTest : public FakePlatformTest {
protected:
    void SetUp() override
    {
        FakePlatformTest::SetUp();
        // The check's reply poll only reads the clock: let each reading take a millisecond.
        fake::SetTickStep(1);
    }
    void TearDown() override
    {
        FakePlatformTest::TearDown();
        EXPECT_EQ(fake::msi::OpenRecordCount(), 0u) << "a record was left open";
        EXPECT_EQ(fake::msi::FreeCount(), fake::msi::LoadCount()) << "msi.dll loads and releases differ";
        EXPECT_EQ(fake::tapi::FreeCount(), fake::tapi::LoadCount()) << "TAPI32.DLL loads and releases differ";
    }
    static void Given(const Properties &properties) { fake::msi::Script().properties = properties; }
    static std::vector<std::string> Log() { return fake::msi::LogLines(); }
};

// --- The check -------------------------------------------------------------------------

struct CheckCase {
    const char *pszName;
    Properties given;
    bool bModemOnCom3; // otherwise COM3 is missing
    std::string strResult;
    std::string strLine;
    size_t cOpens; // CreateFileA calls
    std::string strWritten; // what reached COM3
};

void PrintTo(const CheckCase &c, std::ostream *os) { *os << c.pszName; }

const std::string kLongCommand(255, 'A');

const CheckCase kCheckCases[] = {
    {"ModemAnswers",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "9600"}, {"TVR_CHECK_COMMAND", "AT"}},
     true, "1",
     "telvarid: COM3 checked at 9600 bit/s with \"AT\": passed; TVR_CHECK_RESULT=1",
     1, "AT\r"},
    {"NoCommandSendsNothing",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "19200"}},
     true, "1",
     "telvarid: COM3 checked at 19200 bit/s without a command: passed; TVR_CHECK_RESULT=1",
     1, ""},
    {"MissingPortAnswersZero",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "9600"}, {"TVR_CHECK_COMMAND", "AT"}},
     false, "0",
     "telvarid: COM3 checked at 9600 bit/s with \"AT\": failed; TVR_CHECK_RESULT=0",
     1, ""},
    {"SpeedNotANumberOpensNothing",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "fast"}, {"TVR_CHECK_COMMAND", "AT"}},
     true, "0",
     "telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s: \"fast\"; TVR_CHECK_RESULT=0",
     0, ""},
    {"SpeedTooLongForItsBuffer",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "00000000000000009600"}},
     true, "0",
     "telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s; TVR_CHECK_RESULT=0", 0, ""},
    {"NoPortPropertyOpensNothing",
     {{"TVR_CHECK_SPEED", "9600"}},
     true, "0", "telvarid: not checked: TVR_CHECK_PORT is not set; TVR_CHECK_RESULT=0", 0, ""},
    {"NoSpeedProperty",
     {{"TVR_CHECK_PORT", "COM3"}},
     true, "0", "telvarid: not checked: TVR_CHECK_SPEED is not set; TVR_CHECK_RESULT=0", 0, ""},
    {"PortNameLongerThanItsBuffer",
     {{"TVR_CHECK_PORT", std::string(256, 'P')}, {"TVR_CHECK_SPEED", "9600"}},
     true, "0", "telvarid: not checked: TVR_CHECK_PORT is longer than 255 characters; TVR_CHECK_RESULT=0", 0,
     ""},
    {"CommandLongerThanTheCheckSends",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "9600"}, {"TVR_CHECK_COMMAND", kLongCommand}},
     true, "0", "telvarid: not checked: TVR_CHECK_COMMAND is longer than 254 characters; TVR_CHECK_RESULT=0", 0,
     ""},
    {"CommandFarLongerThanItsBuffer",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "9600"}, {"TVR_CHECK_COMMAND", std::string(4000, 'A')}},
     true, "0", "telvarid: not checked: TVR_CHECK_COMMAND is longer than 254 characters; TVR_CHECK_RESULT=0", 0,
     ""},
    // A bracket in the package's command is shown as written, never read as a reference.
    {"CommandWithAFieldReference",
     {{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "2400"}, {"TVR_CHECK_COMMAND", "AT[1]"}},
     false, "0",
     "telvarid: COM3 checked at 2400 bit/s with \"AT[1]\": failed; TVR_CHECK_RESULT=0",
     1, ""},
};

class MsiCheckTest : public MsiActionTest, public ::testing::WithParamInterface<CheckCase> {};

TEST_P(MsiCheckTest, SetsItsResultAndLogsOneLine)
{
    const CheckCase &c = GetParam();
    Given(c.given);
    fake::msi::Script().properties["TVR_CHECK_RESULT"] = "stale";
    if (c.bModemOnCom3)
        AddModem(AddPort("COM3"));

    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), TVRMsiCheckPort(kInstallHandle));

    Properties want = c.given;
    want["TVR_CHECK_RESULT"] = c.strResult;
    EXPECT_EQ(want, fake::msi::Properties());
    EXPECT_EQ(std::vector<std::string>{c.strLine}, Log());
    EXPECT_EQ(c.cOpens, fake::CountCalls("CreateFileA"));
    if (c.bModemOnCom3) {
        EXPECT_EQ(c.strWritten, GetPort("COM3").strDeviceReceived);
    }
}

INSTANTIATE_TEST_SUITE_P(Properties, MsiCheckTest, ::testing::ValuesIn(kCheckCases),
                         [](const ::testing::TestParamInfo<CheckCase> &info) { return info.param.pszName; });

TEST_F(MsiActionTest, CheckSetsThePackagesSpeedOnThePort)
{
    Given({{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "57600"}});
    AddPort("COM3");
    TVRMsiCheckPort(kInstallHandle);
    ASSERT_EQ(1u, GetPort("COM3").setStates.size());
    EXPECT_EQ(57600u, GetPort("COM3").setStates[0].BaudRate);
}

// --- The find --------------------------------------------------------------------------

TEST_F(MsiActionTest, FindSetsThePortOfTheModemThatAnswers)
{
    Given({{"TVR_FIND_PORT", "COM9"}, {"TVR_FIND_RESULT", "stale"}});
    AddModem(AddPort("COM3"));

    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), TVRMsiFindModem(kInstallHandle));

    EXPECT_EQ((Properties{{"TVR_FIND_PORT", "COM3"}, {"TVR_FIND_RESULT", "1"}}), fake::msi::Properties());
    EXPECT_EQ(std::vector<std::string>{"telvarid: COM1-COM4 searched: a modem answers on COM3; "
                                       "TVR_FIND_RESULT=1 TVR_FIND_PORT=COM3"},
              Log());
}

TEST_F(MsiActionTest, FindWithNoModemAnswersZeroAndRemovesThePort)
{
    Given({{"TVR_FIND_PORT", "COM9"}});
    AddPort("COM2"); // silent

    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), TVRMsiFindModem(kInstallHandle));

    EXPECT_EQ((Properties{{"TVR_FIND_RESULT", "0"}}), fake::msi::Properties());
    EXPECT_EQ(std::vector<std::string>{"telvarid: COM1-COM4 searched: no modem answers; "
                                       "TVR_FIND_RESULT=0 TVR_FIND_PORT unset"},
              Log());
}

// --- The telephony query ---------------------------------------------------------------

struct TelephonyCase {
    const char *pszName;
    std::vector<fake::tapi::Device> devices;
    Properties want;
    std::string strLine;
};

void PrintTo(const TelephonyCase &c, std::ostream *os) { *os << c.pszName; }

class MsiTelephonyTest : public MsiActionTest, public ::testing::WithParamInterface<TelephonyCase> {};

std::vector<TelephonyCase> TelephonyCases()
{
    return {
        {"FastModem", {fake::tapi::DataModem("COM3", 9600)},
         {{"TVR_TELEPHONY_RESULT", "2"}, {"TVR_TELEPHONY_PORT", "COM3"}},
         "telvarid: telephony asked: a data modem at 9600 bit/s or more; TVR_TELEPHONY_RESULT=2 "
         "TVR_TELEPHONY_PORT=COM3"},
        {"SlowModem", {fake::tapi::DataModem("COM1", 2400)},
         {{"TVR_TELEPHONY_RESULT", "1"}, {"TVR_TELEPHONY_PORT", "COM1"}},
         "telvarid: telephony asked: data modems, none at 9600 bit/s or more; TVR_TELEPHONY_RESULT=1 "
         "TVR_TELEPHONY_PORT=COM1"},
        {"NoDevice", {}, {{"TVR_TELEPHONY_RESULT", "0"}},
         "telvarid: telephony asked: no data modem, or no telephony; TVR_TELEPHONY_RESULT=0 TVR_TELEPHONY_PORT unset"},
    };
}

TEST_P(MsiTelephonyTest, SetsTheAnswerAndThePortName)
{
    const TelephonyCase &c = GetParam();
    Given({{"TVR_TELEPHONY_PORT", "stale"}});
    fake::tapi::Script().devices = c.devices;

    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), TVRMsiModemAvailable(kInstallHandle));

    EXPECT_EQ(c.want, fake::msi::Properties());
    EXPECT_EQ(std::vector<std::string>{c.strLine}, Log());
}

INSTANTIATE_TEST_SUITE_P(Devices, MsiTelephonyTest, ::testing::ValuesIn(TelephonyCases()),
                         [](const ::testing::TestParamInfo<TelephonyCase> &info) { return info.param.pszName; });

// --- The binding -----------------------------------------------------------------------

typedef UINT(__stdcall *PFN_ACTION)(DWORD);

struct ActionRef {
    const char *pszName;
    PFN_ACTION pfnAction;
};

const ActionRef kActions[] = {
    {"Find", TVRMsiFindModem},
    {"Check", TVRMsiCheckPort},
    {"Telephony", TVRMsiModemAvailable},
};

void PrintTo(const ActionRef &a, std::ostream *os) { *os << a.pszName; }

class MsiBindingTest : public MsiActionTest, public ::testing::WithParamInterface<ActionRef> {};

TEST_P(MsiBindingTest, LoadsMsiFromTheSystemFolderOnlyAndReleasesIt)
{
    GetParam().pfnAction(kInstallHandle);
    std::vector<std::string> loads = fake::CallsTo("LoadLibraryExA");
    ASSERT_FALSE(loads.empty());
    EXPECT_EQ("LoadLibraryExA(\"msi.dll\", NULL, 0x800)", loads[0]);
    EXPECT_EQ(1, fake::msi::LoadCount());
    EXPECT_EQ(1, fake::msi::FreeCount());
    EXPECT_EQ(1, fake::msi::RecordCount()) << "one log line, one record";
    EXPECT_EQ(1u, Log().size());
}

TEST_P(MsiBindingTest, WithoutTheSearchFlagLoadsTheSystemFoldersCopyByItsPath)
{
    fake::tapi::Script().bSearchFlagsKnown = false;
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), GetParam().pfnAction(kInstallHandle));
    std::vector<std::string> loads = fake::CallsTo("LoadLibraryExA");
    ASSERT_GE(loads.size(), 2u);
    EXPECT_EQ("LoadLibraryExA(\"msi.dll\", NULL, 0x800)", loads[0]);
    EXPECT_EQ("LoadLibraryExA(\"C:\\WINDOWS\\system32\\msi.dll\", NULL, 0x8)", loads[1]);
    EXPECT_EQ(1, fake::msi::LoadCount());
    EXPECT_EQ(1u, Log().size());
}

TEST_P(MsiBindingTest, NoInstallerLibraryFailsTheActionAndAsksNothing)
{
    fake::msi::Script().bLibraryPresent = false;
    AddModem(AddPort("COM3"));
    EXPECT_EQ(static_cast<UINT>(ERROR_INSTALL_FAILURE), GetParam().pfnAction(kInstallHandle));
    EXPECT_EQ(0, fake::msi::LoadCount());
    EXPECT_EQ(0u, fake::CountCalls("GetProcAddress"));
    EXPECT_EQ(0u, fake::CountCalls("CreateFileA")) << "the question was asked with nowhere to put the answer";
    EXPECT_TRUE(fake::msi::Properties().empty());
}

TEST_P(MsiBindingTest, AnyFunctionMissingReleasesTheLibraryAndFails)
{
    for (const char *pszMissing : {"MsiGetPropertyA", "MsiSetPropertyA", "MsiCreateRecord", "MsiRecordSetStringA",
                                   "MsiProcessMessage", "MsiCloseHandle"}) {
        fake::Reset();
        fake::msi::Script().missingNames = {pszMissing};
        EXPECT_EQ(static_cast<UINT>(ERROR_INSTALL_FAILURE), GetParam().pfnAction(kInstallHandle)) << pszMissing;
        EXPECT_EQ(1, fake::msi::LoadCount()) << pszMissing;
        EXPECT_EQ(1, fake::msi::FreeCount()) << pszMissing;
        EXPECT_TRUE(fake::msi::Properties().empty()) << pszMissing;
        EXPECT_EQ(0u, fake::CountCalls("CreateFileA")) << pszMissing;
    }
}

TEST_P(MsiBindingTest, NoRecordStillSetsTheAnswer)
{
    fake::FailCall("MsiCreateRecord", 0);
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), GetParam().pfnAction(kInstallHandle));
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(0u, fake::CountCalls("MsiProcessMessage"));
    EXPECT_FALSE(fake::msi::Properties().empty());
    EXPECT_EQ(1, fake::msi::FreeCount());
}

TEST_P(MsiBindingTest, ARecordThatCannotBeFilledIsClosedUnsent)
{
    fake::FailCall("MsiRecordSetStringA", 87, 2);
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), GetParam().pfnAction(kInstallHandle));
    EXPECT_TRUE(Log().empty());
    EXPECT_EQ(0u, fake::CountCalls("MsiProcessMessage"));
    EXPECT_EQ(1u, fake::CountCalls("MsiCloseHandle"));
}

TEST_P(MsiBindingTest, TheLogLineIsField1UnderATemplateThatShowsIt)
{
    GetParam().pfnAction(kInstallHandle);
    std::vector<std::string> sets = fake::CallsTo("MsiRecordSetStringA");
    ASSERT_EQ(2u, sets.size());
    EXPECT_EQ("MsiRecordSetStringA(0x2000, 0, \"[1]\")", sets[0]);
    EXPECT_EQ(0u, sets[1].rfind("MsiRecordSetStringA(0x2000, 1, \"telvarid: ", 0)) << sets[1];
    EXPECT_EQ(std::vector<std::string>{"MsiProcessMessage(0x4d534931, 0x4000000, 0x2000)"},
              fake::CallsTo("MsiProcessMessage"));
    EXPECT_EQ(std::vector<std::string>{"MsiCloseHandle(0x2000)"}, fake::CallsTo("MsiCloseHandle"));
}

INSTANTIATE_TEST_SUITE_P(Actions, MsiBindingTest, ::testing::ValuesIn(kActions),
                         [](const ::testing::TestParamInfo<ActionRef> &info) { return info.param.pszName; });

// A property the installer refuses to read is an input the check cannot use.
TEST_F(MsiActionTest, AnUnreadablePropertyIsAnsweredZero)
{
    Given({{"TVR_CHECK_PORT", "COM3"}, {"TVR_CHECK_SPEED", "9600"}});
    fake::msi::Script().readErrors["TVR_CHECK_SPEED"] = ERROR_INVALID_HANDLE;
    AddModem(AddPort("COM3"));
    EXPECT_EQ(static_cast<UINT>(ERROR_SUCCESS), TVRMsiCheckPort(kInstallHandle));
    EXPECT_EQ("0", fake::msi::Properties().at("TVR_CHECK_RESULT"));
    EXPECT_EQ(std::vector<std::string>{"telvarid: not checked: a property could not be read; TVR_CHECK_RESULT=0"},
              Log());
    EXPECT_EQ(0u, fake::CountCalls("CreateFileA"));
}

} // namespace
