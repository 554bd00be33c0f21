// The port parameter check on scripted ports: its result table, the exact settings, the
// write loop with its full-queue rule and its bound, and the 3000 ms reply poll.
#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include "fake_fixture.h"
#include "fake_serial.h"
#include "frame/telvarid.h"
#include "serial/CommParams.h"
#include "serial/CommandText.h"

using namespace fake::serial;

namespace {

class CheckTest : public FakePlatformTest {
protected:
    void SetUp() override
    {
        FakePlatformTest::SetUp();
        // The reply poll only reads the clock: let each reading take a millisecond.
        fake::SetTickStep(1);
    }
    static int Check(const char *szPort, DWORD dwBaud, BOOL bSend, LPCSTR lpszCommand)
    {
        return TVRCheckCommParams(szPort, dwBaud, bSend, lpszCommand);
    }
};

// --- The result table ------------------------------------------------------------------

struct ResultRow {
    const char *szName;
    std::function<void()> arrange;
    BOOL bSend;
    int nResult;
    std::vector<std::string> calls; // the whole call log, by name (the poll's reads elided)
};

void PrintTo(const ResultRow &r, std::ostream *os) { *os << r.szName; }

class CheckResultTest : public CheckTest, public ::testing::WithParamInterface<ResultRow> {};

std::vector<std::string> NamesWithoutPoll()
{
    std::vector<std::string> out;
    for (const std::string &n : fake::CallNames())
        if (n != "GetTickCount" && (n != "ReadFile" || out.empty() || out.back() != "ReadFile"))
            out.push_back(n);
    return out;
}

TEST_P(CheckResultTest, GivesTheResultOfItsRow)
{
    GetParam().arrange();
    EXPECT_EQ(Check("COM2", 9600, GetParam().bSend, "ATZ"), GetParam().nResult);
    EXPECT_EQ(NamesWithoutPoll(), GetParam().calls);
    EXPECT_EQ(fake::CountCalls("PurgeComm"), 0u);
}

const std::vector<std::string> kConfigured = {"CreateFileA", "SetCommTimeouts", "GetCommState", "SetupComm",
                                              "SetCommState"};

std::vector<std::string> Then(std::vector<std::string> v, std::initializer_list<const char *> more)
{
    v.insert(v.end(), more.begin(), more.end());
    return v;
}

const ResultRow kRows[] = {
    {"HeldElsewhere", [] { HoldPort("COM2"); }, FALSE, 1, {"CreateFileA"}},
    {"HeldElsewhereWithCommand", [] { HoldPort("COM2"); }, TRUE, 1, {"CreateFileA"}},
    {"NoSuchPort", [] {}, TRUE, 0, {"CreateFileA"}},
    {"OpenFailsOtherwise",
     [] {
         AddPort("COM2");
         fake::FailCall("CreateFileA", ERROR_GEN_FAILURE);
     },
     FALSE, 0, {"CreateFileA"}},
    {"GetCommStateFails",
     [] {
         AddPort("COM2");
         fake::FailCall("GetCommState", ERROR_GEN_FAILURE);
     },
     TRUE, 0, {"CreateFileA", "SetCommTimeouts", "GetCommState", "CloseHandle"}},
    {"SetCommStateRefuses",
     [] {
         AddPort("COM2");
         fake::FailCall("SetCommState", ERROR_INVALID_PARAMETER);
     },
     TRUE, 0, Then(kConfigured, {"CloseHandle"})},
    {"ConfigureOnly", [] { AddPort("COM2"); }, FALSE, 1, Then(kConfigured, {"CloseHandle"})},
    // Configuring alone waits on nothing, so time-outs the port refused do no harm.
    {"TimeoutAndQueueFailuresIgnored",
     [] {
         AddPort("COM2");
         fake::FailCall("SetCommTimeouts", ERROR_GEN_FAILURE);
         fake::FailCall("SetupComm", ERROR_GEN_FAILURE);
     },
     FALSE, 1, Then(kConfigured, {"CloseHandle"})},
    // Without its time-outs the port may keep none, and the poll's read would wait for
    // ever: a command is not sent on such a port.
    {"TimeoutsRefusedWithACommand",
     [] {
         AddReply(AddPort("COM2"), "ATZ\r", "\r\nOK\r\n", 0);
         fake::FailCall("SetCommTimeouts", ERROR_GEN_FAILURE);
     },
     TRUE, 0, {"CreateFileA", "SetCommTimeouts", "CloseHandle"}},
    {"ByteInWindow", [] { AddReply(AddPort("COM2"), "ATZ\r", "\r\nOK\r\n", 200); }, TRUE, 1,
     Then(kConfigured, {"wsprintfA", "WriteFile", "ReadFile", "CloseHandle"})},
    // Only zero and non-zero are told apart.
    {"FlagTwoSendsAndWaits", [] { AddReply(AddPort("COM2"), "ATZ\r", "\r\nOK\r\n", 200); }, 2, 1,
     Then(kConfigured, {"wsprintfA", "WriteFile", "ReadFile", "CloseHandle"})},
    {"FlagMinusOneSendsAndWaits", [] { AddPort("COM2"); }, -1, 0,
     Then(kConfigured, {"wsprintfA", "WriteFile", "ReadFile", "CloseHandle"})},
    {"NoByteInWindow", [] { AddPort("COM2"); }, TRUE, 0,
     Then(kConfigured, {"wsprintfA", "WriteFile", "ReadFile", "CloseHandle"})},
    {"ByteTooLate", [] { AddReply(AddPort("COM2"), "ATZ\r", "\r\nOK\r\n", 3100); }, TRUE, 0,
     Then(kConfigured, {"wsprintfA", "WriteFile", "ReadFile", "CloseHandle"})},
    {"ReadFails",
     [] {
         AddReply(AddPort("COM2"), "ATZ\r", "\r\nOK\r\n", 0);
         fake::FailCall("ReadFile", ERROR_IO_DEVICE, 1);
     },
     TRUE, 0, Then(kConfigured, {"wsprintfA", "WriteFile", "ReadFile", "ClearCommError", "CloseHandle"})},
};

INSTANTIATE_TEST_SUITE_P(Rows, CheckResultTest, ::testing::ValuesIn(kRows),
                         [](const ::testing::TestParamInfo<ResultRow> &info) {
                             return std::string(info.param.szName);
                         });

// --- Settings ----------------------------------------------------------------------------

struct InitialDcbCase {
    const char *szName;
    DCB dcb;
    DWORD dwBaud;
};

void PrintTo(const InitialDcbCase &c, std::ostream *os) { *os << c.szName; }

DCB AllBitsSet()
{
    DCB dcb;
    memset(&dcb, 0xff, sizeof dcb);
    return dcb;
}

class CheckSettingsTest : public CheckTest, public ::testing::WithParamInterface<InitialDcbCase> {};

TEST_P(CheckSettingsTest, OpensAndSetsThePortExactly)
{
    Port &port = AddPort("COM3");
    port.dcbCurrent = GetParam().dcb;
    ASSERT_EQ(Check("COM3", GetParam().dwBaud, FALSE, nullptr), 1);
    EXPECT_EQ(fake::CallsTo("CreateFileA")[0], "CreateFileA(COM3, 0xc0000000, 0, NULL, 3, 0x80, NULL)");
    EXPECT_EQ(fake::CallsTo("SetCommTimeouts")[0], "SetCommTimeouts(COM3, 4294967295, 0, 0, 0, 5000)");
    EXPECT_EQ(fake::CallsTo("SetupComm")[0], "SetupComm(COM3, 2000, 2000)");
    ASSERT_EQ(port.setStates.size(), 1u);
    DCB expected = GetParam().dcb;
    expected.BaudRate = GetParam().dwBaud;
    expected.ByteSize = 8;
    expected.Parity = NOPARITY;
    expected.StopBits = ONESTOPBIT;
    EXPECT_EQ(memcmp(&port.setStates[0], &expected, sizeof(DCB)), 0);
}

INSTANTIATE_TEST_SUITE_P(InitialDcbs, CheckSettingsTest,
                         ::testing::Values(InitialDcbCase{"Distinctive115200", DistinctiveDcb(), 115200},
                                           InitialDcbCase{"AllBitsSetOddSpeed", AllBitsSet(), 12345},
                                           InitialDcbCase{"DistinctiveZeroSpeed", DistinctiveDcb(), 0}),
                         [](const ::testing::TestParamInfo<InitialDcbCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(CheckTest, PortNameGoesToTheOpenAsGiven)
{
    AddPort("\\\\.\\COM12");
    EXPECT_EQ(Check("\\\\.\\COM12", 9600, FALSE, nullptr), 1);
    EXPECT_EQ(Check("com12", 9600, FALSE, nullptr), 0);
}

// --- The command line ----------------------------------------------------------------------

TEST_F(CheckTest, SendsTheCommandWithACarriageReturn)
{
    Port &port = AddPort("COM1");
    AddReply(port, "ATI3\r", "x");
    EXPECT_EQ(Check("COM1", 2400, TRUE, "ATI3"), 1);
    EXPECT_EQ(port.writes, std::vector<std::string>{"ATI3\r"});
    EXPECT_EQ(fake::CallsTo("wsprintfA"), std::vector<std::string>{"wsprintfA(\"%s\\r\") -> \"ATI3\\r\""});
    EXPECT_EQ(fake::CallsTo("WriteFile")[0], "WriteFile(COM1, \"ATI3\\r\", 5, NULL)");
    ASSERT_FALSE(port.readSizes.empty());
    for (DWORD cb : port.readSizes)
        EXPECT_EQ(cb, 3u); // every poll read asks for 3 bytes
}

TEST_F(CheckTest, EmptyCommandSendsASingleCarriageReturn)
{
    Port &port = AddPort("COM1");
    AddReply(port, "\r", "\r\nOK\r\n");
    EXPECT_EQ(Check("COM1", 2400, TRUE, ""), 1);
    EXPECT_EQ(port.writes, std::vector<std::string>{"\r"});
}

TEST_F(CheckTest, CommandIsNeverReadWhenNotAskedFor)
{
    AddPort("COM1");
    EXPECT_EQ(Check("COM1", 2400, FALSE, nullptr), 1);
    EXPECT_EQ(fake::CountCalls("wsprintfA"), 0u);
    EXPECT_EQ(fake::CountCalls("WriteFile"), 0u);
    EXPECT_EQ(fake::CountCalls("ReadFile"), 0u);
}

TEST_F(CheckTest, CommandOfAnyLengthIsNeverReadWhenNotAskedFor)
{
    AddModem(AddPort("COM1"));
    std::string s300(300, 'A');
    EXPECT_EQ(Check("COM1", 2400, FALSE, s300.c_str()), 1);
    // A command in memory that cannot be read at all: any read of it ends the test.
    long cbPage = sysconf(_SC_PAGESIZE);
    void *pPage = mmap(nullptr, (size_t)cbPage, PROT_NONE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    ASSERT_NE(pPage, MAP_FAILED);
    EXPECT_EQ(Check("COM1", 2400, FALSE, static_cast<LPCSTR>(pPage)), 1);
    munmap(pPage, (size_t)cbPage);
    EXPECT_EQ(fake::CountCalls("wsprintfA"), 0u);
    EXPECT_EQ(fake::CountCalls("WriteFile"), 0u);
    EXPECT_EQ(fake::CountCalls("ReadFile"), 0u);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 2u);
}

TEST_F(CheckTest, LongestCommandThatFitsIsSentWhole)
{
    Port &port = AddPort("COM1");
    std::string strCommand = "AT" + std::string(252, 'S');
    ASSERT_EQ(strCommand.size(), 254u);
    AddReply(port, strCommand + "\r", "0");
    EXPECT_EQ(Check("COM1", 2400, TRUE, strCommand.c_str()), 1);
    ASSERT_EQ(port.writes.size(), 1u);
    EXPECT_EQ(port.writes[0], strCommand + "\r");
}

TEST_F(CheckTest, CommandTooLongForTheLineIsRefusedBeforeThePortIsOpened)
{
    AddModem(AddPort("COM1"));
    for (size_t cch : {255u, 256u, 1000u}) {
        std::string strCommand(cch, 'A');
        EXPECT_EQ(Check("COM1", 2400, TRUE, strCommand.c_str()), 0) << cch;
    }
    EXPECT_TRUE(fake::Calls().empty());
}

TEST_F(CheckTest, UnterminatedCommandIsMeasuredWithinItsLimit)
{
    AddPort("COM1");
    // 256 bytes and no zero among them, in an allocation of exactly that size: the
    // sanitizer fails the test if the length is measured past it.
    char *pCommand = static_cast<char *>(malloc(256));
    memset(pCommand, 'A', 256);
    EXPECT_EQ(Check("COM1", 2400, TRUE, pCommand), 0);
    free(pCommand);
    EXPECT_TRUE(fake::Calls().empty());
}

// A command that can never be sent gets the same 0 whether or not another program holds
// the port at that moment: the refusal comes before the open.
TEST_F(CheckTest, CommandThatCannotBeSentIsRefusedAlsoOnAHeldPort)
{
    HoldPort("COM1");
    std::string s255(255, 'A');
    EXPECT_EQ(Check("COM1", 2400, TRUE, s255.c_str()), 0);
    EXPECT_EQ(Check("COM1", 2400, TRUE, nullptr), 0);
    EXPECT_TRUE(fake::Calls().empty());
    // The same port with a command that fits: held counts as usable.
    EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 1);
}

TEST_F(CheckTest, NullCommandWithTheFlagSetIsRefused)
{
    AddModem(AddPort("COM1"));
    EXPECT_EQ(Check("COM1", 2400, TRUE, nullptr), 0);
    EXPECT_TRUE(fake::Calls().empty());
}

TEST(CommandText, BoundedLength)
{
    std::string s254(254, 'x'), s255(255, 'x'), s999(999, 'x');
    EXPECT_EQ(BoundedTextLength(nullptr, 254), -1);
    EXPECT_EQ(BoundedTextLength("", 254), 0);
    EXPECT_EQ(BoundedTextLength("ATZ", 254), 3);
    EXPECT_EQ(BoundedTextLength(s254.c_str(), 254), 254);
    EXPECT_EQ(BoundedTextLength(s255.c_str(), 254), 255);
    EXPECT_EQ(BoundedTextLength(s999.c_str(), 254), 255);
    EXPECT_EQ(BoundedTextLength("ab", 0), 1);
}

// --- The write loop ------------------------------------------------------------------------

TEST_F(CheckTest, PartialWriteIsFollowedByExactlyTheBytesNotYetSent)
{
    Port &port = AddPort("COM1");
    port.writeSteps = {AcceptSome(3), AcceptSome(1)};
    AddReply(port, "ATDT123\r", "x");
    EXPECT_EQ(Check("COM1", 2400, TRUE, "ATDT123"), 1);
    EXPECT_EQ(port.writes, (std::vector<std::string>{"ATDT123\r", "T123\r", "123\r"}));
    EXPECT_EQ(port.sent, (std::vector<std::string>{"ATD", "T", "123\r"}));
}

// A driver that reports more bytes written than it was asked to write. The count is
// trusted only up to what was asked: the line counts as sent that far, the write
// position never leaves the line (every write offers a tail of it, never bytes beyond
// its end or before its start), and the poll follows as usual.
struct OverReportCase {
    const char *szName;
    const char *szCommand;
    std::vector<WriteStep> steps;
    std::vector<DWORD> commErrors;   // what ClearCommError reports after a failed write
    std::vector<std::string> writes; // what each WriteFile was offered
};

void PrintTo(const OverReportCase &c, std::ostream *os) { *os << c.szName; }

class OverReportTest : public CheckTest, public ::testing::WithParamInterface<OverReportCase> {};

TEST_P(OverReportTest, CountsNoMoreThanWasAskedAndStaysInTheLine)
{
    const OverReportCase &c = GetParam();
    Port &port = AddPort("COM1");
    port.writeSteps = c.steps;
    port.commErrors = c.commErrors;
    ArriveAt(port, 100, "!");
    EXPECT_EQ(Check("COM1", 2400, TRUE, c.szCommand), 1);
    EXPECT_EQ(port.writes, c.writes);
    const std::string strLine = std::string(c.szCommand) + "\r";
    for (const std::string &strOffered : port.writes) {
        ASSERT_LE(strOffered.size(), strLine.size());
        EXPECT_EQ(strLine.substr(strLine.size() - strOffered.size()), strOffered) << "not a tail of the line";
    }
}

INSTANTIATE_TEST_SUITE_P(
    Counts, OverReportTest,
    ::testing::Values(
        // The whole 4-byte line sent, 5 reported: one more than asked.
        OverReportCase{"OneMoreThanTheLine", "ATZ", {Misreport(AcceptAll(), 5)}, {}, {"ATZ\r"}},
        OverReportCase{"FarMoreThanTheLine", "ATZ", {Misreport(AcceptAll(), 200)}, {}, {"ATZ\r"}},
        // Past the 16-bit count of bytes still to send, and the largest count there is.
        OverReportCase{"BeyondSixteenBits", "ATZ", {Misreport(AcceptAll(), 0x10003)}, {}, {"ATZ\r"}},
        OverReportCase{"AllBitsSet", "ATZ", {Misreport(AcceptAll(), 0xFFFFFFFF)}, {}, {"ATZ\r"}},
        // One byte sent, 200 reported: the driver's word is taken as far as the line
        // goes, so nothing more is offered.
        OverReportCase{"PartSentMoreReported", "ATZ", {Misreport(AcceptSome(1), 200)}, {}, {"ATZ\r"}},
        // After a partial write of 3 of "ATDT123\r", the next write asks for the 5 left
        // and is told 6.
        OverReportCase{"AfterAPartialWrite",
                       "ATDT123",
                       {AcceptSome(3), Misreport(AcceptSome(2), 6)},
                       {},
                       {"ATDT123\r", "T123\r"}},
        // A full transmit queue whose failed write reports more than was asked.
        OverReportCase{
            "FullQueueReportsMore", "ATH0", {Misreport(FailWrite(ERROR_IO_DEVICE, 1), 300)}, {CE_TXFULL}, {"ATH0\r"}}),
    [](const ::testing::TestParamInfo<OverReportCase> &info) { return std::string(info.param.szName); });

struct FullQueueCase {
    const char *szName;
    DWORD dwErrors;          // what ClearCommError reports after the failed write
    std::vector<std::string> writes;
};

void PrintTo(const FullQueueCase &c, std::ostream *os) { *os << c.szName; }

class WriteFailureTest : public CheckTest, public ::testing::WithParamInterface<FullQueueCase> {};

TEST_P(WriteFailureTest, GoesOnOnlyForAFullTransmitQueueAndPollsInEveryCase)
{
    Port &port = AddPort("COM1");
    port.writeSteps = {FailWrite(ERROR_IO_DEVICE, 2)};
    port.commErrors = {GetParam().dwErrors};
    ArriveAt(port, 100, "!");
    // Whether or not the rest of the line went out, the byte in the window gives 1.
    EXPECT_EQ(Check("COM1", 2400, TRUE, "ATH0"), 1);
    EXPECT_EQ(port.writes, GetParam().writes);
    EXPECT_EQ(fake::CountCalls("ClearCommError"), 1u);
    EXPECT_GE(fake::CountCalls("ReadFile"), 1u);
}

INSTANTIATE_TEST_SUITE_P(
    ErrorWords, WriteFailureTest,
    ::testing::Values(FullQueueCase{"TxFullAlone", CE_TXFULL, {"ATH0\r", "H0\r"}},
                      FullQueueCase{"TxFullWithFrame", CE_TXFULL | CE_FRAME, {"ATH0\r"}},
                      FullQueueCase{"TxFullWithOverrun", CE_TXFULL | CE_OVERRUN, {"ATH0\r"}},
                      FullQueueCase{"NoErrorBits", 0, {"ATH0\r"}},
                      FullQueueCase{"FrameAlone", CE_FRAME, {"ATH0\r"}}),
    [](const ::testing::TestParamInfo<FullQueueCase> &info) { return std::string(info.param.szName); });

// A failed ClearCommError says nothing about the error word, whatever it left there: the
// write is not known to have met a full queue, so it ends and the poll follows.
TEST_F(CheckTest, WriteFailureWithAFailingClearCommErrorEndsTheWriteAndPolls)
{
    for (bool bByte : {true, false}) {
        fake::Reset();
        fake::SetTickStep(1);
        Port &port = AddPort("COM1");
        port.writeDefault = FailWrite(ERROR_IO_DEVICE, 0);
        port.dwErrorsLeftOnFailure = CE_TXFULL;
        fake::FailCall("ClearCommError", ERROR_GEN_FAILURE, 1);
        if (bByte)
            ArriveAt(port, 1000, "!");
        EXPECT_EQ(Check("COM1", 2400, TRUE, "ATDT5"), bByte ? 1 : 0);
        EXPECT_EQ(port.writes, std::vector<std::string>{"ATDT5\r"});
        EXPECT_EQ(fake::CountCalls("ClearCommError"), 1u);
        EXPECT_GE(fake::CountCalls("ReadFile"), 1u);
    }
}

TEST_F(CheckTest, FailedWriteStillLetsALateByteCount)
{
    Port &port = AddPort("COM1");
    port.writeDefault = FailWrite(ERROR_IO_DEVICE);
    port.commErrors = {CE_FRAME};
    ArriveAt(port, 2500, "z");
    EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 1);
    EXPECT_EQ(port.writes.size(), 1u);
}

struct IdleCase {
    const char *szName;
    WriteStep idle;
};

void PrintTo(const IdleCase &c, std::ostream *os) { *os << c.szName; }

class IdleWriteTest : public CheckTest, public ::testing::WithParamInterface<IdleCase> {};

TEST_P(IdleWriteTest, WritesThatSendNothingAreBoundedThenThePollRuns)
{
    Port &port = AddPort("COM1");
    port.writeDefault = GetParam().idle;
    port.commErrors = std::vector<DWORD>(10, CE_TXFULL);
    ArriveAt(port, 0, "k"); // already there when the poll starts
    EXPECT_EQ(Check("COM1", 2400, TRUE, "ATA"), 1);
    EXPECT_EQ(port.writes, std::vector<std::string>(3, "ATA\r"));
}

INSTANTIATE_TEST_SUITE_P(Kinds, IdleWriteTest,
                         ::testing::Values(IdleCase{"TimedOutWithNothingSent", SendNothing()},
                                           IdleCase{"FullQueueWithNothingSent", FailWrite(ERROR_IO_DEVICE, 0)}),
                         [](const ::testing::TestParamInfo<IdleCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(CheckTest, ProgressBetweenIdleWritesStartsTheCountAfresh)
{
    // Full-queue failures come back at once, so the write budget plays no part here.
    Port &port = AddPort("COM1");
    port.writeSteps = {FailWrite(ERROR_IO_DEVICE, 0), FailWrite(ERROR_IO_DEVICE, 0), FailWrite(ERROR_IO_DEVICE, 1),
                       FailWrite(ERROR_IO_DEVICE, 0), FailWrite(ERROR_IO_DEVICE, 0), AcceptAll()};
    port.commErrors = std::vector<DWORD>(5, CE_TXFULL);
    AddReply(port, "ATO\r", "C");
    EXPECT_EQ(Check("COM1", 2400, TRUE, "ATO"), 1);
    EXPECT_EQ(port.writes.size(), 6u);
    EXPECT_EQ(port.writes.back(), "TO\r");
}

// --- The reply poll ------------------------------------------------------------------------

TEST_F(CheckTest, AnyByteIsAReplyAndEndsThePoll)
{
    for (char ch : {'\0', 'A', '\xff'}) {
        fake::Reset();
        fake::SetTickStep(1);
        Port &port = AddPort("COM1");
        ArriveAt(port, 500, std::string(1, ch) + "more", 1);
        EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 1) << int(ch);
        EXPECT_EQ(port.reads.back().substr(0, 1), std::string(1, ch));
        EXPECT_EQ(fake::CallNames().back(), "CloseHandle");
        EXPECT_EQ(fake::CallNames()[fake::CallNames().size() - 2], "ReadFile");
    }
}

TEST_F(CheckTest, ReadFailureIsNotRetried)
{
    Port &port = AddPort("COM1");
    ArriveAt(port, 1, "late");
    fake::FailCall("ReadFile", ERROR_IO_DEVICE, 1);
    EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 0);
    EXPECT_EQ(fake::CountCalls("ReadFile"), 1u);
    EXPECT_EQ(fake::CountCalls("ClearCommError"), 1u);
}

// The window holds 2999 reads at one tick per clock reading, wherever the clock starts.
TEST_F(CheckTest, WindowIsTheSameWhenTheTickCountWraps)
{
    for (DWORD dwStart : {0u, 0xFFFFFFFFu - 1000u, 0xFFFFFFFFu}) {
        fake::Reset();
        fake::SetTickStep(1);
        fake::SetNow(dwStart);
        AddPort("COM1");
        EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 0) << dwStart;
        EXPECT_EQ(fake::CountCalls("ReadFile"), 2999u) << dwStart;
    }
}

