// The serial modem scan on scripted ports: the scan's order, the probe of one port, the
// dialogue's exact calls and failures, and the input drain with its time limit.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fake_fixture.h"
#include "fake_serial.h"
#include "frame/telvarid.h"
#include "serial/ModemScan.h"

using namespace fake::serial;

namespace {

// The silent opened port: two drains that each end with an empty 550 ms read, and the
// reply read that waits 50 * 128 + 500 ms.
const DWORD kSilentPortMs = 550 + 550 + 6900;

class ScanTest : public FakePlatformTest {
protected:
    static std::vector<std::string> Opened()
    {
        std::vector<std::string> names;
        for (const std::string &c : fake::CallsTo("CreateFileA"))
            names.push_back(c.substr(strlen("CreateFileA("), 4));
        return names;
    }
    // A device that answers "AT" with exactly strAnswer and ignores everything else.
    static Port &Device(const char *szPort, const std::string &strAnswer)
    {
        Port &port = AddPort(szPort);
        AddReply(port, "AT\r", strAnswer);
        return port;
    }
};

// --- The scan ---------------------------------------------------------------------

TEST_F(ScanTest, NoPortsAtAllGivesZeroAfterFourFailedOpensWithoutWaiting)
{
    int nPort = 77;
    EXPECT_EQ(TVRScanForModem(&nPort), 0);
    EXPECT_EQ(nPort, 0);
    EXPECT_EQ(Opened(), (std::vector<std::string>{"COM1", "COM2", "COM3", "COM4"}));
    EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"wsprintfA", "CreateFileA", "wsprintfA", "CreateFileA",
                                                           "wsprintfA", "CreateFileA", "wsprintfA", "CreateFileA"}));
    EXPECT_EQ(fake::Now(), 0u);
}

TEST_F(ScanTest, ReportsTheFirstAnsweringPortAndOpensNoneAfterIt)
{
    AddPort("COM1"); // opens, but nothing answers
    AddModem(AddPort("COM3"));
    AddModem(AddPort("COM4"));
    int nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 3);
    EXPECT_EQ(Opened(), (std::vector<std::string>{"COM1", "COM2", "COM3"}));
    EXPECT_EQ(GetPort("COM4").nOpens, 0);
    EXPECT_EQ(GetPort("COM1").nOpens, 1);
}

TEST_F(ScanTest, OfTwoAnsweringPortsTheLowerIsReported)
{
    AddModem(AddPort("COM2"));
    AddModem(AddPort("COM4"));
    int nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 2);
    EXPECT_EQ(GetPort("COM4").nOpens, 0);
}

TEST_F(ScanTest, SilentPortsAndAnEmptyMachineGiveZero)
{
    AddPort("COM1");
    AddPort("COM2");
    int nPort = 55;
    EXPECT_EQ(TVRScanForModem(&nPort), 0);
    EXPECT_EQ(nPort, 0);
    EXPECT_EQ(fake::Now(), 2 * kSilentPortMs);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 2u);
}

TEST_F(ScanTest, BareOkDeviceIsSkipped)
{
    Device("COM1", "OK");
    AddModem(AddPort("COM2"));
    int nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 2);
}

TEST_F(ScanTest, HeldPortIsSkipped)
{
    HoldPort("COM1");
    AddModem(AddPort("COM2"));
    int nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 2);
    EXPECT_EQ(Opened(), (std::vector<std::string>{"COM1", "COM2"}));
}

TEST_F(ScanTest, SecondScanRepeatsEverything)
{
    AddPort("COM1");
    AddModem(AddPort("COM2"));
    int nPort = 0;
    ASSERT_EQ(TVRScanForModem(&nPort), 1);
    nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 2);
    EXPECT_EQ(GetPort("COM1").nOpens, 2);
    EXPECT_EQ(GetPort("COM2").nOpens, 2);
}

// --- What counts as an answer, end to end through one probe -------------------------

struct AnswerCase {
    const char *szName;
    std::string strAnswer; // what the device sends after "AT\r"
    int nExpected;
};

void PrintTo(const AnswerCase &c, std::ostream *os) { *os << c.szName; }

class ProbeAnswerTest : public ScanTest, public ::testing::WithParamInterface<AnswerCase> {};

