// The modem speed check: TVRModemAvailable's answer and the caller's buffer for each
// arrangement of modems, the blocks handed to the service, and the bounded reads of
// what the service returns.
#include <gtest/gtest.h>

#include <memory>

#include "telephony_fixture.h"

namespace {

using fake::tapi::DataModem;
using fake::tapi::Device;

const LONG kFailed = static_cast<LONG>(0x80000048);
const char kUntouched[] = "(untouched)";

Device FailingGetID(const std::string &strPort, DWORD dwBaud)
{
    Device d = DataModem(strPort, dwBaud);
    d.lGetIDResult = kFailed;
    return d;
}

Device FailingOpen(const std::string &strPort, DWORD dwBaud)
{
    Device d = DataModem(strPort, dwBaud);
    d.lOpenResult = kFailed;
    return d;
}

Device FailingConfig(const std::string &strPort, DWORD dwBaud)
{
    Device d = DataModem(strPort, dwBaud);
    d.lDevConfigResult = kFailed;
    return d;
}

// The service writes its whole answer into the block and still returns its failure.
Device AnsweringAnyway(Device d)
{
    d.bAnswerOnFailure = true;
    return d;
}

Device VoiceOnly()
{
    Device d;
    d.dwMediaModes = 0;
    return d;
}

struct WalkCase {
    const char *pszName;
    std::vector<Device> devices;
    bool bNoLibrary;
    int nResult;
    std::string strName;           // the buffer afterwards, or kUntouched
    std::vector<DWORD> queried;    // device IDs whose configuration was asked for
};

// Shown by name in test listings.
void PrintTo(const WalkCase &c, std::ostream *os) { *os << c.pszName; }

std::vector<WalkCase> WalkCases()
{
    return {
        {"OneAt9600", {DataModem("COM3", 9600)}, false, 2, "COM3", {0}},
        {"OneAt9599", {DataModem("COM3", 9599)}, false, 1, "COM3", {0}},
        {"SlowThenFast", {DataModem("COM1", 2400), DataModem("COM2", 9600)}, false, 2, "COM2", {0, 1}},
        {"BothSlowLastNameStays", {DataModem("COM1", 2400), DataModem("COM2", 9599)}, false, 1, "COM2", {0, 1}},
        {"FastWithFailedGetID", {FailingGetID("COM4", 9600)}, false, 2, kUntouched, {0}},
        {"BothSlowSecondGetIDFails", {DataModem("COM1", 2400), FailingGetID("COM2", 4800)}, false, 1, "COM1",
         {0, 1}},
        {"EarlierNameKeptWhenGetIDFails", {DataModem("COM1", 2400), FailingGetID("COM2", 9600)}, false, 2, "COM1",
         {0, 1}},
        {"FailedOpenStillQueriesSpeed", {FailingOpen("COM1", 19200)}, false, 2, kUntouched, {0}},
        {"FailedConfigCountsAsSlow", {FailingConfig("COM1", 57600)}, false, 1, "COM1", {0}},
        // A failure counts even when the service filled the block before failing.
        {"FailedGetIDWithAFullIdentifier", {AnsweringAnyway(FailingGetID("COM4", 9600))}, false, 2, kUntouched, {0}},
        {"FailedConfigWithAFullConfiguration", {AnsweringAnyway(FailingConfig("COM1", 57600))}, false, 1, "COM1",
         {0}},
        {"TopSpeedIsUnsigned", {DataModem("COM1", 0xFFFFFFFFu)}, false, 2, "COM1", {0}},
        {"SpeedZero", {DataModem("COM1", 0)}, false, 1, "COM1", {0}},
        {"FirstQualifyingEndsWalk", {DataModem("COM1", 9600), DataModem("COM2", 115200)}, false, 2, "COM1", {0}},
        {"SkipsNonModems", {VoiceOnly(), DataModem("COM2", 2400), VoiceOnly(), DataModem("COM4", 9600)}, false, 2,
         "COM4", {1, 3}},
        {"NoDataModem", {VoiceOnly()}, false, 0, kUntouched, {}},
        {"NoLibrary", {DataModem("COM1", 9600)}, true, 0, kUntouched, {}},
    };
}

class ModemWalkTest : public TelephonyTest, public ::testing::WithParamInterface<WalkCase> {};

TEST_P(ModemWalkTest, ResultNameAndModemsQueried)
{
    const WalkCase &c = GetParam();
    fake::tapi::Script().devices = c.devices;
    fake::tapi::Script().bLibraryPresent = !c.bNoLibrary;
    PortBuffer buf;

    int nResult = TVRModemAvailable(buf.sz);

    EXPECT_EQ(nResult, c.nResult);
    if (c.strName == kUntouched) {
        EXPECT_TRUE(buf.Untouched());
    } else {
        EXPECT_EQ(buf.Text(), c.strName);
        EXPECT_TRUE(buf.UntouchedFrom(c.strName.size() + 1)) << "written past the name's zero";
    }
    std::vector<std::string> expected;
    for (DWORD id : c.queried)
        expected.push_back("lineGetDevConfig(" + std::to_string(id) + ", block136, \"comm/datamodem\")");
    EXPECT_EQ(fake::CallsTo("lineGetDevConfig"), expected);
    // Port names are asked for the same modems, each on a line opened and closed.
    EXPECT_EQ(fake::CountCalls("lineOpen"), c.queried.size());
    EXPECT_EQ(fake::tapi::LoadCount(), c.bNoLibrary ? 0 : 1);
    // Two blocks for the table, two per modem queried.
    if (c.nResult) {
        EXPECT_EQ(fake::AllocCount(), 2 + 2 * c.queried.size());
    }
}

INSTANTIATE_TEST_SUITE_P(Modems, ModemWalkTest, ::testing::ValuesIn(WalkCases()),
                         [](const ::testing::TestParamInfo<WalkCase> &info) { return info.param.pszName; });

TEST_F(TelephonyTest, BothPortNamesAreWrittenInTurn)
{
    fake::tapi::Script().devices = {DataModem("COM1", 2400), DataModem("COM2", 9600)};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 2);
    EXPECT_EQ(fake::CallNames(),
              (std::vector<std::string>{"LoadLibraryExA",   "GetProcAddress",   "GetProcAddress",
                                        "GetProcAddress",   "GetProcAddress",   "GetProcAddress",
                                        "GetProcAddress",   "GetProcAddress",   "GetProcAddress",
                                        "lineInitialize",   "lineNegotiateAPIVersion",
                                        "lineGetDevCaps",   "lineNegotiateAPIVersion",
                                        "lineGetDevCaps",   "lineOpen",         "lineGetID",
                                        "lineClose",        "lineGetDevConfig", "lineOpen",
                                        "lineGetID",        "lineClose",        "lineGetDevConfig",
                                        "lineShutdown",     "FreeLibrary"}));
}

