// The pure pieces of "tvrprobe report": how replies are shown, what a failed open means,
// and the readers of the telephony blocks, with both widths of the identifier's handle.
#include <gtest/gtest.h>

#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <string>
#include <vector>

#include "tools/tvrprobe/ReportText.h"

namespace {

std::string Escape(const std::string &strBytes, size_t cchOut = 600)
{
    std::vector<char> out(cchOut + 1, '#');
    size_t cch = EscapeReply(reinterpret_cast<const unsigned char *>(strBytes.data()), strBytes.size(), out.data(),
                             cchOut);
    std::string str(out.data());
    EXPECT_EQ(str.size(), cch);
    EXPECT_EQ('#', out[cchOut]) << "wrote past the buffer";
    return str;
}

struct EscapeCase {
    const char *pszName;
    std::string strBytes;
    const char *pszShown;
};

TEST(ReportEscape, ShowsEveryByteAsPrintableText)
{
    const EscapeCase rgCases[] = {
        {"modem OK", "\r\nOK\r\n", "\\r\\nOK\\r\\n"},
        {"empty", "", ""},
        {"tab", "a\tb", "a\\tb"},
        {"backslash and quote", "a\\b\"c", "a\\\\b\\\"c"},
        {"zero byte", std::string("O\0K", 3), "O\\x00K"},
        {"high and control bytes", "\x01\x1F\x7F\x80\xFF", "\\x01\\x1F\\x7F\\x80\\xFF"},
        {"space and tilde stay", " ~", " ~"},
    };
    for (const EscapeCase &c : rgCases)
        EXPECT_EQ(c.pszShown, Escape(c.strBytes)) << c.pszName;
}

TEST(ReportEscape, AFullReplyFitsTheReportsBuffer)
{
    // 128 bytes that each need four characters: the report's 513-byte buffer holds them.
    std::string strBytes(128, '\x01');
    std::string strShown = Escape(strBytes, 128 * 4 + 1);
    EXPECT_EQ(512u, strShown.size());
    EXPECT_EQ(std::string::npos, strShown.find("..."));
}

TEST(ReportEscape, ACutEndsInAnEllipsisAndNeverSplitsAnEscape)
{
    EXPECT_EQ("abc...", Escape("abcdefghij", 7));
    // "\x01" is four characters: none of it appears in part.
    EXPECT_EQ("ab...", Escape(std::string("ab\x01\x01\x01", 5), 9));
    EXPECT_EQ("..", Escape("abcdef", 3));
    EXPECT_EQ("", Escape("abcdef", 1));
}

TEST(ReportOpenError, NamesMissingHeldAndOtherFailures)
{
    const struct {
        uint32_t dwError;
        PortOpenVerdict verdict;
    } rgCases[] = {
        {2, kPortMissing}, {3, kPortMissing}, {5, kPortHeld}, {32, kPortHeld}, {31, kPortUnopenable},
        {87, kPortUnopenable}, {0, kPortUnopenable},
    };
    for (const auto &c : rgCases)
        EXPECT_EQ(c.verdict, JudgeOpenError(c.dwError)) << "error " << c.dwError;
}

TEST(ReportScanView, JudgesRepliesAsTheScanDoes)
{
    const struct {
        std::string strBytes;
        ScanView view;
    } rgCases[] = {
        {"", kScanSeesNothing},
        {std::string("\0OK", 3), kScanSeesNothing},
        {"OK", kScanSeesBareOk},
        {std::string("OK\0junk", 7), kScanSeesBareOk},
        {"OK\r", kScanSeesAnswer},
        {"\r\nOK\r\n", kScanSeesAnswer},
        {"O", kScanSeesAnswer},
        {"ERROR", kScanSeesAnswer},
    };
    for (const auto &c : rgCases)
        EXPECT_EQ(c.view, JudgeReplyAsScan(reinterpret_cast<const unsigned char *>(c.strBytes.data()),
                                           c.strBytes.size()))
            << "reply of " << c.strBytes.size() << " bytes";
}

// A block allocated as the report allocates it: a heap block of exactly cbAllocated
// bytes, so that a read past it is an AddressSanitizer error.
struct HeapBlock {
    uint8_t *pb;
    uint32_t cb;
    explicit HeapBlock(uint32_t cbAllocated) : pb(static_cast<uint8_t *>(calloc(1, cbAllocated))), cb(cbAllocated) {}
    ~HeapBlock() { free(pb); }
    HeapBlock(const HeapBlock &) = delete;
    HeapBlock &operator=(const HeapBlock &) = delete;
    void Put(size_t dwOffset, uint32_t dwValue)
    {
        for (int i = 0; i < 4; ++i)
            pb[dwOffset + i] = static_cast<uint8_t>(dwValue >> (8 * i));
    }
    void PutText(size_t dwOffset, const std::string &str) { memcpy(pb + dwOffset, str.data(), str.size()); }
};

TEST(ReportLineCaps, ReadsNameModesAndTheDataModemFilter)
{
    const struct {
        uint32_t dwBearer, dwMedia;
        bool bDataModem;
    } rgCases[] = {
        {0x1, 0x10, true}, {0x3, 0x1F, true}, {0x1, 0x0, false}, {0x0, 0x10, false}, {0x2, 0x10, false},
    };
    for (const auto &c : rgCases) {
        HeapBlock caps(1024);
        caps.Put(0, 1024);  // dwTotalSize
        caps.Put(4, 255);   // dwNeededSize
        caps.Put(8, 255);   // dwUsedSize
        caps.Put(32, 15);   // dwLineNameSize
        caps.Put(36, 240);  // dwLineNameOffset
        caps.Put(52, c.dwBearer);
        caps.Put(60, c.dwMedia);
        caps.PutText(240, std::string("Double Modem 7\0", 15));
        LineCapsView view;
        ASSERT_TRUE(ReadLineCaps(caps.pb, caps.cb, &view));
        EXPECT_STREQ("Double Modem 7", view.szName);
        EXPECT_EQ(c.dwBearer, view.dwBearerModes);
        EXPECT_EQ(c.dwMedia, view.dwMediaModes);
        EXPECT_EQ(c.bDataModem, view.bDataModem) << "bearer " << c.dwBearer << " media " << c.dwMedia;
    }
}

// The service rewrote dwTotalSize to 65536 in the 1024-byte block the report allocated and
// pointed every offset at 5000, past the block: each reader stays inside the 1024 bytes
// (AddressSanitizer would stop the test otherwise) and finds nothing there.
TEST(ReportHostileBlock, ReadsWithinTheAllocatedSizeWhateverDwTotalSizeSays)
{
    HeapBlock block(1024);
    block.Put(0, 65536);  // dwTotalSize
    block.Put(4, 1024);   // dwNeededSize: no larger than the block, so no second ask
    block.Put(8, 65536);  // dwUsedSize
    block.Put(16, 200);   // VARSTRING dwStringSize
    block.Put(20, 5000);  // VARSTRING dwStringOffset
    block.Put(32, 200);   // LINEDEVCAPS dwLineNameSize
    block.Put(36, 5000);  // LINEDEVCAPS dwLineNameOffset
    memset(block.pb + 40, 'X', 1024 - 40);

    char szPort[76];
    memset(szPort, '#', sizeof szPort);
    EXPECT_FALSE(ReadModemPortName(block.pb, block.cb, 8, szPort));
    EXPECT_STREQ("", szPort);
    EXPECT_FALSE(ReadModemPortName(block.pb, block.cb, 4, szPort));

    LineCapsView view;
    ASSERT_TRUE(ReadLineCaps(block.pb, block.cb, &view));
    EXPECT_STREQ("", view.szName);

    // The configuration's speed lies at a fixed place (48) of the block: the 'X' bytes.
    EXPECT_EQ(0x58585858u, ReadConfiguredSpeed(block.pb, block.cb));

    EXPECT_EQ(0u, ReportRegrowSize(block.pb, block.cb, 65536));
}

TEST(ReportRegrow, AsksAgainOnlyForABelievableLargerSize)
{
    const struct {
        uint32_t dwTotal, dwNeeded, cbExpected;
    } rgCases[] = {
        {1024, 2000, 2000},   // more room needed: asked again with it
        {1024, 1024, 0},      // it fit
        {1024, 300, 0},       // it fit
        {1024, 65536, 65536}, // the largest believed
        {1024, 65537, 0},     // more than that: not believed
        {4096, 2000, 2000},   // a rewritten dwTotalSize does not hide the need
    };
    for (const auto &c : rgCases) {
        HeapBlock block(1024);
        block.Put(0, c.dwTotal);
        block.Put(4, c.dwNeeded);
        EXPECT_EQ(c.cbExpected, ReportRegrowSize(block.pb, block.cb, 65536))
            << "total " << c.dwTotal << " needed " << c.dwNeeded;
    }
}

TEST(ReportDataModemId, TheNameFollowsAHandleOfTheCallersWidth)
{
    for (uint32_t cbHandle : {4u, 8u}) {
        HeapBlock id(1024);
        id.Put(0, 1024);
        id.Put(8, 24 + cbHandle + 5);  // dwUsedSize
        id.Put(16, cbHandle + 5);      // dwStringSize
        id.Put(20, 24);                // dwStringOffset
        id.Put(24, 0x1234);            // the handle's low half
        id.PutText(24 + cbHandle, std::string("COM3\0", 5));
        char szPort[76];
        ASSERT_TRUE(ReadModemPortName(id.pb, id.cb, cbHandle, szPort)) << "handle of " << cbHandle << " bytes";
        EXPECT_STREQ("COM3", szPort) << "handle of " << cbHandle << " bytes";
    }
}

TEST(ReportDataModemId, AnEmptyNameOrNoStringIsNoPort)
{
    char szPort[76];
    HeapBlock empty(1024);
    empty.Put(8, 24 + 4 + 1);
    empty.Put(16, 4 + 1);
    empty.Put(20, 24);
    EXPECT_FALSE(ReadModemPortName(empty.pb, empty.cb, 4, szPort));
    EXPECT_STREQ("", szPort);
    HeapBlock handleOnly(1024);
    handleOnly.Put(8, 24 + 8);
    handleOnly.Put(16, 8); // only the handle: no name
    handleOnly.Put(20, 24);
    handleOnly.PutText(32, "COM5");
    EXPECT_FALSE(ReadModemPortName(handleOnly.pb, handleOnly.cb, 8, szPort));
}

// The Unimodem configuration as Windows lays it out: VARSTRING (24 bytes), then the
// 12-byte header, the COMMCONFIG's 8 bytes before its DCB, the DCB's DCBlength, BaudRate.
TEST(ReportDevConfig, ReadsTheDcbSpeedAtItsPlace)
{
    HeapBlock config(1024);
    config.Put(0, 1024);
    config.Put(8, 136);  // dwUsedSize
    config.Put(16, 112); // dwStringSize
    config.Put(20, 24);  // dwStringOffset
    config.Put(48, 19200);
    EXPECT_EQ(19200u, ReadConfiguredSpeed(config.pb, config.cb));
    config.Put(8, 51); // used only up to the speed's last byte but one: not returned
    EXPECT_EQ(0u, ReadConfiguredSpeed(config.pb, config.cb));
}

// ---- The head and the ports beyond the scan -----------------------------------------------

std::vector<uint8_t> PeHeader(uint32_t dwPeOffset, uint16_t wMachine)
{
    std::vector<uint8_t> bytes(dwPeOffset + 24, 0);
    bytes[0] = 'M';
    bytes[1] = 'Z';
    for (int i = 0; i < 4; ++i)
        bytes[0x3C + i] = static_cast<uint8_t>(dwPeOffset >> (8 * i));
    memcpy(bytes.data() + dwPeOffset, "PE\0\0", 4);
    bytes[dwPeOffset + 4] = static_cast<uint8_t>(wMachine);
    bytes[dwPeOffset + 5] = static_cast<uint8_t>(wMachine >> 8);
    return bytes;
}

TEST(ReportPeMachine, ReadsTheMachineOfBothBuildsAndRefusesOtherBytes)
{
    std::vector<uint8_t> x86 = PeHeader(0x80, 0x014C);
    std::vector<uint8_t> x64 = PeHeader(0x100, 0x8664);
    EXPECT_EQ(0x014C, ReadPeMachine(x86.data(), x86.size()));
    EXPECT_EQ(0x8664, ReadPeMachine(x64.data(), x64.size()));
    EXPECT_STREQ("x86 (32-bit)", MachineText(0x014C));
    EXPECT_STREQ("x64 (64-bit)", MachineText(0x8664));
    std::vector<uint8_t> notMz = x86;
    notMz[0] = 'X';
    EXPECT_EQ(0, ReadPeMachine(notMz.data(), notMz.size()));
    std::vector<uint8_t> notPe = x86;
    notPe[0x81] = 'X';
    EXPECT_EQ(0, ReadPeMachine(notPe.data(), notPe.size()));
    // e_lfanew pointing past the bytes read: nothing is read there.
    std::vector<uint8_t> cut(x64.begin(), x64.begin() + 0x102);
    EXPECT_EQ(0, ReadPeMachine(cut.data(), cut.size()));
    EXPECT_EQ(0, ReadPeMachine(x86.data(), 0x20));
}

TEST(ReportComPorts, NumbersAndOpenNames)
{
    const struct {
        const char *pszName;
        int nPort;
    } rgNumbers[] = {
        {"COM1", 1}, {"COM7", 7}, {"COM10", 10}, {"COM255", 255}, {"COM256", 0}, {"COM0", 0},
        {"COM01", 0}, {"COM", 0}, {"COM3a", 0}, {"LPT1", 0}, {"com3", 0},
    };
    for (const auto &c : rgNumbers)
        EXPECT_EQ(c.nPort, ComPortNumber(c.pszName)) << c.pszName;
    const struct {
        int nPort;
        const char *pszOpen;
    } rgOpen[] = {{1, "COM1"}, {9, "COM9"}, {10, "\\\\.\\COM10"}, {255, "\\\\.\\COM255"}};
    for (const auto &c : rgOpen) {
        char szOpen[16];
        ComOpenName(c.nPort, szOpen, sizeof szOpen);
        EXPECT_STREQ(c.pszOpen, szOpen) << c.nPort;
    }
}

// ---- Windows's list of serial ports ---------------------------------------------------------

// ERROR_KEY_DELETED, ERROR_ACCESS_DENIED, ERROR_INVALID_HANDLE, ERROR_MORE_DATA,
// ERROR_NO_MORE_ITEMS as winerror.h numbers them.
const uint32_t kKeyDeleted = 1018, kAccessDenied = 5, kInvalidHandle = 6, kMoreData = 234, kNoMoreItems = 259;

struct WalkCase {
    const char *pszName;
    std::vector<uint32_t> rgResults; // RegEnumValueA's result at index 0, 1, ...
    uint32_t dwAfter;                 // its result at every later index
    uint32_t cAsked;                  // how many indexes the walk should ask
    std::vector<uint32_t> rgTaken;    // the indexes whose value it should look at
};

TEST(ReportRegistryWalk, StopsAtTheEndAndOnAnyErrorButATooLongValue)
{
    const WalkCase rgCases[] = {
        {"an empty key", {}, kNoMoreItems, 1, {}},
        {"two ports", {0, 0}, kNoMoreItems, 3, {0, 1}},
        {"a value too long for a port is passed over", {0, kMoreData, 0}, kNoMoreItems, 4, {0, 2}},
        {"the key deleted under the walk, at every index", {}, kKeyDeleted, 1, {}},
        {"the key deleted after one port", {0}, kKeyDeleted, 2, {0}},
        {"access denied at the second index", {0, kAccessDenied, 0}, kNoMoreItems, 2, {0}},
        {"an invalid handle", {}, kInvalidHandle, 1, {}},
        {"too long at every index: the limit", {}, kMoreData, 1024, {}},
        {"a port at every index: the limit", {}, 0, 1024, {}},
    };
    for (const WalkCase &c : rgCases) {
        uint32_t cCalls = 0;
        std::vector<uint32_t> rgTaken;
        const uint32_t cAsked = WalkRegistryValues(
            [&](uint32_t dwIndex) -> uint32_t {
                ++cCalls;
                // A walk that does not stop is cut here, so that the test fails rather than hangs.
                if (cCalls > 5000)
                    return kNoMoreItems;
                return dwIndex < c.rgResults.size() ? c.rgResults[dwIndex] : c.dwAfter;
            },
            [&](uint32_t dwIndex) {
                if (rgTaken.size() < 16)
                    rgTaken.push_back(dwIndex);
            });
        EXPECT_EQ(c.cAsked, cAsked) << c.pszName;
        EXPECT_EQ(c.cAsked, cCalls) << c.pszName;
        if (c.cAsked < 1024) {
            EXPECT_EQ(c.rgTaken, rgTaken) << c.pszName;
        }
    }
}


// ---- Bluetooth ports and the ports the report opens ----------------------------------------

TEST(ReportBluetooth, KnowsABluetoothSerialDeviceByItsName)
{
    const struct {
        const char *pszDevice;
        bool bBluetooth;
    } rgCases[] = {
        {"\\Device\\BthModem0", true},
        {"\\Device\\BthModem12", true},
        {"\\DEVICE\\BTHMODEM3", true},
        {"\\device\\bthmodem", true},
        {"\\Device\\Serial0", false},
        {"\\Device\\VCP0", false},
        {"\\Device\\USBSER000", false},
        {"\\Device\\BthMode", false},
        {"Device\\BthModem0", false},
        {"\\Device\\Bth0", false},
        {"", false},
    };
    for (const auto &c : rgCases)
        EXPECT_EQ(c.bBluetooth, IsBluetoothSerialDevice(c.pszDevice)) << c.pszDevice;
}

TEST(ReportRegistryName, ShowsADeviceNameAsWindowsWritesItAndNothingUnprintable)
{
    const struct {
        const char *pszName;
        size_t cchOut;
        const char *pszShown;
    } rgCases[] = {
        {"\\Device\\BthModem0", 64, "\\Device\\BthModem0"},
        {"\\Device\\Serial\x01\x7F\xE9", 64, "\\Device\\Serial???"},
        {"\\Device\\USBSER000", 8, "\\Device"},
        {"abc", 1, ""},
        {"", 64, ""},
    };
    for (const auto &c : rgCases) {
        char szOut[65];
        memset(szOut, '#', sizeof szOut);
        ShowRegistryName(c.pszName, szOut, c.cchOut);
        EXPECT_STREQ(c.pszShown, szOut) << c.pszName;
        EXPECT_EQ('#', szOut[c.cchOut]) << "wrote past the buffer: " << c.pszName;
    }
}

TEST(ReportPortList, ParsesCommaSeparatedPortNames)
{
    const struct {
        const char *pszList;
        bool bParsed;
        std::vector<int> rgnPorts; // the ports marked, when parsed
    } rgCases[] = {
        {"COM5,COM7", true, {5, 7}},
        {"COM7", true, {7}},
        {"com3,Com12", true, {3, 12}},
        {"COM255,COM1", true, {1, 255}},
        {"COM5,COM5", true, {5}},
        {"", false, {}},
        {"COM5,", false, {}},
        {",COM5", false, {}},
        {"COM5,,COM7", false, {}},
        {"COM0", false, {}},
        {"COM256", false, {}},
        {"COM5 ,COM7", false, {}},
        {"COM1000000", false, {}},
        {"LPT1", false, {}},
        {"5", false, {}},
    };
    for (const auto &c : rgCases) {
        bool rgbNamed[kLargestPort + 1];
        memset(rgbNamed, 0, sizeof rgbNamed);
        EXPECT_EQ(c.bParsed, ParsePortList(c.pszList, rgbNamed)) << "\"" << c.pszList << "\"";
        if (!c.bParsed)
            continue;
        std::vector<int> rgnMarked;
        for (int n = 0; n <= kLargestPort; ++n)
            if (rgbNamed[n])
                rgnMarked.push_back(n);
        EXPECT_EQ(c.rgnPorts, rgnMarked) << "\"" << c.pszList << "\"";
    }
}

TEST(ReportPortPlan, ABluetoothPortStaysClosedWhateverIsAsked)
{
    const struct {
        const char *pszName;
        bool bBluetooth, bNoProbe, bOnlyNamed, bNamed;
        PortPlan plan;
    } rgCases[] = {
        {"a port, no options", false, false, false, false, kPlanProbe},
        {"a Bluetooth port, no options", true, false, false, false, kPlanBluetooth},
        {"a Bluetooth port named in --ports", true, false, true, true, kPlanBluetooth},
        {"a Bluetooth port with --no-probe", true, true, false, false, kPlanBluetooth},
        {"--no-probe", false, true, false, false, kPlanNoProbe},
        {"named in --ports", false, false, true, true, kPlanProbe},
        {"not named in --ports", false, false, true, false, kPlanNotNamed},
    };
    for (const auto &c : rgCases)
        EXPECT_EQ(c.plan, PlanPort(c.bBluetooth, c.bNoProbe, c.bOnlyNamed, c.bNamed)) << c.pszName;
    EXPECT_EQ(nullptr, PortLeftClosedReason(kPlanProbe));
    EXPECT_STREQ("a Bluetooth serial port, never opened", PortLeftClosedReason(kPlanBluetooth));
    EXPECT_STREQ("--no-probe", PortLeftClosedReason(kPlanNoProbe));
    EXPECT_STREQ("not named in --ports", PortLeftClosedReason(kPlanNotNamed));
}

TEST(ReportPortPlan, TheScanRunsOnlyWhereTheReportOpensCom1ToCom4)
{
    const PortPlan P = kPlanProbe, B = kPlanBluetooth, X = kPlanNoProbe, N = kPlanNotNamed;
    const struct {
        const char *pszName;
        PortPlan rgPlan[6]; // [0] unused, [1..4] COM1-COM4, [5] a port the scan never tries
        int nFirstClosed;
    } rgCases[] = {
        {"all four probed", {P, P, P, P, P, B}, 0},
        {"COM2 Bluetooth", {P, P, B, P, P, P}, 2},
        {"--no-probe", {X, X, X, X, X, X}, 1},
        {"--ports COM5,COM7", {N, N, N, N, N, P}, 1},
        {"--ports COM1,COM2,COM3", {N, P, P, P, N, N}, 4},
        {"--ports COM1-COM4", {N, P, P, P, P, N}, 0},
    };
    for (const auto &c : rgCases)
        EXPECT_EQ(c.nFirstClosed, FirstScanPortLeftClosed(c.rgPlan)) << c.pszName;
}

} // namespace
