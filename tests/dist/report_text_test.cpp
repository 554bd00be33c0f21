// The pure pieces of "tvrprobe report": how replies are shown, what a failed open means,
// and the readers of the telephony blocks, with both widths of the identifier's handle.
#include <gtest/gtest.h>

#include <stdint.h>
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

// A telephony block: dwTotalSize and dwUsedSize as given, the rest zero unless put.
struct Block {
    std::vector<uint8_t> bytes;
    Block(uint32_t cbTotal, uint32_t cbUsed) : bytes(cbTotal, 0)
    {
        Put(0, cbTotal);
        Put(8, cbUsed);
    }
    void Put(size_t dwOffset, uint32_t dwValue)
    {
        for (int i = 0; i < 4; ++i)
            bytes[dwOffset + i] = static_cast<uint8_t>(dwValue >> (8 * i));
    }
    void PutText(size_t dwOffset, const std::string &str)
    {
        std::copy(str.begin(), str.end(), bytes.begin() + static_cast<long>(dwOffset));
    }
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
        Block caps(512, 256);
        caps.Put(32, 15);  // dwLineNameSize
        caps.Put(36, 240); // dwLineNameOffset
        caps.Put(52, c.dwBearer);
        caps.Put(60, c.dwMedia);
        caps.PutText(240, std::string("Double Modem 7\0", 15));
        LineCapsView view;
        ASSERT_TRUE(ReadLineCaps(caps.bytes.data(), caps.bytes.size(), &view));
        EXPECT_STREQ("Double Modem 7", view.szName);
        EXPECT_EQ(c.dwBearer, view.dwBearerModes);
        EXPECT_EQ(c.dwMedia, view.dwMediaModes);
        EXPECT_EQ(c.bDataModem, view.bDataModem) << "bearer " << c.dwBearer << " media " << c.dwMedia;
    }
}

TEST(ReportLineCaps, ANameOutsideTheUsedPartIsNotRead)
{
    Block caps(512, 250);
    caps.Put(32, 15);
    caps.Put(36, 240);
    caps.PutText(240, "Double Modem 7");
    LineCapsView view;
    ASSERT_TRUE(ReadLineCaps(caps.bytes.data(), caps.bytes.size(), &view));
    EXPECT_STREQ("", view.szName);
    // Too short for the media modes at offset 60: refused.
    Block shortCaps(512, 60);
    EXPECT_FALSE(ReadLineCaps(shortCaps.bytes.data(), shortCaps.bytes.size(), &view));
}

TEST(ReportDataModemId, TheNameFollowsAHandleOfTheCallersWidth)
{
    for (size_t cbHandle : {4u, 8u}) {
        Block id(256, 24 + static_cast<uint32_t>(cbHandle) + 5);
        id.Put(16, static_cast<uint32_t>(cbHandle) + 5); // dwStringSize
        id.Put(20, 24);                                  // dwStringOffset
        id.Put(24, 0x1234);                              // the handle's low half
        id.PutText(24 + cbHandle, std::string("COM3\0", 5));
        uint64_t qwHandle = 99;
        char szPort[76];
        ASSERT_TRUE(ReadDataModemId(id.bytes.data(), id.bytes.size(), cbHandle, &qwHandle, szPort, sizeof szPort));
        EXPECT_STREQ("COM3", szPort) << "handle of " << cbHandle << " bytes";
        EXPECT_EQ(0x1234u, qwHandle);
    }
}

TEST(ReportDataModemId, AnEightByteHandleIsReadWhole)
{
    Block id(256, 24 + 8 + 5);
    id.Put(16, 8 + 5);
    id.Put(20, 24);
    id.Put(24, 0x89ABCDEF);
    id.Put(28, 0x01234567);
    id.PutText(32, "COM4");
    uint64_t qwHandle = 0;
    char szPort[76];
    ASSERT_TRUE(ReadDataModemId(id.bytes.data(), id.bytes.size(), 8, &qwHandle, szPort, sizeof szPort));
    EXPECT_EQ(0x0123456789ABCDEFull, qwHandle);
    EXPECT_STREQ("COM4", szPort);
}

TEST(ReportDataModemId, RefusesStringsThatCannotHoldTheHandleOrLeaveTheBlock)
{
    uint64_t qwHandle = 0;
    char szPort[76];
    Block tooShort(256, 24 + 6);
    tooShort.Put(16, 6); // 6 bytes: enough for a 4-byte handle, not for an 8-byte one
    tooShort.Put(20, 24);
    tooShort.PutText(28, "C");
    EXPECT_FALSE(ReadDataModemId(tooShort.bytes.data(), tooShort.bytes.size(), 8, &qwHandle, szPort, sizeof szPort));
    EXPECT_STREQ("", szPort);
    EXPECT_TRUE(ReadDataModemId(tooShort.bytes.data(), tooShort.bytes.size(), 4, &qwHandle, szPort, sizeof szPort));
    EXPECT_STREQ("C", szPort);

    Block outside(256, 40);
    outside.Put(16, 30);
    outside.Put(20, 24); // 24 + 30 > the 40 bytes used
    EXPECT_FALSE(ReadDataModemId(outside.bytes.data(), outside.bytes.size(), 4, &qwHandle, szPort, sizeof szPort));
}

TEST(ReportDataModemId, ANameWithoutItsZeroStopsAtTheEndOfTheString)
{
    Block id(256, 24 + 4 + 4);
    id.Put(16, 4 + 4);
    id.Put(20, 24);
    id.PutText(28, "COM9XYZ"); // only "COM9" lies inside the string
    uint64_t qwHandle = 0;
    char szPort[76];
    ASSERT_TRUE(ReadDataModemId(id.bytes.data(), id.bytes.size(), 4, &qwHandle, szPort, sizeof szPort));
    EXPECT_STREQ("COM9", szPort);
}

// The Unimodem configuration as Windows lays it out: VARSTRING (24 bytes), then the
// 12-byte header, the COMMCONFIG's 8 bytes before its DCB, the DCB's DCBlength, BaudRate.
TEST(ReportDevConfig, ReadsTheDcbSpeedWhereverTheStringStarts)
{
    for (uint32_t dwStringOffset : {24u, 40u}) {
        Block config(256, dwStringOffset + 112);
        config.Put(16, 112);
        config.Put(20, dwStringOffset);
        config.Put(dwStringOffset + 24, 19200);
        uint32_t dwSpeed = 0;
        ASSERT_TRUE(ReadConfiguredSpeed(config.bytes.data(), config.bytes.size(), &dwSpeed));
        EXPECT_EQ(19200u, dwSpeed) << "string at " << dwStringOffset;
    }
}

TEST(ReportDevConfig, RefusesAConfigurationTooShortForTheSpeed)
{
    Block config(256, 24 + 27);
    config.Put(16, 27); // one byte short of the speed's end at 28
    config.Put(20, 24);
    uint32_t dwSpeed = 7;
    EXPECT_FALSE(ReadConfiguredSpeed(config.bytes.data(), config.bytes.size(), &dwSpeed));
    EXPECT_EQ(0u, dwSpeed);
}

TEST(ReportBlocks, UsedSizeIsBoundedByTheBlock)
{
    Block liar(64, 4096);
    EXPECT_EQ(64u, TapiUsedSize(liar.bytes.data(), liar.bytes.size()));
    Block honest(64, 30);
    EXPECT_EQ(30u, TapiUsedSize(honest.bytes.data(), honest.bytes.size()));
}

} // namespace
