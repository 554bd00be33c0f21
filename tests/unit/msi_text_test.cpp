// The pure half of the installer custom actions: reading a speed property, judging the
// check's inputs, and every log line, each against literal expectations.
#include <gtest/gtest.h>

#include <string.h>

#include <string>

#include "msi/ActionText.h"

namespace {

// --- Speeds ----------------------------------------------------------------------------

struct SpeedCase {
    const char *pszName;
    const char *pszText;
    bool bSpeed;
    DWORD dwBaud; // when bSpeed; otherwise the sentinel must survive
};

void PrintTo(const SpeedCase &c, std::ostream *os) { *os << c.pszName; }

const SpeedCase kSpeedCases[] = {
    {"Common", "9600", true, 9600},
    {"Slow", "300", true, 300},
    {"Fast", "115200", true, 115200},
    {"One", "1", true, 1},
    {"LeadingZeros", "009600", true, 9600},
    {"LargestDword", "4294967295", true, 4294967295u},
    {"TenDigitsWithLeadingZero", "0000019200", true, 19200},
    {"OneMoreThanADword", "4294967296", false, 0},
    {"ElevenDigitsLeadingZeros", "00000009600", true, 9600},
    {"FarTooLarge", "99999999999999999999", false, 0},
    {"Zero", "0", false, 0},
    {"Zeros", "0000", false, 0},
    {"Empty", "", false, 0},
    {"Word", "fast", false, 0},
    {"Negative", "-9600", false, 0},
    {"Plus", "+9600", false, 0},
    {"LeadingSpace", " 9600", false, 0},
    {"TrailingSpace", "9600 ", false, 0},
    {"Unit", "9600bps", false, 0},
    {"Decimal", "9600.0", false, 0},
    {"Hex", "0x2580", false, 0},
    {"Grouped", "9,600", false, 0},
};

class ParseSpeedTest : public ::testing::TestWithParam<SpeedCase> {};

TEST_P(ParseSpeedTest, TakesDigitsOnlyWithinADword)
{
    const SpeedCase &c = GetParam();
    DWORD dwBaud = 0xDEADBEEF;
    EXPECT_EQ(c.bSpeed, ParseSpeed(c.pszText, &dwBaud));
    EXPECT_EQ(c.bSpeed ? c.dwBaud : 0xDEADBEEF, dwBaud);
}

INSTANTIATE_TEST_SUITE_P(Texts, ParseSpeedTest, ::testing::ValuesIn(kSpeedCases),
                         [](const ::testing::TestParamInfo<SpeedCase> &info) { return info.param.pszName; });

// --- Port names ---------------------------------------------------

TEST(PortNameOf, NamesTheFourPortsTheFindTries)
{
    const struct {
        int nPort;
        const char *pszName;
    } kCases[] = {{1, "COM1"}, {2, "COM2"}, {3, "COM3"}, {4, "COM4"}, {0, ""}, {5, ""}, {-1, ""}};
    for (const auto &c : kCases) {
        char ach[kFindPortChars];
        memset(ach, 'X', sizeof ach);
        PortNameOf(c.nPort, ach);
        EXPECT_STREQ(c.pszName, ach) << "port " << c.nPort;
    }
}

// --- The check's inputs ------------------------------------------------------------------

struct InputCase {
    const char *pszName;
    CheckRequest request;
    CheckInput input;
    DWORD dwBaud; // when OK
    const char *pszLine; // the line of a refused check (answer 0)
};

void PrintTo(const InputCase &c, std::ostream *os) { *os << c.pszName; }

const char kLong[] = "(cut)"; // what a too-long read leaves is never shown

const InputCase kInputCases[] = {
    {"AllGiven", {PROPERTY_SET, "COM3", PROPERTY_SET, "9600", PROPERTY_SET, "AT"}, CHECK_INPUT_OK, 9600, nullptr},
    {"NoCommand", {PROPERTY_SET, "COM2", PROPERTY_SET, "2400", PROPERTY_EMPTY, ""}, CHECK_INPUT_OK, 2400, nullptr},
    {"NoPort", {PROPERTY_EMPTY, "", PROPERTY_SET, "9600", PROPERTY_SET, "AT"}, CHECK_INPUT_NO_PORT, 0,
     "telvarid: not checked: TVR_CHECK_PORT is not set; TVR_CHECK_RESULT=0"},
    {"PortTooLong", {PROPERTY_TOO_LONG, "", PROPERTY_SET, "9600", PROPERTY_EMPTY, ""}, CHECK_INPUT_PORT_TOO_LONG, 0,
     "telvarid: not checked: TVR_CHECK_PORT is longer than 255 characters; TVR_CHECK_RESULT=0"},
    {"NoSpeed", {PROPERTY_SET, "COM3", PROPERTY_EMPTY, "", PROPERTY_EMPTY, ""}, CHECK_INPUT_NO_SPEED, 0,
     "telvarid: not checked: TVR_CHECK_SPEED is not set; TVR_CHECK_RESULT=0"},
    {"SpeedAWord", {PROPERTY_SET, "COM3", PROPERTY_SET, "fast", PROPERTY_EMPTY, ""}, CHECK_INPUT_BAD_SPEED, 0,
     "telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s: \"fast\"; TVR_CHECK_RESULT=0"},
    {"SpeedZero", {PROPERTY_SET, "COM1", PROPERTY_SET, "0", PROPERTY_SET, "AT"}, CHECK_INPUT_BAD_SPEED, 0,
     "telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s: \"0\"; TVR_CHECK_RESULT=0"},
    {"SpeedTooLong", {PROPERTY_SET, "COM3", PROPERTY_TOO_LONG, kLong, PROPERTY_EMPTY, ""}, CHECK_INPUT_BAD_SPEED, 0,
     "telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s; TVR_CHECK_RESULT=0"},
    {"CommandTooLongForTheBuffer", {PROPERTY_SET, "COM3", PROPERTY_SET, "9600", PROPERTY_TOO_LONG, kLong},
     CHECK_INPUT_COMMAND_TOO_LONG, 0,
     "telvarid: not checked: TVR_CHECK_COMMAND is longer than 254 characters; TVR_CHECK_RESULT=0"},
    {"PortUnreadable", {PROPERTY_UNREADABLE, "", PROPERTY_SET, "9600", PROPERTY_EMPTY, ""}, CHECK_INPUT_UNREADABLE, 0,
     "telvarid: not checked: a property could not be read; TVR_CHECK_RESULT=0"},
    {"CommandUnreadable", {PROPERTY_SET, "COM4", PROPERTY_SET, "9600", PROPERTY_UNREADABLE, ""},
     CHECK_INPUT_UNREADABLE, 0,
     "telvarid: not checked: a property could not be read; TVR_CHECK_RESULT=0"},
    // The port is judged first, then the speed, then the command.
    {"NoPortAndABadSpeed", {PROPERTY_EMPTY, "", PROPERTY_SET, "x", PROPERTY_EMPTY, ""}, CHECK_INPUT_NO_PORT, 0,
     "telvarid: not checked: TVR_CHECK_PORT is not set; TVR_CHECK_RESULT=0"},
    {"BadSpeedAndALongCommand", {PROPERTY_SET, "COM3", PROPERTY_SET, "x", PROPERTY_TOO_LONG, kLong},
     CHECK_INPUT_BAD_SPEED, 0,
     "telvarid: not checked: TVR_CHECK_SPEED is not a speed in bit/s: \"x\"; TVR_CHECK_RESULT=0"},
};

class JudgeCheckInputTest : public ::testing::TestWithParam<InputCase> {};

TEST_P(JudgeCheckInputTest, StopsAtTheFirstUnusableInputAndSaysWhy)
{
    const InputCase &c = GetParam();
    DWORD dwBaud = 0;
    EXPECT_EQ(c.input, JudgeCheckInput(&c.request, &dwBaud));
    if (c.input == CHECK_INPUT_OK) {
        EXPECT_EQ(c.dwBaud, dwBaud);
        return;
    }
    char achLine[kLogLineChars];
    FormatCheckLine(achLine, &c.request, c.input, 0, 0);
    EXPECT_STREQ(c.pszLine, achLine);
}

INSTANTIATE_TEST_SUITE_P(Inputs, JudgeCheckInputTest, ::testing::ValuesIn(kInputCases),
                         [](const ::testing::TestParamInfo<InputCase> &info) { return info.param.pszName; });

// The longest command the check sends passes; one character more is refused here, as
// the check itself would refuse it.
TEST(JudgeCheckInput, CommandLengthLimitIsTheChecks)
{
    std::string strLongest(254, 'A');
    std::string strTooLong(255, 'A');
    CheckRequest request = {PROPERTY_SET, "COM3", PROPERTY_SET, "9600", PROPERTY_SET, strLongest.c_str()};
    DWORD dwBaud = 0;
    EXPECT_EQ(CHECK_INPUT_OK, JudgeCheckInput(&request, &dwBaud));
    request.pszCommand = strTooLong.c_str();
    EXPECT_EQ(CHECK_INPUT_COMMAND_TOO_LONG, JudgeCheckInput(&request, &dwBaud));
}

// --- The lines of answered questions ---------------------------------------------------

TEST(FormatCheckLine, SaysWhatWasCheckedAndTheAnswer)
{
    const struct {
        const char *pszName;
        CheckRequest request;
        DWORD dwBaud;
        int nResult;
        const char *pszLine;
    } kCases[] = {
        {"CommandAnswered", {PROPERTY_SET, "COM3", PROPERTY_SET, "9600", PROPERTY_SET, "AT"}, 9600, 1,
         "telvarid: COM3 checked at 9600 bit/s with \"AT\": passed; TVR_CHECK_RESULT=1"},
        {"CommandNotAnswered", {PROPERTY_SET, "COM3", PROPERTY_SET, "9600", PROPERTY_SET, "ATI3"}, 9600, 0,
         "telvarid: COM3 checked at 9600 bit/s with \"ATI3\": failed; TVR_CHECK_RESULT=0"},
        {"NoCommandPassed", {PROPERTY_SET, "COM1", PROPERTY_SET, "115200", PROPERTY_EMPTY, ""}, 115200, 1,
         "telvarid: COM1 checked at 115200 bit/s without a command: passed; TVR_CHECK_RESULT=1"},
        {"NoCommandFailed", {PROPERTY_SET, "\\\\.\\COM12", PROPERTY_SET, "57600", PROPERTY_EMPTY, ""}, 57600, 0,
         "telvarid: \\\\.\\COM12 checked at 57600 bit/s without a command: failed; TVR_CHECK_RESULT=0"},
        // Brackets are the package's own text, shown as they are.
        {"CommandWithBrackets", {PROPERTY_SET, "COM2", PROPERTY_SET, "2400", PROPERTY_SET, "AT[X]"}, 2400, 0,
         "telvarid: COM2 checked at 2400 bit/s with \"AT[X]\": failed; TVR_CHECK_RESULT=0"},
    };
    for (const auto &c : kCases) {
        char achLine[kLogLineChars];
        FormatCheckLine(achLine, &c.request, CHECK_INPUT_OK, c.dwBaud, c.nResult);
        EXPECT_STREQ(c.pszLine, achLine) << c.pszName;
    }
}

// The longest inputs the action reads still give a whole line.
TEST(FormatCheckLine, TheLongestInputsFitTheLine)
{
    std::string strPort(255, 'P');
    std::string strCommand(254, 'C');
    CheckRequest request = {PROPERTY_SET, strPort.c_str(), PROPERTY_SET, "4294967295", PROPERTY_SET,
                            strCommand.c_str()};
    char achLine[kLogLineChars];
    FormatCheckLine(achLine, &request, CHECK_INPUT_OK, 4294967295u, 0);
    const std::string strLine = achLine;
    EXPECT_EQ("telvarid: " + strPort + " checked at 4294967295 bit/s with \"" + strCommand +
                  "\": failed; TVR_CHECK_RESULT=0",
              strLine);
}

TEST(FormatFindLine, SaysWhereAModemAnswers)
{
    const struct {
        int nResult;
        const char *pszPort;
        const char *pszLine;
    } kCases[] = {
        {1, "COM3", "telvarid: COM1-COM4 searched: a modem answers on COM3; TVR_FIND_RESULT=1 TVR_FIND_PORT=COM3"},
        {1, "COM1", "telvarid: COM1-COM4 searched: a modem answers on COM1; TVR_FIND_RESULT=1 TVR_FIND_PORT=COM1"},
        {0, "", "telvarid: COM1-COM4 searched: no modem answers; TVR_FIND_RESULT=0 TVR_FIND_PORT unset"},
        {-1, "", "telvarid: COM1-COM4 searched: the search could not run; TVR_FIND_RESULT=-1 TVR_FIND_PORT unset"},
    };
    for (const auto &c : kCases) {
        char achLine[kLogLineChars];
        FormatFindLine(achLine, c.nResult, c.pszPort);
        EXPECT_STREQ(c.pszLine, achLine);
    }
}

TEST(FormatTelephonyLine, SaysWhatTheServiceLists)
{
    const struct {
        int nResult;
        const char *pszPort;
        const char *pszLine;
    } kCases[] = {
        {2, "COM3",
         "telvarid: telephony asked: a data modem at 9600 bit/s or more; TVR_TELEPHONY_RESULT=2 "
         "TVR_TELEPHONY_PORT=COM3"},
        {2, "",
         "telvarid: telephony asked: a data modem at 9600 bit/s or more; TVR_TELEPHONY_RESULT=2 "
         "TVR_TELEPHONY_PORT unset"},
        {1, "COM1",
         "telvarid: telephony asked: data modems, none at 9600 bit/s or more; TVR_TELEPHONY_RESULT=1 "
         "TVR_TELEPHONY_PORT=COM1"},
        {0, "",
         "telvarid: telephony asked: no data modem, or no telephony; TVR_TELEPHONY_RESULT=0 TVR_TELEPHONY_PORT unset"},
    };
    for (const auto &c : kCases) {
        char achLine[kLogLineChars];
        FormatTelephonyLine(achLine, c.nResult, c.pszPort);
        EXPECT_STREQ(c.pszLine, achLine);
    }
}

} // namespace