TEST_F(TelephonyTest, LineCallsCarryTheFixedArguments)
{
    fake::tapi::Script().devices = {VoiceOnly(), DataModem("COM2", 9600)};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 2);
    EXPECT_EQ(fake::CallsTo("lineOpen"),
              std::vector<std::string>{"lineOpen(0xc0ffee, 1, &line, 0x10003, 0, 0, 0x1, 0x10, NULL)"});
    std::vector<std::string> getID = fake::CallsTo("lineGetID");
    ASSERT_EQ(getID.size(), 1u);
    // Address ID is the device ID; call handle 0; selection "the line".
    EXPECT_NE(getID[0].find(", 1, 0, 1, block104, \"comm/datamodem\")"), std::string::npos) << getID[0];
}

TEST_F(TelephonyTest, QueryBlocksArePresetAsTheServiceExpects)
{
    fake::tapi::Script().devices = {DataModem("COM1", 2400)};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 1);

    ASSERT_EQ(fake::tapi::IdOnEntry().size(), 1u);
    std::vector<BYTE> id(104, 0);
    WriteBlockDword(id.data(), 104, 0, 104);
    WriteBlockDword(id.data(), 104, 16, 80);
    WriteBlockDword(id.data(), 104, 20, 24);
    EXPECT_EQ(fake::tapi::IdOnEntry()[0], id);

    ASSERT_EQ(fake::tapi::ConfigOnEntry().size(), 1u);
    const std::vector<BYTE> &cfg = fake::tapi::ConfigOnEntry()[0];
    ASSERT_EQ(cfg.size(), 136u);
    struct Field { DWORD dwOffset, dwValue; };
    const Field kFields[] = {{0, 136}, {12, 4}, {16, 112}, {20, 24}, {24, 112}, {28, 0x00010003},
                             {36, 100}, {76, 52}, {80, 48}, {88, 48}};
    std::vector<BYTE> expected(136, 0);
    for (const Field &f : kFields) {
        EXPECT_EQ(ReadBlockDword(cfg.data(), 136, f.dwOffset), f.dwValue) << "offset " << f.dwOffset;
        WriteBlockDword(expected.data(), 136, f.dwOffset, f.dwValue);
    }
    EXPECT_EQ(cfg[40] | (cfg[41] << 8), 1) << "COMMCONFIG wVersion";
    WriteBlockWord(expected.data(), 136, 40, 1);
    // Everything the service is to fill starts zeroed, the speed among it.
    EXPECT_EQ(cfg, expected);
}