TEST_F(CheckTest, ByteLateInAWrappingWindowStillCounts)
{
    fake::SetNow(0xFFFFFFFFu - 1000u);
    Port &port = AddPort("COM1");
    ArriveAt(port, fake::Now() + 2900, "y"); // after the wrap, inside the window
    EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 1);
}

TEST_F(CheckTest, WindowStartsWhenTheWriteLoopEnds)
{
    Port &port = AddPort("COM1");
    port.writeDefault = SendNothing(); // three attempts of 5000 ms each
    ArriveAt(port, 3 * 5000 + 2500, "w");
    EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 1);
}

TEST_F(CheckTest, SendCommandAndWaitAloneReportsAReply)
{
    Port &port = AddPort("COM4");
    HANDLE h = CreateFileA("COM4", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    COMMTIMEOUTS t = {MAXDWORD, 0, 0, 0, 5000};
    SetCommTimeouts(h, &t);
    AddReply(port, "AT&V\r", "E0");
    EXPECT_EQ(SendCommandAndWait(h, "AT&V"), 1);
    EXPECT_EQ(SendCommandAndWait(h, "ATX"), 0);
    CloseHandle(h);
}

TEST_F(CheckTest, SendCommandAndWaitAloneRefusesACommandThatDoesNotFitTheLine)
{
    Port &port = AddPort("COM4");
    HANDLE h = CreateFileA("COM4", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    COMMTIMEOUTS t = {MAXDWORD, 0, 0, 0, 5000};
    SetCommTimeouts(h, &t);
    // A byte is already waiting: a poll would find it, so a 0 shows none ran.
    ArriveAt(port, 0, "x");
    std::string s255(255, 'A'), s256(256, 'A'), s1000(1000, 'A');
    for (LPCSTR lpszCommand : {s255.c_str(), s256.c_str(), s1000.c_str(), (LPCSTR) nullptr}) {
        size_t cCallsBefore = fake::Calls().size();
        // Under the sanitizer a formatting of these texts into the line would fail here.
        EXPECT_EQ(SendCommandAndWait(h, lpszCommand), 0) << BoundedTextLength(lpszCommand, 1000);
        EXPECT_EQ(fake::Calls().size(), cCallsBefore) << BoundedTextLength(lpszCommand, 1000);
    }
    EXPECT_TRUE(port.writes.empty());
    EXPECT_EQ(PendingInput(port), 1u);
    CloseHandle(h);
}

// --- Worst case -------------------------------------------------------------------------------

// With a command, no device can hold the check longer than 20000 ms: no write starts
// after 12000 ms of writing, each ends within its 5000 ms time-out, and the poll lasts
// 3000 ms. Without one, nothing waits at all.
const DWORD kCheckCeilingMs = 20000;

struct HostileDevice {
    const char *szName;
    std::function<void(Port &)> script;
    int nResult;          // with the command
    size_t cWrites;       // WriteFile calls the command takes
};

void PrintTo(const HostileDevice &d, std::ostream *os) { *os << d.szName; }

class HostileCheckTest : public CheckTest, public ::testing::WithParamInterface<HostileDevice> {};

TEST_P(HostileCheckTest, EndsWithinTheCeilingWithACommandAndAtOnceWithout)
{
    const std::string strCommand = "AT" + std::string(252, 'S'); // the longest that fits
    for (DWORD dwStart : {0u, 0xFFFFFFFFu - 6000u}) { // the second wraps mid-write
        fake::Reset();
        fake::SetTickStep(1);
        fake::SetNow(dwStart);
        Port &port = AddPort("COM1");
        GetParam().script(port);
        EXPECT_EQ(Check("COM1", 2400, TRUE, strCommand.c_str()), GetParam().nResult) << dwStart;
        EXPECT_LE(fake::Now() - dwStart, kCheckCeilingMs) << dwStart;
        EXPECT_EQ(port.writes.size(), GetParam().cWrites) << dwStart;
        EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u) << dwStart;

        fake::Reset();
        fake::SetTickStep(1);
        fake::SetNow(dwStart);
        GetParam().script(AddPort("COM1"));
        EXPECT_EQ(Check("COM1", 2400, FALSE, strCommand.c_str()), 1) << dwStart;
        EXPECT_EQ(fake::Now(), dwStart);
    }
}

const HostileDevice kHostileDevices[] = {
    // Takes one byte per 5000 ms write time-out: three writes, then the budget is spent.
    {"TakesOneBytePerWriteTimeout", [](Port &port) { port.writeDefault = AcceptSome(1); }, 0, 3},
    {"StallsTheLineUnderFlowControl", [](Port &port) { port.writeDefault = SendNothing(); }, 0, 3},
    {"FullQueueWithNothingTaken",
     [](Port &port) {
         port.writeDefault = FailWrite(ERROR_IO_DEVICE, 0);
         port.commErrors = std::vector<DWORD>(300, CE_TXFULL);
     },
     0, 3},
    {"FullQueueTakingOneByteAtATime",
     [](Port &port) {
         port.writeDefault = FailWrite(ERROR_IO_DEVICE, 1);
         port.commErrors = std::vector<DWORD>(300, CE_TXFULL);
     },
     0, 255},
    {"ChattersWithoutEnd", [](Port &port) { Chatter(port, 1); }, 1, 1},
    {"DribblesAByteEvery499Ms", [](Port &port) { ArriveAt(port, fake::Now() + 499, std::string(40, 'd'), 499); }, 1,
     1},
    {"TricklesAndDribbles",
     [](Port &port) {
         port.writeDefault = AcceptSome(1);
         ArriveAt(port, fake::Now() + 499, std::string(40, 'd'), 499);
     },
     1, 3},
    // A write that starts just inside the budget and runs its whole time-out: the
    // slowest a device can make the check.
    {"LastWriteStartsJustInsideTheBudget",
     [](Port &port) {
         port.writeSteps = {AcceptSome(1), AcceptSome(1), FailWrite(ERROR_IO_DEVICE, 1, 1990)};
         port.writeDefault = AcceptSome(1);
         port.commErrors = {CE_TXFULL};
     },
     0, 4},
};

INSTANTIATE_TEST_SUITE_P(Devices, HostileCheckTest, ::testing::ValuesIn(kHostileDevices),
                         [](const ::testing::TestParamInfo<HostileDevice> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(CheckTest, WorstPlacedWriteComesWithinMillisecondsOfTheCeiling)
{
    Port &port = AddPort("COM1");
    kHostileDevices[7].script(port);
    EXPECT_EQ(Check("COM1", 2400, TRUE, "ATS0=1"), 0);
    EXPECT_EQ(port.writes.size(), 4u);
    EXPECT_GE(fake::Now(), kCheckCeilingMs - 10);
    EXPECT_LE(fake::Now(), kCheckCeilingMs);
}

// A sound device keeps the times it always had: one write, then at most the window.
TEST_F(CheckTest, SoundDeviceCostsOneWriteAndTheWindow)
{
    Port &port = AddPort("COM1");
    EXPECT_EQ(Check("COM1", 2400, TRUE, "AT"), 0);
    EXPECT_EQ(port.writes.size(), 1u);
    // Each clock reading moves the double's clock by 1 ms: the window, and a few readings.
    EXPECT_GE(fake::Now(), 3000u);
    EXPECT_LE(fake::Now(), 3005u);
}

// --- The thread's last error -----------------------------------------------------------------

TEST_F(CheckTest, LastErrorIsLeftAloneOnPathsWhereNothingFails)
{
    struct {
        BOOL bSend;
        int nResult;
    } const kPaths[] = {{FALSE, 1}, {TRUE, 1}, {TRUE, 0}};
    for (const auto &p : kPaths) {
        fake::Reset();
        fake::SetTickStep(1);
        Port &port = AddPort("COM1");
        if (p.nResult)
            AddReply(port, "AT\r", "OK");
        SetLastError(0xDEADBEEF);
        EXPECT_EQ(Check("COM1", 2400, p.bSend, "AT"), p.nResult);
        EXPECT_EQ(GetLastError(), 0xDEADBEEFu) << p.bSend << p.nResult;
    }
}

} // namespace
