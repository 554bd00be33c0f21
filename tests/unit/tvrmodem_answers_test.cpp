// The NSIS plug-in's answers, apart from NSIS's stack: the speed a script writes, the
// "error" answer that touches no port, and the exports' results as the texts a script
// pops, on scripted ports.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_findwindow.h"
#include "fake_fixture.h"
#include "fake_serial.h"
#include "tvrmodem/PluginAnswers.h"

using namespace fake::serial;

namespace {

struct SpeedCase {
    const char *pszName;
    const char *pszText;
    BOOL bParsed;
    DWORD dwSpeed; // when parsed
};

void PrintTo(const SpeedCase &c, std::ostream *os) { *os << c.pszName; }

class SpeedTest : public ::testing::TestWithParam<SpeedCase> {};

// A refused text leaves the caller's value alone, so a caller that used it anyway
// would pass 12345 on.
TEST_P(SpeedTest, TakesDecimalDigitsOnly)
{
    const SpeedCase &c = GetParam();
    DWORD dwSpeed = 12345;
    EXPECT_EQ(ParseSpeed(c.pszText, &dwSpeed), c.bParsed);
    EXPECT_EQ(dwSpeed, c.bParsed ? c.dwSpeed : 12345u);
}

INSTANTIATE_TEST_SUITE_P(
    Texts, SpeedTest,
    ::testing::Values(SpeedCase{"common", "9600", TRUE, 9600}, SpeedCase{"fast", "115200", TRUE, 115200},
                      SpeedCase{"zero", "0", FALSE, 0}, SpeedCase{"leading_zeros", "0019200", TRUE, 19200},
                      SpeedCase{"largest", "4294967295", TRUE, 4294967295u},
                      SpeedCase{"one_past_largest", "4294967296", FALSE, 0},
                      SpeedCase{"far_too_large", "99999999999999999999999", FALSE, 0},
                      SpeedCase{"empty", "", FALSE, 0}, SpeedCase{"null", nullptr, FALSE, 0},
                      SpeedCase{"letters_o_for_zeros", "96OO", FALSE, 0},
                      SpeedCase{"leading_blank", " 9600", FALSE, 0}, SpeedCase{"trailing_blank", "9600 ", FALSE, 0},
                      SpeedCase{"plus_sign", "+9600", FALSE, 0}, SpeedCase{"minus_sign", "-1", FALSE, 0},
                      SpeedCase{"hexadecimal", "0x2580", FALSE, 0}, SpeedCase{"unit", "9600bps", FALSE, 0}),
    [](const ::testing::TestParamInfo<SpeedCase> &info) { return std::string(info.param.pszName); });

class AnswerTest : public FakePlatformTest {
protected:
    void SetUp() override
    {
        FakePlatformTest::SetUp();
        // The check's reply poll only reads the clock: let each reading take a millisecond.
        fake::SetTickStep(1);
    }
};

struct RefusedCase {
    const char *pszName;
    const char *pszPort;
    const char *pszSpeed;
    const char *pszCommand;
};

void PrintTo(const RefusedCase &c, std::ostream *os) { *os << c.pszName; }

class CheckPortRefusedTest : public AnswerTest, public ::testing::WithParamInterface<RefusedCase> {};

TEST_P(CheckPortRefusedTest, AnswersErrorWithoutAnyPlatformCall)
{
    AddReply(AddPort("COM3"), "AT\r", "\r\nOK\r\n", 200);
    const RefusedCase &c = GetParam();
    PluginAnswer answer;
    AnswerCheckPort(c.pszPort, c.pszSpeed, c.pszCommand, &answer);
    EXPECT_STREQ(answer.szResult, "error");
    EXPECT_TRUE(answer.bError);
    EXPECT_STREQ(answer.szPort, "");
    EXPECT_TRUE(fake::Calls().empty()) << ::testing::PrintToString(fake::Calls());
}

INSTANTIATE_TEST_SUITE_P(
    Arguments, CheckPortRefusedTest,
    ::testing::Values(RefusedCase{"no_port", nullptr, "9600", "AT"}, RefusedCase{"no_speed", "COM3", nullptr, "AT"},
                      RefusedCase{"no_command", "COM3", "9600", nullptr},
                      RefusedCase{"nothing_at_all", nullptr, nullptr, nullptr},
                      RefusedCase{"speed_not_a_number", "COM3", "fast", "AT"},
                      RefusedCase{"empty_speed", "COM3", "", ""}),
    [](const ::testing::TestParamInfo<RefusedCase> &info) { return std::string(info.param.pszName); });

TEST_F(AnswerTest, CheckPortSendsTheCommandAndAnswersOne)
{
    Port &port = AddPort("COM3");
    AddReply(port, "AT\r", "\r\nOK\r\n", 200);
    PluginAnswer answer;
    AnswerCheckPort("COM3", "9600", "AT", &answer);
    EXPECT_STREQ(answer.szResult, "1");
    EXPECT_FALSE(answer.bError);
    ASSERT_EQ(port.setStates.size(), 1u);
    EXPECT_EQ(port.setStates[0].BaudRate, 9600u);
    EXPECT_EQ(port.strDeviceReceived, "AT\r");
}

// The stack holds no optional arguments, only empty ones: "" is no command.
TEST_F(AnswerTest, CheckPortWithAnEmptyCommandSendsNothing)
{
    Port &port = AddPort("COM2");
    PluginAnswer answer;
    AnswerCheckPort("COM2", "19200", "", &answer);
    EXPECT_STREQ(answer.szResult, "1");
    EXPECT_EQ(port.strDeviceReceived, "");
    EXPECT_EQ(fake::CountCalls("WriteFile"), 0u);
}

TEST_F(AnswerTest, CheckPortOfAPortThatRefusesTheSpeedAnswersZero)
{
    AddReply(AddPort("COM3"), "AT\r", "\r\nOK\r\n", 200);
    fake::FailCall("SetCommState", ERROR_INVALID_PARAMETER);
    PluginAnswer answer;
    AnswerCheckPort("COM3", "12345", "AT", &answer);
    EXPECT_STREQ(answer.szResult, "0");
    EXPECT_FALSE(answer.bError);
}

TEST_F(AnswerTest, CheckPortOfAMissingPortAnswersZero)
{
    PluginAnswer answer;
    AnswerCheckPort("COM9", "9600", "AT", &answer);
    EXPECT_STREQ(answer.szResult, "0");
    EXPECT_FALSE(answer.bError);
}

TEST_F(AnswerTest, ScanNamesThePortThatAnswered)
{
    AddPort("COM1");
    AddModem(AddPort("COM3"));
    PluginAnswer answer;
    AnswerScan(&answer);
    EXPECT_STREQ(answer.szResult, "1");
    EXPECT_STREQ(answer.szPort, "COM3");
    EXPECT_FALSE(answer.bError);
}

TEST_F(AnswerTest, ScanWithoutAModemAnswersZeroAndNoPort)
{
    PluginAnswer answer;
    AnswerScan(&answer);
    EXPECT_STREQ(answer.szResult, "0");
    EXPECT_STREQ(answer.szPort, "");
    EXPECT_FALSE(answer.bError);
}

HWND const kInstallerWindow = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4242));

