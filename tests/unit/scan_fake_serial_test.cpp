// The serial port double itself: its reads must keep the documented COMMTIMEOUTS rules,
// or every timing the scan and check tests rely on would be wrong.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fake_fixture.h"
#include "fake_serial.h"

using namespace fake::serial;

namespace {

struct ReadCase {
    const char *szName;
    COMMTIMEOUTS timeouts;
    std::string strArrives; // at dwAt, one byte every dwGap ms
    DWORD dwAt;
    DWORD dwGap;
    DWORD cbAsk;
    std::string strRead;
    DWORD dwReturnsAt;
};

void PrintTo(const ReadCase &c, std::ostream *os) { *os << c.szName; }

const COMMTIMEOUTS kImmediate = {MAXDWORD, 0, 0, 0, 0};
const COMMTIMEOUTS kScan = {500, 50, 500, 10, 1000};
const COMMTIMEOUTS kTotalOnly = {0, 0, 100, 0, 0};
const COMMTIMEOUTS kFirstByte = {MAXDWORD, MAXDWORD, 200, 0, 0};

const ReadCase kReads[] = {
    {"ImmediateNothing", kImmediate, "", 0, 0, 3, "", 0},
    {"ImmediateWhatArrived", kImmediate, "ab", 0, 0, 3, "ab", 0},
    {"ImmediateNotYetArrived", kImmediate, "ab", 10, 0, 3, "", 0},
    {"OneByteSilence", kScan, "", 0, 0, 1, "", 550},
    {"FullReadSilence", kScan, "", 0, 0, 128, "", 6900},
    {"IntervalEndsAfterLastByte", kScan, "OK", 100, 10, 128, "OK", 610},
    {"LongGapEndsTheRead", kScan, "abc", 100, 600, 128, "a", 600},
    {"CountReachedAtLastByte", kScan, "abcd", 40, 0, 2, "ab", 40},
    {"TotalOnly", kTotalOnly, "abc", 50, 50, 3, "ab", 100},
    {"FirstByteWaitNothing", kFirstByte, "", 0, 0, 8, "", 200},
    {"FirstByteWaitThenWhatIsThere", kFirstByte, "xy", 50, 0, 8, "xy", 50},
};

class FakeSerialTest : public FakePlatformTest {};

class FakeReadTest : public FakePlatformTest, public ::testing::WithParamInterface<ReadCase> {};

TEST_P(FakeReadTest, FollowsTheTimeoutRules)
{
    const ReadCase &c = GetParam();
    Port &port = AddPort("COM1");
    ArriveAt(port, c.dwAt, c.strArrives, c.dwGap);
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    COMMTIMEOUTS t = c.timeouts;
    ASSERT_TRUE(SetCommTimeouts(h, &t));
    std::vector<char> buffer(c.cbAsk);
    DWORD dwRead = 99;
    ASSERT_TRUE(ReadFile(h, buffer.data(), c.cbAsk, &dwRead, NULL));
    EXPECT_EQ(std::string(buffer.data(), dwRead), c.strRead);
    EXPECT_EQ(fake::Now(), c.dwReturnsAt);
    CloseHandle(h);
}

INSTANTIATE_TEST_SUITE_P(Timeouts, FakeReadTest, ::testing::ValuesIn(kReads),
                         [](const ::testing::TestParamInfo<ReadCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(FakeSerialTest, RefusesZeroLengthIo)
{
    AddPort("COM1");
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    char ch = 0;
    DWORD dw = 7;
    EXPECT_FALSE(ReadFile(h, &ch, 0, &dw, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    EXPECT_EQ(dw, 0u);
    SetLastError(0);
    EXPECT_FALSE(WriteFile(h, &ch, 0, &dw, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_PARAMETER);
    CloseHandle(h);
}

TEST_F(FakeSerialTest, IsOpenedOnceAtATimeAndClosedOnce)
{
    AddPort("COM1");
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    EXPECT_EQ(CreateFileA("COM1", GENERIC_READ, 3, NULL, OPEN_EXISTING, 0, NULL), INVALID_HANDLE_VALUE);
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_TRUE(CloseHandle(h));
    EXPECT_FALSE(CloseHandle(h));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_INVALID_HANDLE);
    h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_NE(h, INVALID_HANDLE_VALUE);
    CloseHandle(h);
}

TEST_F(FakeSerialTest, PurgeDropsWhatArrivedAndKeepsWhatIsComing)
{
    Port &port = AddPort("COM1");
    ArriveAt(port, 0, "old");
    ArriveAt(port, 100, "new");
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    COMMTIMEOUTS t = kScan;
    SetCommTimeouts(h, &t);
    EXPECT_EQ(PendingInput(port), 3u);
    PurgeComm(h, PURGE_RXCLEAR);
    EXPECT_EQ(PendingInput(port), 0u);
    char ach[8];
    DWORD dwRead = 0;
    ReadFile(h, ach, sizeof ach, &dwRead, NULL);
    EXPECT_EQ(std::string(ach, dwRead), "new");
    CloseHandle(h);
}

TEST_F(FakeSerialTest, WsprintfStopsAt1024Bytes)
{
    std::string strLong(2000, 'w');
    std::vector<char> out(1024, 0x5a); // exactly the documented maximum
    EXPECT_EQ(wsprintfA(out.data(), "%s", strLong.c_str()), 1023);
    EXPECT_EQ(out[1023], '\0');
    EXPECT_EQ(wsprintfA(out.data(), "COM%d", 3), 4);
    EXPECT_STREQ(out.data(), "COM3");
}

} // namespace