TEST_F(TelephonyTest, AllocDevConfigBufferGivesAPresetBlockOrNull)
{
    BYTE *p = AllocDevConfigBuffer();
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(fake::BlockSize(p), 136u);
    EXPECT_EQ(std::vector<BYTE>(p, p + 136), Preset(PresetDevConfigBlock, 136));
    free(p);
    fake::FailAlloc(2);
    EXPECT_EQ(AllocDevConfigBuffer(), nullptr);
}

TEST_F(TelephonyTest, PortHandleInTheIdentifierIsNeverClosed)
{
    Device d = DataModem("COM1", 9600);
    d.qwPortHandle = 0x1234; // whatever stands there is not ours to close
    fake::tapi::Script().devices = {d};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 2);
    EXPECT_EQ(buf.Text(), "COM1");
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 0u);
}

// The export reads the name after a handle as wide as this build's HANDLE (8 bytes on
// the native x86-64 build of the tests): a reader that skipped any other width would
// take handle bytes into the name, or lose the name's start.
TEST_F(TelephonyTest, NameIsReadAfterAHandleAsWideAsTheBuildsHandle)
{
    Device d = DataModem("COM5", 9600);
    d.cbPortHandle = sizeof(HANDLE);
    d.qwPortHandle = 0x1122334455667788ull; // no zero byte in it
    fake::tapi::Script().devices = {d};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 2);
    EXPECT_EQ(buf.Text(), "COM5");
    EXPECT_TRUE(buf.UntouchedFrom(5));
}

// Every heap allocation of a two-modem call failed in turn: no leak, no stray write,
// a sound answer.
struct AllocFailCase {
    int nth;
    int nResult;
    std::string strName;
};

void PrintTo(const AllocFailCase &c, std::ostream *os) { *os << "allocation " << c.nth; }

class ModemAllocFailTest : public TelephonyTest, public ::testing::WithParamInterface<AllocFailCase> {};

TEST_P(ModemAllocFailTest, FailedBlockCostsOnlyItsOwnQuery)
{
    const AllocFailCase &c = GetParam();
    fake::tapi::Script().devices = {DataModem("COM1", 9600), DataModem("COM2", 9600)};
    fake::FailAlloc(c.nth);
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), c.nResult);
    if (c.strName == kUntouched)
        EXPECT_TRUE(buf.Untouched());
    else
        EXPECT_EQ(buf.Text(), c.strName);
}