TEST_F(AnswerTest, FindNamesThePortThatAnswered)
{
    AddPort("COM1");
    AddModem(AddPort("COM3"));
    PluginAnswer answer;
    AnswerFind(NULL, NULL, &answer);
    EXPECT_STREQ(answer.szResult, "1");
    EXPECT_STREQ(answer.szPort, "COM3");
    EXPECT_FALSE(answer.bError);
    EXPECT_TRUE(fake::findwindow::Events().empty()) << "a window without an owner";
}

TEST_F(AnswerTest, FindWithoutAModemAnswersZeroAndNoPort)
{
    PluginAnswer answer;
    AnswerFind(kInstallerWindow, NULL, &answer);
    EXPECT_STREQ(answer.szResult, "0");
    EXPECT_STREQ(answer.szPort, "");
    EXPECT_FALSE(answer.bError);
}

// A cancelled search is not "no modem": the script must be able to tell the user's
// choice from the machine's answer.
TEST_F(AnswerTest, FindCancelledByTheUserAnswersCancel)
{
    for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"})
        AddPort(szPort);
    fake::findwindow::CancelAt(1000);
    PluginAnswer answer;
    AnswerFind(kInstallerWindow, NULL, &answer);
    EXPECT_STREQ(answer.szResult, "cancel");
    EXPECT_STREQ(answer.szPort, "");
    EXPECT_FALSE(answer.bError);
}

} // namespace
