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

// --- The paced transmit side ----------------------------------------------------------

class PacedPortTest : public FakePlatformTest {
protected:
    void SetUp() override
    {
        FakePlatformTest::SetUp();
        m_port = &AddPort("COM1");
        PaceTransmit(*m_port);
        m_h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(m_h, INVALID_HANDLE_VALUE);
        DCB dcb = DistinctiveDcb();
        dcb.BaudRate = 2400;
        dcb.ByteSize = 8;
        dcb.Parity = NOPARITY;
        dcb.StopBits = ONESTOPBIT;
        SetCommState(m_h, &dcb);
        COMMTIMEOUTS t = kScan;
        SetCommTimeouts(m_h, &t);
    }
    void TearDown() override
    {
        CloseHandle(m_h);
        FakePlatformTest::TearDown();
    }
    void Write(const std::string &strBytes)
    {
        DWORD dwWritten = 0;
        ASSERT_TRUE(WriteFile(m_h, strBytes.data(), (DWORD)strBytes.size(), &dwWritten, NULL));
        ASSERT_EQ(dwWritten, strBytes.size());
    }
    DWORD OutQueue()
    {
        DWORD dwErrors = 0;
        COMSTAT comstat;
        EXPECT_TRUE(ClearCommError(m_h, &dwErrors, &comstat));
        return comstat.cbOutQue;
    }
    Port *m_port = nullptr;
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

TEST_F(PacedPortTest, WriteReturnsAtOnceAndTheBytesLeaveAtTheLineSpeed)
{
    Write("ATE0V1\r");
    EXPECT_EQ(fake::Now(), 0u);
    EXPECT_EQ(m_port->strDeviceReceived, "");
    EXPECT_EQ(OutQueue(), 7u);
    // 10 bits a byte at 2400 bit/s: 4.17 ms each, so the third byte has left at 12.5 ms
    // and the seventh at 29.2 ms.
    fake::SetNow(12);
    EXPECT_EQ(OutQueue(), 5u);
    fake::SetNow(13);
    EXPECT_EQ(OutQueue(), 4u);
    EXPECT_EQ(m_port->strDeviceReceived, "ATE");
    fake::SetNow(29);
    EXPECT_EQ(OutQueue(), 1u);
    fake::SetNow(30);
    EXPECT_EQ(OutQueue(), 0u);
    EXPECT_EQ(m_port->strDeviceReceived, "ATE0V1\r");
}

TEST_F(PacedPortTest, LineTimeFollowsTheSettings)
{
    // 7 data bits, even parity, two stop bits at 300 bit/s: 11 bits, 36.7 ms a byte.
    DCB dcb = DistinctiveDcb();
    dcb.BaudRate = 300;
    SetCommState(m_h, &dcb);
    Write("ab");
    fake::SetNow(73);
    EXPECT_EQ(OutQueue(), 1u);
    fake::SetNow(74);
    EXPECT_EQ(OutQueue(), 0u);
}

TEST_F(PacedPortTest, TransmitPurgeDiscardsWhatHasNotLeftAndReceivePurgeDoesNot)
{
    struct {
        DWORD dwFlags;
        const char *szReceived;
        const char *szDiscarded;
    } const kCases[] = {
        {PURGE_TXCLEAR, "AT", "E0V1\r"},
        {PURGE_TXABORT, "AT", "E0V1\r"},
        {PURGE_TXABORT | PURGE_RXABORT | PURGE_TXCLEAR | PURGE_RXCLEAR, "AT", "E0V1\r"},
        {PURGE_RXABORT | PURGE_RXCLEAR, "ATE0V1\r", ""},
    };
    for (const auto &c : kCases) {
        m_port->strDeviceReceived.clear();
        m_port->strTxDiscarded.clear();
        Write("ATE0V1\r");
        fake::Advance(9); // two bytes have left
        PurgeComm(m_h, c.dwFlags);
        fake::Advance(100);
        EXPECT_EQ(OutQueue(), 0u) << c.dwFlags;
        EXPECT_EQ(m_port->strDeviceReceived, c.szReceived) << c.dwFlags;
        EXPECT_EQ(m_port->strTxDiscarded, c.szDiscarded) << c.dwFlags;
    }
}

TEST_F(PacedPortTest, AWaitingReadSeesTheReplyToBytesThatLeaveDuringIt)
{
    AddReply(*m_port, "AT\r", "OK", 20, 0);
    Write("AT\r");
    char ach[8];
    DWORD dwRead = 0;
    ASSERT_TRUE(ReadFile(m_h, ach, sizeof ach, &dwRead, NULL));
    EXPECT_EQ(std::string(ach, dwRead), "OK");
    // The carriage return left at 12.5 ms, the reply came 20 ms later, and the read ended
    // 500 ms after it.
    EXPECT_EQ(fake::Now(), 13u + 20u + 500u);
}

TEST_F(PacedPortTest, CloseDiscardsWhatIsStillQueued)
{
    Write("ATZ\r");
    fake::Advance(5);
    CloseHandle(m_h);
    m_h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    EXPECT_EQ(m_port->strDeviceReceived, "A");
    EXPECT_EQ(m_port->strTxDiscarded, "TZ\r");
}

// --- The Hayes modem -------------------------------------------------------------------

TEST_F(FakeSerialTest, HayesModemKeepsWhatEachLineSets)
{
    Port &port = AddPort("COM1");
    AddHayesModem(port);
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    COMMTIMEOUTS t = kScan;
    SetCommTimeouts(h, &t);
    struct {
        const char *szLine;
        const char *szReply;
        bool bEcho, bVerbose;
    } const kLines[] = {
        {"AT\r", "AT\r0\r", true, false},                         // power-on: E1 V0
        {"ATE0V1\r", "ATE0V1\r\r\nOK\r\n", false, true},        // echoed, answered under V1
        {"AT\r", "\r\nOK\r\n", false, true},
        {"ATE0AT\r", "\r\nERROR\r\n", false, true},              // a spliced line
        {"ATE1V0\r", "0\r", true, false},
        {"ATE0V1X\r", "ATE0V1X\r4\r", true, false},                // an error changes nothing
        {"noise\r", "noise\r", true, false},                       // no AT: no answer
    };
    for (const auto &l : kLines) {
        DWORD dw = 0;
        std::string strLine = l.szLine;
        ASSERT_TRUE(WriteFile(h, strLine.data(), (DWORD)strLine.size(), &dw, NULL));
        char ach[64];
        ASSERT_TRUE(ReadFile(h, ach, sizeof ach, &dw, NULL));
        EXPECT_EQ(Escape(std::string(ach, dw)), Escape(l.szReply)) << Escape(l.szLine);
        EXPECT_EQ(port.bHayesEcho, l.bEcho) << Escape(l.szLine);
        EXPECT_EQ(port.bHayesVerbose, l.bVerbose) << Escape(l.szLine);
    }
    CloseHandle(h);
}

// --- Scripted failures ---------------------------------------------------------------

TEST_F(FakeSerialTest, ReadCanFailAfterDeliveringItsBytes)
{
    Port &port = AddPort("COM1");
    ArriveAt(port, 0, "abc");
    FailReadAfterData(port, 2, ERROR_IO_DEVICE);
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    COMMTIMEOUTS t = kImmediate;
    SetCommTimeouts(h, &t);
    char ach[4];
    DWORD dwRead = 0;
    EXPECT_TRUE(ReadFile(h, ach, 1, &dwRead, NULL));
    EXPECT_EQ(dwRead, 1u);
    SetLastError(0);
    EXPECT_FALSE(ReadFile(h, ach, 2, &dwRead, NULL));
    EXPECT_EQ(GetLastError(), (DWORD)ERROR_IO_DEVICE);
    EXPECT_EQ(std::string(ach, dwRead), "bc");
    CloseHandle(h);
}

TEST_F(FakeSerialTest, FailingClearCommErrorLeavesWhatTheScriptSaysInTheErrorWord)
{
    Port &port = AddPort("COM1");
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    fake::FailCall("ClearCommError", ERROR_GEN_FAILURE);
    DWORD dwErrors = 77;
    COMSTAT comstat;
    EXPECT_FALSE(ClearCommError(h, &dwErrors, &comstat));
    EXPECT_EQ(dwErrors, 77u); // untouched by default
    port.dwErrorsLeftOnFailure = CE_TXFULL;
    EXPECT_FALSE(ClearCommError(h, &dwErrors, &comstat));
    EXPECT_EQ(dwErrors, (DWORD)CE_TXFULL);
    CloseHandle(h);
}

TEST_F(FakeSerialTest, FailedWriteCanTakeTime)
{
    Port &port = AddPort("COM1");
    port.writeSteps = {FailWrite(ERROR_IO_DEVICE, 1, 1990)};
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    DWORD dwWritten = 0;
    EXPECT_FALSE(WriteFile(h, "AT", 2, &dwWritten, NULL));
    EXPECT_EQ(dwWritten, 1u);
    EXPECT_EQ(fake::Now(), 1990u);
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