INSTANTIATE_TEST_SUITE_P(Nth, ModemAllocFailTest,
                         ::testing::Values(AllocFailCase{1, 0, kUntouched},   // table
                                           AllocFailCase{2, 0, kUntouched},   // capabilities buffer
                                           AllocFailCase{3, 2, kUntouched},   // first identifier block
                                           AllocFailCase{4, 2, "COM2"},       // first configuration block
                                           AllocFailCase{5, 2, "COM1"},       // second identifier block
                                           AllocFailCase{6, 2, "COM1"}),      // nothing: first modem qualifies
                         [](const ::testing::TestParamInfo<AllocFailCase> &info) {
                             return "Allocation" + std::to_string(info.param.nth);
                         });

// The queries alone on a bound session: what lTAPIErrorCode holds after each.
class ModemQueryTest : public TelephonyTest {
protected:
    void TearDown() override
    {
        UnbindTelephony(&m_session);
        TelephonyTest::TearDown();
    }
    TelephonySession m_session;
    ModemEntry m_entry = {};
};

TEST_F(ModemQueryTest, ErrorCodeFollowsEachRecordedCall)
{
    Device d = DataModem("COM1", 9600);
    d.lOpenResult = 3; // positive results are successes too
    d.lGetIDResult = 0;
    d.lDevConfigResult = 9;
    fake::tapi::Script().devices = {d, FailingOpen("COM2", 1), FailingGetID("COM3", 1), FailingConfig("COM4", 1)};
    BindOrFail(&m_session);
    PortBuffer buf;

    m_entry.dwDeviceID = 0;
    QueryModemPortName(&m_session, &m_entry, buf.sz);
    EXPECT_EQ(m_session.lTAPIErrorCode, 0) << "lineClose's result is not recorded";
    EXPECT_EQ(buf.Text(), "COM1");
    EXPECT_EQ(QueryModemSpeed(&m_session, &m_entry), 9600u);
    EXPECT_EQ(m_session.lTAPIErrorCode, 9);

    m_entry.dwDeviceID = 1;
    QueryModemPortName(&m_session, &m_entry, buf.sz);
    EXPECT_EQ(m_session.lTAPIErrorCode, kFailed);
    m_entry.dwDeviceID = 2;
    QueryModemPortName(&m_session, &m_entry, buf.sz);
    EXPECT_EQ(m_session.lTAPIErrorCode, kFailed);
    EXPECT_EQ(buf.Text(), "COM1");
    m_entry.dwDeviceID = 3;
    EXPECT_EQ(QueryModemSpeed(&m_session, &m_entry), 0u);
    EXPECT_EQ(m_session.lTAPIErrorCode, kFailed);
    // The line of the failed lineGetID was closed; the one that failed to open was not.
    EXPECT_EQ(fake::CountCalls("lineClose"), 2u);
}

// A service that fills the block and then reports a failure: the failure decides, for
// either width of the port handle. The same devices answering success show that the
// blocks they leave really hold a name and a fast speed.
class FilledFailureTest : public ModemQueryTest, public ::testing::WithParamInterface<DWORD> {};

TEST_P(FilledFailureTest, NoNameAndNoSpeedWhateverTheBlockHolds)
{
    const DWORD cbHandle = GetParam();
    Device failing = AnsweringAnyway(DataModem("COM4", 9600));
    failing.cbPortHandle = cbHandle;
    failing.lGetIDResult = kFailed;
    failing.lDevConfigResult = kFailed;
    Device answering = failing;
    answering.lGetIDResult = 0;
    answering.lDevConfigResult = 0;
    fake::tapi::Script().devices = {failing, answering};
    BindOrFail(&m_session);
    PortBuffer buf;

    m_entry.dwDeviceID = 0;
    QueryModemPortNameEx(&m_session, &m_entry, buf.sz, cbHandle);
    EXPECT_EQ(m_session.lTAPIErrorCode, kFailed);
    EXPECT_TRUE(buf.Untouched());
    EXPECT_EQ(QueryModemSpeed(&m_session, &m_entry), 0u);
    EXPECT_EQ(m_session.lTAPIErrorCode, kFailed);
    EXPECT_EQ(fake::CountCalls("lineClose"), 1u) << "the line is closed after the failure";

    m_entry.dwDeviceID = 1;
    QueryModemPortNameEx(&m_session, &m_entry, buf.sz, cbHandle);
    EXPECT_EQ(buf.Text(), "COM4");
    EXPECT_EQ(QueryModemSpeed(&m_session, &m_entry), 9600u);
}

