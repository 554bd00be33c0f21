// Building the data modem table: which devices become entries, in what order and with
// what fields, what lTAPIErrorCode holds on each path, and the two heap blocks.
#include <gtest/gtest.h>

#include <algorithm>

#include "telephony_fixture.h"

namespace {

using fake::tapi::DataModem;
using fake::tapi::Device;

const LONG kInitResult = 5; // lineInitialize's (positive) result, to tell "unchanged"
const LONG kIncompatible = static_cast<LONG>(0x8000000C);
const LONG kNoDevice = static_cast<LONG>(0x80000042);
const LONG kFailed = static_cast<LONG>(0x80000048);
const LONG kNoMem = static_cast<LONG>(0x80000044);

class ModemTableTest : public TelephonyTest {
protected:
    void SetUp() override
    {
        TelephonyTest::SetUp();
        fake::tapi::Script().lInitResult = kInitResult;
    }
    void TearDown() override
    {
        free(m_pTable);
        if (m_bBound)
            UnbindTelephony(&m_session);
        TelephonyTest::TearDown();
    }
    // Binds with the scripted devices and builds the table.
    ModemTable *Build()
    {
        BindOrFail(&m_session);
        m_bBound = true;
        fake::tapi::Script(); // the script may not change under a bound session
        m_pTable = BuildModemTable(&m_session);
        return m_pTable;
    }
    TelephonySession m_session;
    ModemTable *m_pTable = nullptr;
    bool m_bBound = false;
};

Device Incompatible()
{
    Device d;
    d.lNegotiateResult = kIncompatible;
    return d;
}

Device Modes(DWORD dwBearer, DWORD dwMedia)
{
    Device d;
    d.dwBearerModes = dwBearer;
    d.dwMediaModes = dwMedia;
    return d;
}

struct TableCase {
    const char *pszName;
    std::vector<Device> devices;
    int nFailAlloc;         // 0: none
    bool bTable;            // a table comes back
    LONG lErrorCode;        // lTAPIErrorCode afterwards
    std::vector<DWORD> ids; // device IDs of the entries
};

// Shown by name in test listings.
void PrintTo(const TableCase &c, std::ostream *os) { *os << c.pszName; }

Device FailingCaps(LONG l)
{
    Device d = DataModem("COM9", 9600);
    d.lDevCapsResult = l;
    return d;
}

Device FailingNegotiation(LONG l)
{
    Device d = DataModem("COM9", 9600);
    d.lNegotiateResult = l;
    return d;
}

Device CapsResult(LONG l)
{
    Device d = DataModem("COM9", 9600);
    d.lDevCapsResult = l;
    return d;
}

const DWORD kVoice = 0x00000001; // LINEBEARERMODE_VOICE
const DWORD kData = 0x00000010;  // LINEMEDIAMODE_DATAMODEM

std::vector<TableCase> TableCases()
{
    return {
        {"TableAllocationFails", {DataModem("COM1", 9600)}, 1, false, kInitResult, {}},
        {"BufferAllocationFails", {DataModem("COM1", 9600)}, 2, false, kInitResult, {}},
        {"NegotiationError", {DataModem("COM1", 9600), FailingNegotiation(kNoMem)}, 0, false, kNoMem, {}},
        {"DevCapsErrorAfterAModem", {DataModem("COM1", 9600), FailingCaps(kFailed)}, 0, false, kFailed, {}},
        {"NoDataModem", {Modes(kVoice, 0), Modes(0, kData)}, 0, false, kNoDevice, {}},
        {"NoDataModemLastSkipped", {Modes(kVoice, 0), Incompatible()}, 0, false, kNoDevice, {}},
        {"OneModemLastResultIsDevCaps", {Modes(kVoice, 0), CapsResult(3)}, 0, true, 3, {1}},
        {"LastDeviceSkipped", {DataModem("COM1", 9600), Incompatible()}, 0, true, kIncompatible, {0}},
        {"IncompatibleSkippedAndWalkGoesOn", {Incompatible(), DataModem("COM2", 9600)}, 0, true, 0, {1}},
        {"PassedOverLeaveNoGap",
         {DataModem("COM1", 9600), Modes(kVoice, 0), DataModem("COM3", 9600)}, 0, true, 0, {0, 2}},
        {"ModeFilter",
         {Modes(0, kData), Modes(kVoice, 0), Modes(kVoice | 0x2, kData | 0x4), Modes(0x2, 0x4),
          Modes(kVoice, kData)},
         0, true, 0, {2, 4}},
    };
}

class ModemTablePathTest : public ModemTableTest, public ::testing::WithParamInterface<TableCase> {};

TEST_P(ModemTablePathTest, EntriesAndErrorCode)
{
    const TableCase &c = GetParam();
    fake::tapi::Script().devices = c.devices;
    BindOrFail(&m_session);
    m_bBound = true;
    if (c.nFailAlloc)
        fake::FailAlloc(c.nFailAlloc);
    m_pTable = BuildModemTable(&m_session);

    EXPECT_EQ(m_pTable != nullptr, c.bTable);
    EXPECT_EQ(m_session.lTAPIErrorCode, c.lErrorCode);
    if (m_pTable) {
        ASSERT_EQ(m_pTable->dwCount, c.ids.size());
        for (DWORD i = 0; i < m_pTable->dwCount; ++i) {
            EXPECT_EQ(ModemTableEntry(m_pTable, i)->dwDeviceID, c.ids[i]) << "entry " << i;
            EXPECT_EQ(ModemTableEntry(m_pTable, i)->dwAPIVersion, 0x00010003u);
        }
        EXPECT_EQ(fake::LiveBlocks(), 1u) << "only the table may stay";
    } else {
        EXPECT_EQ(fake::LiveBlocks(), 0u);
    }
    EXPECT_EQ(fake::AllocCount(), c.nFailAlloc == 1 ? 1u : 2u);
}

INSTANTIATE_TEST_SUITE_P(Paths, ModemTablePathTest, ::testing::ValuesIn(TableCases()),
                         [](const ::testing::TestParamInfo<TableCase> &info) { return info.param.pszName; });

TEST_F(ModemTableTest, OneModemGivesA272ByteTableAndOneCapabilitiesBuffer)
{
    fake::tapi::Script().devices = {DataModem("COM1", 9600)};
    BindOrFail(&m_session);
    m_bBound = true;
    size_t nBefore = fake::AllocCount();
    ASSERT_NE(m_pTable = BuildModemTable(&m_session), nullptr);
    EXPECT_EQ(m_pTable->dwCount, 1u);
    EXPECT_EQ(fake::BlockSize(m_pTable), 272u);
    EXPECT_EQ(fake::AllocCount() - nBefore, 2u);
    EXPECT_EQ(fake::AllocSizes(), (std::vector<size_t>{272, 495}));
}

TEST_F(ModemTableTest, ManyDevicesStillTwoAllocationsSizedForEveryDevice)
{
    for (int i = 0; i < 256; ++i)
        fake::tapi::Script().devices.push_back(i % 3 ? Modes(kVoice, 0) : DataModem("COM1", 9600));
    ASSERT_NE(Build(), nullptr);
    EXPECT_EQ(m_pTable->dwCount, 86u);
    EXPECT_EQ(fake::AllocSizes(), (std::vector<size_t>{4 + 268 * 256, 495}));
    EXPECT_EQ(fake::CountCalls("lineGetDevCaps"), 256u);
}

TEST_F(ModemTableTest, CapabilitiesBufferIsPresetOnceAndNotAgain)
{
    fake::tapi::Script().devices = {DataModem("COM1", 9600), DataModem("COM2", 9600)};
    ASSERT_NE(Build(), nullptr);
    const std::vector<std::vector<BYTE>> &seen = fake::tapi::CapsOnEntry();
    ASSERT_EQ(seen.size(), 2u);
    std::vector<BYTE> expected(495, 0);
    WriteBlockDword(expected.data(), 495, 0, 495);
    WriteBlockDword(expected.data(), 495, 32, 255);
    WriteBlockDword(expected.data(), 495, 36, 240);
    EXPECT_EQ(seen[0], expected);
    // The second device sees what the first one's answer left there.
    EXPECT_NE(seen[1], expected);
    EXPECT_EQ(ReadBlockDword(seen[1].data(), 495, 0), 495u);
}

TEST_F(ModemTableTest, CallsCarryTheAgreedVersionAndTheSessionHandle)
{
    // A service that answers a version other than the one asked for: what it wrote,
    // not the version offered, goes on to lineGetDevCaps and into the entry.
    Device d = DataModem("COM1", 9600);
    d.dwAgreedVersion = 0x00010004;
    fake::tapi::Script().devices = {d};
    ASSERT_NE(Build(), nullptr);
    EXPECT_EQ(fake::CallsTo("lineNegotiateAPIVersion"),
              std::vector<std::string>{"lineNegotiateAPIVersion(0xc0ffee, 0, 0x10003, 0x10003, &version, &extension)"});
    EXPECT_EQ(fake::CallsTo("lineGetDevCaps"), std::vector<std::string>{"lineGetDevCaps(0xc0ffee, 0, 0x10004, 0, block495)"});
    EXPECT_EQ(ModemTableEntry(m_pTable, 0)->dwAPIVersion, 0x00010004u);
}

TEST_F(ModemTableTest, UnwrittenAgreedVersionCountsAsTheOneOffered)
{
    Device d = DataModem("COM1", 9600);
    d.bWriteAgreedVersion = false;
    fake::tapi::Script().devices = {d};
    ASSERT_NE(Build(), nullptr);
    EXPECT_EQ(ModemTableEntry(m_pTable, 0)->dwAPIVersion, 0x00010003u);
}

TEST_F(ModemTableTest, EntryCopiesPermanentIdAndLineName)
{
    Device d = DataModem("COM1", 9600);
    d.dwPermanentLineID = 0xDEADBEEF;
    d.strLineName = "Standard 33600 bps Modem";
    fake::tapi::Script().devices = {d};
    ASSERT_NE(Build(), nullptr);
    const ModemEntry *pEntry = ModemTableEntry(m_pTable, 0);
    EXPECT_EQ(pEntry->dwPermanentLineID, 0xDEADBEEFu);
    EXPECT_STREQ(pEntry->szLineName, "Standard 33600 bps Modem");
    // strncpy semantics: the rest of the field is zero.
    for (size_t i = strlen(pEntry->szLineName); i < sizeof pEntry->szLineName; ++i)
        ASSERT_EQ(pEntry->szLineName[i], '\0') << "byte " << i;
}

TEST_F(ModemTableTest, TableSizeBeyond32BitsIsAFailedAllocation)
{
    fake::tapi::Script().devices = {DataModem("COM1", 9600)};
    fake::tapi::Script().bOverrideCount = true;
    fake::tapi::Script().dwLineCount = 0xFFFFFFFFu;
    BindOrFail(&m_session);
    m_bBound = true;
    EXPECT_EQ(BuildModemTable(&m_session), nullptr);
    EXPECT_EQ(fake::AllocCount(), 0u);
    EXPECT_EQ(m_session.lTAPIErrorCode, kInitResult);
    EXPECT_EQ(fake::CountCalls("lineNegotiateAPIVersion"), 0u);
}

// Found by the telephony fuzzer: a service that claims 15,790,320 line devices makes the
// table 4 + 268 x 15,790,320 = 4,231,805,764 bytes, which still fits in 32 bits, so it is
// asked of the heap in one piece. When the heap refuses, the answer is no table, and no
// device is asked about.
TEST_F(ModemTableTest, ServiceClaimingMillionsOfLinesGetsOneRefusedAllocation)
{
    fake::tapi::Script().devices = {DataModem("COM1", 9600)};
    fake::tapi::Script().bOverrideCount = true;
    fake::tapi::Script().dwLineCount = 0x00F0F0F0u;
    BindOrFail(&m_session);
    m_bBound = true;
    fake::FailAlloc(1);
    EXPECT_EQ(BuildModemTable(&m_session), nullptr);
    ASSERT_EQ(fake::AllocCount(), 1u);
    EXPECT_EQ(fake::AllocSizes()[0], 4231805764u);
    EXPECT_EQ(fake::CountCalls("lineNegotiateAPIVersion"), 0u);
}

// Line names: every case is one device whose capabilities the service laid out in some
// way; the entry must hold the expected name, and nothing is read outside the buffer
// (ASan watches the 495-byte heap block).
struct NameCase {
    const char *pszName;
    std::string strWritten;  // bytes written at dwOffset (no zero added)
    DWORD dwOffset;          // dwLineNameOffset returned
    DWORD dwSize;            // dwLineNameSize returned
    DWORD dwNeeded;          // dwNeededSize returned
    std::string strExpected; // szLineName afterwards
};

// Shown by name in test listings.
void PrintTo(const NameCase &c, std::ostream *os) { *os << c.pszName; }

std::vector<NameCase> NameCases()
{
    std::string s255(255, 'N'), s258(258, 'L'), s300(300, 'X');
    return {
        {"Short", std::string("Modem\0", 6), 240, 6, 246, "Modem"},
        {"Exactly255", s255 + '\0', 236, 256, 492, s255},
        {"LongerThan255CutTo255", s258 + '\0', 236, 259, 495, std::string(255, 'L')},
        {"LongerWithoutZeroCutTo255", s300, 100, 300, 400, std::string(255, 'X')},
        // dwLineNameSize does not bound the name: it runs to its zero.
        {"NoZeroWithinItsSize", "ABCDEFGHIJ", 240, 4, 244, "ABCDEFGHIJ"},
        {"NameSizeZero", std::string("Ghost\0", 6), 240, 0, 240, "Ghost"},
        {"OffsetAtEnd", "", 495, 1, 240, ""},
        {"OffsetFarPastEnd", "", 0xFFFFFFF0u, 64, 240, ""},
        // No zero before the end of the buffer: cut at the buffer's end (495 - 400).
        {"NameRunsPastEnd", std::string(200, 'R'), 400, 200, 495, std::string(95, 'R')},
        {"LastByteOfTheBuffer", "E", 494, 1, 495, "E"},
        {"SizeWrapsAround", "W", 300, 0xFFFFFF00u, 495, "W"},
        {"CapabilitiesDidNotFit", std::string("Cut\0", 4), 240, 4, 496, ""},
    };
}

class LineNameTest : public ModemTableTest, public ::testing::WithParamInterface<NameCase> {};

TEST_P(LineNameTest, NameStaysInsideTheBufferAndTheField)
{
    const NameCase c = GetParam();
    Device d = DataModem("COM1", 9600);
    d.fnPatchCaps = [c](BYTE *p, DWORD cb) {
        memset(p + 240, 0, cb - 240);
        // What the service wrote lies inside the buffer, even when its offset or size
        // say otherwise.
        if (c.dwOffset < cb)
            memcpy(p + c.dwOffset, c.strWritten.data(), std::min<size_t>(c.strWritten.size(), cb - c.dwOffset));
        WriteBlockDword(p, cb, 4, c.dwNeeded);
        WriteBlockDword(p, cb, 32, c.dwSize);
        WriteBlockDword(p, cb, 36, c.dwOffset);
    };
    fake::tapi::Script().devices = {d};
    ASSERT_NE(Build(), nullptr);
    const ModemEntry *pEntry = ModemTableEntry(m_pTable, 0);
    EXPECT_EQ(pEntry->szLineName[255], '\0');
    EXPECT_EQ(std::string(pEntry->szLineName), c.strExpected);
}

INSTANTIATE_TEST_SUITE_P(Layouts, LineNameTest, ::testing::ValuesIn(NameCases()),
                         [](const ::testing::TestParamInfo<NameCase> &info) { return info.param.pszName; });

} // namespace