TEST_P(ProbeAnswerTest, JudgesWhatTheDeviceSent)
{
    Device("COM2", GetParam().strAnswer);
    DWORD dwError = 99;
    EXPECT_EQ(ProbeCommPort(2, &dwError), GetParam().nExpected);
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u);
}

const AnswerCase kAnswers[] = {
    {"FramedOk", "\r\nOK\r\n", 1},
    {"BareOk", "OK", 0},
    {"Error", "\r\nERROR\r\n", 1},
    {"EchoDespiteE0", "AT\r\r\nOK\r\n", 1},
    {"LoopBackPlug", "AT\r", 1},
    {"ZeroFirstThenText", std::string("\0\r\nOK\r\n", 7), 0},
    {"LongerThanTheBuffer", std::string(300, 'z'), 1},
    {"Nothing", std::string(), 0},
};

INSTANTIATE_TEST_SUITE_P(Answers, ProbeAnswerTest, ::testing::ValuesIn(kAnswers),
                         [](const ::testing::TestParamInfo<AnswerCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(ScanTest, EchoAndResultOfTheFirstCommandAreDrainedAway)
{
    // Echo still on for "ATE0V1", and a bare "OK" to "AT": only the latter is judged.
    Port &port = AddPort("COM1");
    AddReply(port, "ATE0V1\r", "ATE0V1\r\r\nOK\r\n", 20, 4);
    AddReply(port, "AT\r", "OK", 20, 4);
    DWORD dwError = 0;
    EXPECT_EQ(ProbeCommPort(1, &dwError), 0);
}

// On Wine (the tty queues what is written) and on USB adapters a WriteFile returns before
// its bytes have left the line, so a transmit purge right after "ATE0V1\r" would discard
// the command. The drain purges only the input: the modem gets every command line whole,
// scan after scan, and is left with echo off and verbose result codes.
TEST_F(ScanTest, EchoOffCommandReachesAModemWhoseWritesCompleteEarly)
{
    for (DWORD dwDelay : {0u, 20u, 300u}) {
        fake::Reset();
        Port &port = AddPort("COM1");
        PaceTransmit(port);
        AddHayesModem(port);
        port.dwHayesDelay = dwDelay;
        std::string strExpected;
        for (int iScan = 1; iScan <= 50; ++iScan) {
            port.bHayesEcho = true; // as if someone had switched it back on since
            port.bHayesVerbose = false;
            int nPort = 0;
            ASSERT_EQ(TVRScanForModem(&nPort), 1) << "scan " << iScan << ", delay " << dwDelay;
            ASSERT_EQ(nPort, 1);
            strExpected += "ATE0V1\rAT\r";
            ASSERT_EQ(Escape(port.strDeviceReceived), Escape(strExpected)) << "scan " << iScan << ", delay " << dwDelay;
            ASSERT_FALSE(port.bHayesEcho) << "scan " << iScan << ", delay " << dwDelay;
            ASSERT_TRUE(port.bHayesVerbose) << "scan " << iScan << ", delay " << dwDelay;
        }
        EXPECT_EQ(port.strTxDiscarded, "");
        EXPECT_EQ(port.purges, std::vector<DWORD>(100, 0x0A));
    }
}

// A driver that reports more bytes written than it was asked to write, or fewer: the scan
// sends each command line with one WriteFile and reads no count, so every write offers
// exactly its whole line from its start, and the modem is still found.
TEST_F(ScanTest, WriteCountsReportedBeyondTheLineChangeNothing)
{
    for (DWORD cbReported : {4u, 8u, 200u, 0x10003u, 0xFFFFFFFFu, 0u}) {
        fake::Reset();
        Port &port = AddPort("COM2");
        AddModem(port);
        port.writeDefault = Misreport(AcceptAll(), cbReported);
        int nPort = 0;
        EXPECT_EQ(TVRScanForModem(&nPort), 1) << cbReported;
        EXPECT_EQ(nPort, 2) << cbReported;
        EXPECT_EQ(port.writes, (std::vector<std::string>{"ATE0V1\r", "AT\r"})) << cbReported;
    }
}

TEST_F(ScanTest, ReplyReadReturnsOnlyWhatCameWithoutALongGap)
{
    struct {
        const char *szAnswer;
        DWORD dwGap;
        const char *szRead;
    } const kCases[] = {
        {"\r\nOK\r\n", 300, "\r\nOK\r\n"}, // gaps under the 500 ms interval: one read takes all
        {"\r\nOK\r\n", 600, "\r"},         // a longer gap ends the read after the first byte
        {"OK", 100, "OK"},
    };
    for (const auto &c : kCases) {
        fake::Reset();
        Port &port = AddPort("COM1");
        AddReply(port, "AT\r", c.szAnswer, 20, c.dwGap);
        HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(h, INVALID_HANDLE_VALUE);
        char achReply[128];
        memset(achReply, 0x5a, sizeof achReply);
        EXPECT_EQ(RunModemDialogue(h, achReply, sizeof achReply), 0u);
        CloseHandle(h);
        EXPECT_EQ(std::string(achReply, strnlen(achReply, sizeof achReply)), c.szRead)
            << Escape(c.szAnswer) << " gap " << c.dwGap;
        // The rest of the buffer was zero-filled before the read.
        for (size_t i = strlen(c.szRead); i < sizeof achReply; ++i)
            ASSERT_EQ(achReply[i], '\0') << "byte " << i;
    }
}

// --- The probe's exact calls --------------------------------------------------------

struct InitialDcbCase {
    const char *szName;
    DCB dcb;
};

DCB AllBitsSet()
{
    DCB dcb;
    memset(&dcb, 0xff, sizeof dcb);
    return dcb;
}

void PrintTo(const InitialDcbCase &c, std::ostream *os) { *os << c.szName; }

class ProbeSequenceTest : public ScanTest, public ::testing::WithParamInterface<InitialDcbCase> {};

TEST_P(ProbeSequenceTest, MakesExactlyTheDialogueCalls)
{
    Port &port = AddPort("COM1");
    port.dcbCurrent = GetParam().dcb;
    AddReply(port, "ATE0V1\r", "\r\nOK\r\n", 20, 4);
    AddReply(port, "AT\r", "\r\nOK\r\n", 20, 4);
    DWORD dwError = 99;
    ASSERT_EQ(ProbeCommPort(1, &dwError), 1);
    EXPECT_EQ(dwError, 0u);

    std::vector<std::string> expected = {"wsprintfA",       "CreateFileA", "GetCommState", "SetCommState",
                                         "SetCommTimeouts", "SetupComm",   "PurgeComm",    "ReadFile",
                                         "wsprintfA",       "WriteFile",   "PurgeComm"};
    expected.insert(expected.end(), 6 + 1, "ReadFile"); // the answer to ATE0V1, then silence
    expected.insert(expected.end(), {"wsprintfA", "WriteFile", "ReadFile", "CloseHandle"});
    EXPECT_EQ(fake::CallNames(), expected);
    EXPECT_EQ(fake::CallsTo("wsprintfA"),
              (std::vector<std::string>{"wsprintfA(\"COM%d\") -> \"COM1\"",
                                        "wsprintfA(\"%s%c\") -> \"ATE0V1\\r\"",
                                        "wsprintfA(\"%s%c\") -> \"AT\\r\""}));

    EXPECT_EQ(fake::CallsTo("CreateFileA")[0], "CreateFileA(COM1, 0xc0000000, 0, NULL, 3, 0x0, NULL)");
    EXPECT_EQ(fake::CallsTo("SetCommTimeouts")[0], "SetCommTimeouts(COM1, 500, 50, 500, 10, 1000)");
    EXPECT_EQ(fake::CallsTo("SetupComm")[0], "SetupComm(COM1, 80, 80)");
    // PURGE_RXABORT | PURGE_RXCLEAR: input only, never the command just written.
    EXPECT_EQ(port.purges, (std::vector<DWORD>{0x0A, 0x0A}));
    EXPECT_EQ(port.writes, (std::vector<std::string>{"ATE0V1\r", "AT\r"}));
    for (const std::string &c : fake::CallsTo("WriteFile"))
        EXPECT_NE(c.find(", NULL)"), std::string::npos) << c; // no overlapped structure
    std::vector<DWORD> reads(8, 1);
    reads.push_back(128);
    EXPECT_EQ(port.readSizes, reads);
    EXPECT_EQ(fake::CallsTo("ReadFile").back(), "ReadFile(COM1, 128, NULL)");

    // Only the four line-format fields changed; every other bit came back as read.
    ASSERT_EQ(port.setStates.size(), 1u);
    DCB expectedDcb = GetParam().dcb;
    expectedDcb.BaudRate = 2400;
    expectedDcb.ByteSize = 8;
    expectedDcb.Parity = NOPARITY;
    expectedDcb.StopBits = ONESTOPBIT;
    EXPECT_EQ(memcmp(&port.setStates[0], &expectedDcb, sizeof(DCB)), 0);
}

INSTANTIATE_TEST_SUITE_P(InitialDcbs, ProbeSequenceTest,
                         ::testing::Values(InitialDcbCase{"Distinctive", DistinctiveDcb()},
                                           InitialDcbCase{"AllBitsSet", AllBitsSet()}),
                         [](const ::testing::TestParamInfo<InitialDcbCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(ScanTest, ProbeOfASilentPortLastsTheTwoDrainsAndTheFullRead)
{
    AddPort("COM4");
    DWORD dwError = 99;
    EXPECT_EQ(ProbeCommPort(4, &dwError), 0);
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(fake::Now(), kSilentPortMs);
}

TEST_F(ScanTest, ProbeRefusesPortNumbersOutsideOneToFour)
{
    for (LONG lPort : {0, 5, -1, 0x7fffffff, (LONG)0x80000000}) {
        fake::Reset();
        AddModem(AddPort("COM0"));
        AddModem(AddPort("COM5"));
        DWORD dwError = 99;
        EXPECT_EQ(ProbeCommPort(lPort, &dwError), 0) << lPort;
        EXPECT_EQ(dwError, 0u) << lPort;
        // The name is formatted first, then the number is refused: the formatting is
        // the only call, so nothing was opened and no port setting was touched.
        EXPECT_EQ(fake::Calls(), (std::vector<std::string>{"wsprintfA(\"COM%d\") -> \"COM" +
                                                           std::to_string(lPort) + "\""}))
            << lPort;
        EXPECT_EQ(fake::OpenHandleCount(), 0u) << lPort;
    }
}

TEST_F(ScanTest, ProbeOfAMissingOrHeldPortKeepsTheOpenError)
{
    HoldPort("COM2");
    DWORD dwError = 0;
    EXPECT_EQ(ProbeCommPort(1, &dwError), 0);
    EXPECT_EQ(dwError, (DWORD)ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(ProbeCommPort(2, &dwError), 0);
    EXPECT_EQ(dwError, (DWORD)ERROR_ACCESS_DENIED);
    EXPECT_EQ(fake::CallNames(), (std::vector<std::string>{"wsprintfA", "CreateFileA", "wsprintfA", "CreateFileA"}));
}

// --- A failing step ends the dialogue ------------------------------------------------

struct FailingStep {
    const char *szName;
    const char *szCall;
    int nth;           // which call of it fails; 0: the reply read (found by a dry run)
    DWORD dwError;
};

void PrintTo(const FailingStep &c, std::ostream *os) { *os << c.szName; }

class ProbeFailureTest : public ScanTest, public ::testing::WithParamInterface<FailingStep> {
protected:
    static void SetUpModem() { AddModem(AddPort("COM3")); }
};

TEST_P(ProbeFailureTest, EndsTheDialogueWithThatErrorClosesThePortAndCountsAsSilent)
{
    const FailingStep &f = GetParam();
    int nth = f.nth;
    if (nth == 0) {
        // Dry run: where the 128-byte reply read falls among the reads.
        SetUpModem();
        DWORD dw;
        ASSERT_EQ(ProbeCommPort(3, &dw), 1);
        const std::vector<DWORD> &sizes = GetPort("COM3").readSizes;
        nth = static_cast<int>(sizes.size()); // the reply read is the last one
        ASSERT_EQ(sizes.back(), 128u);
        fake::Reset();
    }
    SetUpModem();
    fake::FailCall(f.szCall, f.dwError, nth);
    DWORD dwError = 0;
    EXPECT_EQ(ProbeCommPort(3, &dwError), 0);
    EXPECT_EQ(dwError, f.dwError);
    std::vector<std::string> names = fake::CallNames();
    ASSERT_GE(names.size(), 2u);
    // Nothing after the failed step but the close.
    EXPECT_EQ(names[names.size() - 2], f.szCall);
    EXPECT_EQ(names.back(), "CloseHandle");
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u);
}

const FailingStep kFailingSteps[] = {
    {"GetCommState", "GetCommState", 1, ERROR_GEN_FAILURE},
    {"SetCommState", "SetCommState", 1, ERROR_INVALID_PARAMETER},
    {"SetCommTimeouts", "SetCommTimeouts", 1, ERROR_INVALID_HANDLE},
    {"SetupComm", "SetupComm", 1, ERROR_NOT_ENOUGH_MEMORY},
    {"FirstWrite", "WriteFile", 1, ERROR_SEM_TIMEOUT},
    {"SecondWrite", "WriteFile", 2, ERROR_IO_DEVICE},
    {"ReplyRead", "ReadFile", 0, ERROR_IO_DEVICE},
};

INSTANTIATE_TEST_SUITE_P(Steps, ProbeFailureTest, ::testing::ValuesIn(kFailingSteps),
                         [](const ::testing::TestParamInfo<FailingStep> &info) {
                             return std::string(info.param.szName);
                         });

// The judgment looks only at the reply buffer: a read that fails after it has delivered
// bytes still leaves them there, and they count.
TEST_F(ScanTest, ReplyReadThatFailsAfterDeliveringBytesStillCountsAsAnAnswer)
{
    Port &port = Device("COM1", "\r\nOK\r\n");
    FailReadAfterData(port, 3, ERROR_IO_DEVICE); // two empty drain reads, then the reply read
    int nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 1);
    ASSERT_EQ(port.readSizes, (std::vector<DWORD>{1, 1, 128}));
    EXPECT_EQ(port.reads.back(), "\r\nOK\r\n");

    fake::Reset();
    Port &again = Device("COM1", "\r\nOK\r\n");
    FailReadAfterData(again, 3, ERROR_IO_DEVICE);
    DWORD dwError = 0;
    EXPECT_EQ(ProbeCommPort(1, &dwError), 1);
    EXPECT_EQ(dwError, (DWORD)ERROR_IO_DEVICE);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u);
}

TEST_F(ScanTest, FailingGetCommStateOnAModemPortLetsTheScanGoOn)
{
    AddModem(AddPort("COM1"));
    AddModem(AddPort("COM2"));
    fake::FailCall("GetCommState", ERROR_GEN_FAILURE, 1);
    int nPort = 0;
    EXPECT_EQ(TVRScanForModem(&nPort), 1);
    EXPECT_EQ(nPort, 2);
}

TEST_F(ScanTest, PurgeFailuresAreIgnored)
{
    AddModem(AddPort("COM1"));
    fake::FailCall("PurgeComm", ERROR_GEN_FAILURE);
    DWORD dwError = 99;
    EXPECT_EQ(ProbeCommPort(1, &dwError), 1);
    EXPECT_EQ(dwError, 0u);
}

// --- The dialogue's guards -----------------------------------------------------------

TEST_F(ScanTest, DialogueWithoutHandleOrBufferDoesNothing)
{
    AddModem(AddPort("COM1"));
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    ASSERT_NE(h, INVALID_HANDLE_VALUE);
    size_t nCallsBefore = fake::Calls().size();
    char achReply[8];
    memset(achReply, 0x5a, sizeof achReply);
    EXPECT_EQ(RunModemDialogue(NULL, achReply, sizeof achReply), 0u);
    EXPECT_EQ(RunModemDialogue(h, NULL, 128), 0u);
    EXPECT_EQ(RunModemDialogue(h, achReply, 0), 0u);
    EXPECT_EQ(RunModemDialogue(h, achReply, -1), 0u);
    EXPECT_EQ(RunModemDialogue(h, achReply, (LONG)0x80000000), 0u);
    EXPECT_EQ(fake::Calls().size(), nCallsBefore);
    for (char ch : achReply)
        EXPECT_EQ(ch, 0x5a); // untouched
    CloseHandle(h);
}

TEST_F(ScanTest, DialogueFillsOnlyTheSizeItIsGiven)
{
    Device("COM1", std::string(50, 'q'));
    HANDLE h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    std::vector<char> reply(16, 0x5a); // exactly 16 bytes: the sanitizer guards the rest
    EXPECT_EQ(RunModemDialogue(h, reply.data(), 16), 0u);
    CloseHandle(h);
    EXPECT_EQ(GetPort("COM1").readSizes.back(), 16u);
    EXPECT_EQ(std::string(reply.data(), 16), std::string(16, 'q'));
}

// --- The drain -----------------------------------------------------------------------

class DrainTest : public ScanTest {
protected:
    void SetUp() override
    {
        ScanTest::SetUp();
        m_port = &AddPort("COM1");
        m_h = CreateFileA("COM1", GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
        ASSERT_NE(m_h, INVALID_HANDLE_VALUE);
        COMMTIMEOUTS t = {500, 50, 500, 10, 1000}; // as the dialogue sets them
        SetCommTimeouts(m_h, &t);
    }
    void TearDown() override
    {
        CloseHandle(m_h);
        ScanTest::TearDown();
    }
    Port *m_port = nullptr;
    HANDLE m_h = INVALID_HANDLE_VALUE;
};

TEST_F(DrainTest, SilentLineEndsAfterOneEmptyRead)
{
    DrainCommInput(m_h);
    EXPECT_EQ(m_port->purges, std::vector<DWORD>{0x0A});
    EXPECT_EQ(m_port->readSizes, std::vector<DWORD>{1});
    EXPECT_EQ(fake::Now(), 550u);
}

TEST_F(DrainTest, DiscardsWhatArrivedBeforeAndWhatKeepsComing)
{
    ArriveAt(*m_port, 0, "stale");             // purged before any read
    ArriveAt(*m_port, 10, "late bytes", 30);   // read one by one, then silence
    DrainCommInput(m_h);
    EXPECT_EQ(m_port->readSizes.size(), strlen("late bytes") + 1);
    EXPECT_EQ(PendingInput(*m_port), 0u);
    EXPECT_TRUE(m_port->input.empty());
}

TEST_F(DrainTest, ReadFailureEndsTheDrain)
{
    ArriveAt(*m_port, 10, "0123456789", 10);
    fake::FailCall("ReadFile", ERROR_IO_DEVICE, 1);
    DrainCommInput(m_h);
    EXPECT_EQ(fake::CountCalls("ReadFile"), 1u);
}

TEST_F(DrainTest, ChatteringDeviceIsCutOffAfterTheTimeLimit)
{
    for (DWORD dwEvery : {1u, 100u, 549u}) {
        Chatter(*m_port, dwEvery);
        DWORD dwStart = fake::Now();
        DrainCommInput(m_h);
        DWORD dwElapsed = fake::Now() - dwStart;
        // At least the limit, and at most the limit plus one byte's wait.
        EXPECT_GE(dwElapsed, 1000u) << "every " << dwEvery;
        EXPECT_LT(dwElapsed, 1000u + dwEvery + 1) << "every " << dwEvery;
    }
}

TEST_F(DrainTest, TimeLimitHoldsAcrossTheTickCountWrap)
{
    fake::SetNow(0xFFFFFF00u); // wraps 256 ms into the drain
    Chatter(*m_port, 10);
    DrainCommInput(m_h);
    EXPECT_EQ(fake::Now() - 0xFFFFFF00u, 1000u);
}

TEST_F(ScanTest, ChatteringDeviceEndsTheProbeClosedAndCountsAsAnswering)
{
    Chatter(AddPort("COM1"), 100);
    DWORD dwError = 99;
    EXPECT_EQ(ProbeCommPort(1, &dwError), 1);
    EXPECT_EQ(dwError, 0u);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u);
    // Two cut-off drains and a reply read that ends at its total time-out.
    EXPECT_EQ(fake::Now(), 1000u + 1000u + 6900u);
}

} // namespace

namespace {

// --- Worst case ----------------------------------------------------------------------

// Hostile devices, each scripted against one probe that starts at dwOpen. No device can
// hold an opened port longer than 12100 ms: two drains of at most 1000 + 550 ms, the
// writes' time-outs 10 x 7 + 1000 and 10 x 3 + 1000 ms, and the 6900 ms reply read.
const DWORD kProbeCeilingMs = 12100;

struct HostileDevice {
    const char *szName;
    void (*script)(Port &port, DWORD dwOpen);
    bool bAnswers; // whether what it sends counts as an answer
};

void PrintTo(const HostileDevice &d, std::ostream *os) { *os << d.szName; }

// Bytes that keep each drain reading as long as it can: one just before the drain's
// limit and one just inside the 550 ms that the next read waits.
void KeepDrainBusy(Port &port, DWORD dwDrainStart)
{
    ArriveAt(port, dwDrainStart + 450, "ddd", 549);
}

const HostileDevice kHostileDevices[] = {
    {"ChattersEveryMillisecond", [](Port &port, DWORD) { Chatter(port, 1); }, true},
    {"ChattersJustUnderTheDrainGap", [](Port &port, DWORD) { Chatter(port, 549); }, true},
    {"DribblesJustUnderTheReplyGap", [](Port &port, DWORD) { Chatter(port, 499); }, true},
    {"StallsEveryWrite", [](Port &port, DWORD) { port.writeDefault = SendNothing(); }, false},
    {"StallsWritesAndDribblesTheReply",
     [](Port &port, DWORD dwOpen) {
         port.writeDefault = SendNothing();
         // The drains take 550 ms each, the stalled writes 1070 and 1030 ms.
         ArriveAt(port, dwOpen + 550 + 1070 + 550 + 1030 + 499, std::string(20, 'r'), 499);
     },
     true},
    {"LongestDrainsStalledWritesSilentReply",
     [](Port &port, DWORD dwOpen) {
         port.writeDefault = SendNothing();
         KeepDrainBusy(port, dwOpen);                      // the first drain ends at 1548 ms
         KeepDrainBusy(port, dwOpen + 1548 + 1070);        // the second at 1548 ms of its own
     },
     false},
    {"LongestDrainsStalledWritesDribbledReply",
     [](Port &port, DWORD dwOpen) {
         port.writeDefault = SendNothing();
         KeepDrainBusy(port, dwOpen);
         KeepDrainBusy(port, dwOpen + 1548 + 1070);
         ArriveAt(port, dwOpen + 2 * (1548 + 1070) - 40 + 499, std::string(20, 'r'), 499);
     },
     true},
};

class HostileScanTest : public ScanTest, public ::testing::WithParamInterface<HostileDevice> {};

TEST_P(HostileScanTest, OneOpenedPortEndsWithinItsCeilingAndIsClosed)
{
    Port &port = AddPort("COM1");
    GetParam().script(port, 0);
    DWORD dwError = 0;
    EXPECT_EQ(ProbeCommPort(1, &dwError), GetParam().bAnswers ? 1 : 0);
    EXPECT_LE(fake::Now(), kProbeCeilingMs);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u);
}

INSTANTIATE_TEST_SUITE_P(Devices, HostileScanTest, ::testing::ValuesIn(kHostileDevices),
                         [](const ::testing::TestParamInfo<HostileDevice> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(ScanTest, WorstPlacedDeviceComesWithinMillisecondsOfTheCeiling)
{
    Port &port = AddPort("COM1");
    kHostileDevices[6].script(port, 0);
    DWORD dwError = 0;
    ASSERT_EQ(ProbeCommPort(1, &dwError), 1);
    EXPECT_GE(fake::Now(), kProbeCeilingMs - 10);
    EXPECT_LE(fake::Now(), kProbeCeilingMs);
}

// Four silent ports, each as slow as a port can be: the scan ends within 4 x 12100 ms.
TEST_F(ScanTest, FourOfTheSlowestSilentPortsEndWithinTheScanCeiling)
{
    DWORD dwOpen = 0;
    for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"}) {
        Port &port = AddPort(szPort);
        kHostileDevices[5].script(port, dwOpen);
        dwOpen += 2 * (1548 + 1070) - 40 + 6900; // where the next probe will begin
    }
    int nPort = 77;
    EXPECT_EQ(TVRScanForModem(&nPort), 0);
    EXPECT_EQ(nPort, 0);
    EXPECT_LE(fake::Now(), 4 * kProbeCeilingMs);
    EXPECT_GE(fake::Now(), 4 * kProbeCeilingMs - 40);
    EXPECT_EQ(fake::CountCalls("CloseHandle"), 4u);
}

} // namespace