INSTANTIATE_TEST_SUITE_P(HandleWidths, FilledFailureTest, ::testing::Values(4u, 8u),
                         [](const ::testing::TestParamInfo<DWORD> &info) {
                             return "Handle" + std::to_string(info.param);
                         });

// Identifiers written by the service itself with a 4-byte (x86) or an 8-byte (x86-64)
// port handle, read by the query told that width: the name follows the handle, the
// longest that fits (80 bytes of room, less the handle, less the zero) comes through
// whole, and one character more does not fit, so nothing is written.
struct WrittenIdCase {
    const char *pszName;
    DWORD cbHandle;
    std::string strPort; // what the service holds
    std::string strName; // the buffer afterwards, or kUntouched
};

void PrintTo(const WrittenIdCase &c, std::ostream *os) { *os << c.pszName; }

class WrittenIdTest : public ModemQueryTest, public ::testing::WithParamInterface<WrittenIdCase> {};

TEST_P(WrittenIdTest, NameFollowsTheHandle)
{
    const WrittenIdCase &c = GetParam();
    Device d = DataModem(c.strPort, 9600);
    d.cbPortHandle = c.cbHandle;
    d.qwPortHandle = 0x0102030405060708ull; // no zero byte in it
    fake::tapi::Script().devices = {d};
    BindOrFail(&m_session);
    PortBuffer buf;
    QueryModemPortNameEx(&m_session, &m_entry, buf.sz, c.cbHandle);
    EXPECT_EQ(m_session.lTAPIErrorCode, 0);
    if (c.strName == kUntouched) {
        EXPECT_TRUE(buf.Untouched());
    } else {
        EXPECT_EQ(buf.Text(), c.strName);
        EXPECT_TRUE(buf.UntouchedFrom(c.strName.size() + 1));
    }
}

INSTANTIATE_TEST_SUITE_P(
    HandleWidths, WrittenIdTest,
    ::testing::Values(WrittenIdCase{"Handle4", 4, "COM7", "COM7"}, WrittenIdCase{"Handle8", 8, "COM7", "COM7"},
                      WrittenIdCase{"Handle4Longest75", 4, std::string(75, 'P'), std::string(75, 'P')},
                      WrittenIdCase{"Handle8Longest71", 8, std::string(71, 'P'), std::string(71, 'P')},
                      WrittenIdCase{"Handle4TooLong76", 4, std::string(76, 'Q'), kUntouched},
                      WrittenIdCase{"Handle8TooLong72", 8, std::string(72, 'Q'), kUntouched}),
    [](const ::testing::TestParamInfo<WrittenIdCase> &info) { return info.param.pszName; });

// What the service returns in the port identifier block, and what reaches the caller,
// for a port handle of 4 bytes (x86) and of 8 bytes (x86-64). Offsets and sizes are
// the block's own numbers: the string room is bytes 24 to 103.
struct IdCase {
    const char *pszName;
    DWORD cbHandle;
    std::vector<BYTE> bytes; // bytes 24 to 103 as the service left them
    DWORD dwNeeded, dwUsed, dwStringSize, dwStringOffset;
    std::string strName; // or kUntouched
};

// Shown by name in test listings.
void PrintTo(const IdCase &c, std::ostream *os) { *os << c.pszName; }

std::vector<BYTE> Room(const std::string &s)
{
    std::vector<BYTE> v(80, 0);
    memcpy(v.data(), s.data(), std::min<size_t>(s.size(), 80));
    return v;
}

std::vector<IdCase> IdCases()
{
    // Port handles without a zero byte, so that a reader that takes the wrong width
    // reads handle bytes as the name or skips the name's first characters.
    std::string h4("\x11\x22\x33\x44", 4);
    std::string h8("\x11\x22\x33\x44\x55\x66\x77\x88", 8);
    std::string all(80, 'A');
    return {
        {"Usual4", 4, Room(h4 + "COM7"), 33, 33, 9, 24, "COM7"},
        {"Usual8", 8, Room(h8 + "COM7"), 37, 37, 13, 24, "COM7"},
        {"EmptyName4", 4, Room(h4), 29, 29, 5, 24, ""},
        {"EmptyName8", 8, Room(h8), 33, 33, 9, 24, ""},
        {"LongestFits4", 4, Room(h4 + std::string(75, 'P')), 104, 104, 80, 24, std::string(75, 'P')},
        {"LongestFits8", 8, Room(h8 + std::string(71, 'P')), 104, 104, 80, 24, std::string(71, 'P')},
        // No zero in the room: cut at the caller's 75 characters (76 bytes remain after a
        // 4-byte handle) or at the end of the block (72 bytes remain after an 8-byte one).
        {"NoZeroCutTo75", 4, Room(all), 104, 104, 80, 24, std::string(75, 'A')},
        {"NoZeroCutAtBlockEnd8", 8, Room(all), 104, 104, 80, 24, std::string(72, 'A')},
        // An offset of 20 leaves 80 (4-byte handle) or 76 (8-byte) bytes after the
        // handle: more than the caller's 75 characters either way.
        {"LowOffsetCutTo75With4", 4, Room(all), 104, 104, 84, 20, std::string(75, 'A')},
        {"LowOffsetCutTo75With8", 8, Room(all), 104, 104, 84, 20, std::string(75, 'A')},
        // dwStringSize only says a name came back; the name runs to its zero.
        {"NameRunsToItsZeroPastItsStringSize4", 4, Room(h4 + "COM12345"), 37, 37, 7, 24, "COM12345"},
        {"NameRunsToItsZeroPastItsStringSize8", 8, Room(h8 + "COM12345"), 41, 41, 11, 24, "COM12345"},
        // No zero before the end of the block: cut there (104 - 64 = 40 characters).
        {"NoZeroCutAtBlockEndNotStringSize4", 4, Room(std::string(40, '\0') + std::string(40, 'B')), 104, 104, 5,
         60, std::string(40, 'B')},
        {"NoZeroCutAtBlockEndNotStringSize8", 8, Room(std::string(40, '\0') + std::string(40, 'B')), 104, 104, 9,
         56, std::string(40, 'B')},
        {"DidNotFit4", 4, Room(h4 + "COM7"), 105, 24, 0, 0, kUntouched},
        {"DidNotFit8", 8, Room(h8 + "COM7"), 105, 24, 0, 0, kUntouched},
        {"NeededTooBigButStringClaimed4", 4, Room(h4 + "COM7"), 200, 33, 9, 24, kUntouched},
        {"NeededTooBigButStringClaimed8", 8, Room(h8 + "COM7"), 200, 37, 13, 24, kUntouched},
        {"NoString4", 4, Room(h4 + "COM7"), 33, 33, 0, 24, kUntouched},
        {"NoString8", 8, Room(h8 + "COM7"), 37, 37, 0, 24, kUntouched},
        {"OnlyTheHandle4", 4, Room(h4 + "COM7"), 28, 28, 4, 24, kUntouched},
        {"OnlyTheHandle8", 8, Room(h8 + "COM7"), 32, 32, 8, 24, kUntouched},
        // Each edge of "did a name come back" alone: a string no larger than the handle
        // with the whole block used, then a used size that ends exactly at the handle
        // with a string that holds a name; and one byte more of each, which does.
        {"StringSizeIsTheHandle4", 4, Room(h4 + "COM7"), 104, 104, 4, 24, kUntouched},
        {"StringSizeIsTheHandle8", 8, Room(h8 + "COM7"), 104, 104, 8, 24, kUntouched},
        {"StringSizeOneMoreThanTheHandle4", 4, Room(h4 + "COM7"), 104, 104, 5, 24, "COM7"},
        {"StringSizeOneMoreThanTheHandle8", 8, Room(h8 + "COM7"), 104, 104, 9, 24, "COM7"},
        {"UsedEndsAtTheHandle4", 4, Room(h4 + "COM7"), 33, 28, 9, 24, kUntouched},
        {"UsedEndsAtTheHandle8", 8, Room(h8 + "COM7"), 37, 32, 13, 24, kUntouched},
        {"UsedOneByteIntoTheName4", 4, Room(h4 + "COM7"), 33, 29, 9, 24, "COM7"},
        {"UsedOneByteIntoTheName8", 8, Room(h8 + "COM7"), 37, 33, 13, 24, "COM7"},
        {"ServiceWroteNothing4", 4, Room(""), 0, 0, 80, 24, kUntouched},
        {"ServiceWroteNothing8", 8, Room(""), 0, 0, 80, 24, kUntouched},
        // The name would start at the end of the block (100 + 4, 96 + 8) or past it.
        {"OffsetLeavesNoRoom4", 4, Room(h4 + "COM7"), 104, 104, 80, 100, kUntouched},
        {"OffsetLeavesNoRoom8", 8, Room(h8 + "COM7"), 104, 104, 80, 96, kUntouched},
        {"HandlePastTheBlock8", 8, Room(h8 + "COM7"), 104, 104, 80, 100, kUntouched},
        {"OffsetPastBlock4", 4, Room(h4 + "COM7"), 104, 104, 80, 0xFFFFFFFEu, kUntouched},
        {"OffsetPastBlock8", 8, Room(h8 + "COM7"), 104, 104, 80, 0xFFFFFFFAu, kUntouched},
        // The name's one byte is the block's last (103).
        {"OneByteOfRoom4", 4, Room(std::string(79, '\0') + "Z"), 104, 104, 5, 99, "Z"},
        {"OneByteOfRoom8", 8, Room(std::string(79, '\0') + "Z"), 104, 104, 9, 95, "Z"},
    };
}

class PortNameTest : public ModemQueryTest, public ::testing::WithParamInterface<IdCase> {};

// Each case through the pure reader, on a heap block of exactly 104 bytes, and through
// the port-name query, with the service leaving the same bytes.
TEST_P(PortNameTest, CopiedOnlyWhenReturnedAndNeverLongerThan75)
{
    const IdCase c = GetParam();
    auto fill = [c](BYTE *p, DWORD cb) {
        ASSERT_EQ(cb, 104u);
        memcpy(p + 24, c.bytes.data(), 80);
        WriteBlockDword(p, cb, 4, c.dwNeeded);
        WriteBlockDword(p, cb, 8, c.dwUsed);
        WriteBlockDword(p, cb, 16, c.dwStringSize);
        WriteBlockDword(p, cb, 20, c.dwStringOffset);
    };
    auto check = [&c](const PortBuffer &buf, const char *pszHow) {
        if (c.strName == kUntouched) {
            EXPECT_TRUE(buf.Untouched()) << pszHow;
        } else {
            EXPECT_EQ(buf.Text(), c.strName) << pszHow;
            EXPECT_TRUE(buf.UntouchedFrom(c.strName.size() + 1)) << pszHow;
            EXPECT_LE(c.strName.size(), 75u);
        }
    };

    std::unique_ptr<BYTE[]> block(new BYTE[104]());
    fill(block.get(), 104);
    PortBuffer direct;
    EXPECT_EQ(CopyPortName(block.get(), 104, c.cbHandle, direct.sz), c.strName != kUntouched ? TRUE : FALSE);
    check(direct, "CopyPortName");

    Device d = DataModem("COM1", 2400);
    d.cbPortHandle = c.cbHandle;
    d.fnPatchID = fill;
    fake::tapi::Script().devices = {d};
    BindOrFail(&m_session);
    PortBuffer queried;
    QueryModemPortNameEx(&m_session, &m_entry, queried.sz, c.cbHandle);
    check(queried, "QueryModemPortNameEx");
}

INSTANTIATE_TEST_SUITE_P(Identifiers, PortNameTest, ::testing::ValuesIn(IdCases()),
                         [](const ::testing::TestParamInfo<IdCase> &info) { return info.param.pszName; });

TEST_F(TelephonyTest, PortNameTooLongForTheBlockIsNotWritten)
{
    fake::tapi::Script().devices = {DataModem(std::string(76, 'Q'), 9600)};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 2);
    EXPECT_TRUE(buf.Untouched());
}

// What the service returns in the configuration block, and the speed that counts. The
// speed is the DCB BaudRate at block offset 48 whatever dwStringOffset says: a value
// dwOtherValue placed where a reader relative to the string offset would look (the
// string offset + 24) must not count.
struct ConfigCase {
    const char *pszName;
    DWORD dwNeeded, dwUsed, dwStringSize, dwBaud;
    int nResult;
    DWORD dwStringOffset = 24;
    DWORD dwOtherValue = 0;
};

// Shown by name in test listings.
void PrintTo(const ConfigCase &c, std::ostream *os) { *os << c.pszName; }

class ConfigSpeedTest : public TelephonyTest, public ::testing::WithParamInterface<ConfigCase> {};

TEST_P(ConfigSpeedTest, SpeedCountsOnlyWhenTheConfigurationCameBack)
{
    const ConfigCase c = GetParam();
    Device d = DataModem("COM1", 0);
    d.fnPatchConfig = [c](BYTE *p, DWORD cb) {
        WriteBlockDword(p, cb, 4, c.dwNeeded);
        WriteBlockDword(p, cb, 8, c.dwUsed);
        WriteBlockDword(p, cb, 16, c.dwStringSize);
        WriteBlockDword(p, cb, 20, c.dwStringOffset);
        if (c.dwStringOffset != 24)
            WriteBlockDword(p, cb, c.dwStringOffset + 24, c.dwOtherValue);
        WriteBlockDword(p, cb, 48, c.dwBaud);
    };
    fake::tapi::Script().devices = {d};
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), c.nResult);
}

INSTANTIATE_TEST_SUITE_P(Configurations, ConfigSpeedTest,
                         ::testing::Values(ConfigCase{"Returned", 136, 136, 112, 9600, 2},
                                           ConfigCase{"UsedJustThroughBaudRate", 52, 52, 28, 9600, 2},
                                           ConfigCase{"UsedShortOfBaudRate", 51, 51, 27, 9600, 1},
                                           ConfigCase{"DidNotFit", 300, 24, 0, 9600, 1},
                                           ConfigCase{"NeededTooBigButStringClaimed", 300, 136, 112, 9600, 1},
                                           ConfigCase{"NoString", 136, 136, 0, 9600, 1},
                                           // Nothing reported used: a fast speed standing
                                           // at the speed's place does not count.
                                           ConfigCase{"ServiceWroteNothing", 0, 0, 112, 9600, 1},
                                           // The string offset moved to 32: the speed
                                           // stays at 48, not at 56.
                                           ConfigCase{"StringOffsetMovedSpeedStaysAt48", 136, 136, 104, 9600, 2, 32, 0},
                                           ConfigCase{"StringOffsetMovedFastOnlyAt56", 136, 136, 104, 2400, 1, 32, 9600},
                                           ConfigCase{"StringOffsetZeroSpeedStaysAt48", 136, 136, 112, 9600, 2, 0, 0}),
                         [](const ::testing::TestParamInfo<ConfigCase> &info) { return info.param.pszName; });

// Wine's own service: lineInitialize succeeds and writes no count.
TEST_F(TelephonyTest, ServiceThatWritesNoCountAnswersZero)
{
    fake::tapi::Script().devices = {DataModem("COM1", 9600)};
    fake::tapi::Script().bWriteCount = false;
    fake::tapi::Script().bWriteLineApp = false;
    PortBuffer buf;
    EXPECT_EQ(TVRModemAvailable(buf.sz), 0);
    EXPECT_TRUE(buf.Untouched());
    EXPECT_EQ(fake::AllocCount(), 0u);
    EXPECT_EQ(fake::CountCalls("lineNegotiateAPIVersion"), 0u);
}

} // namespace
