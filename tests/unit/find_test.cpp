// TVRFindModem on scripted ports: the scan's answer in both modes, one thread per port,
// every thread joined and every port closed on every path, Cancel included.
#include <gtest/gtest.h>

#include <string.h>

#include <algorithm>

#include <string>
#include <vector>

#include "fake_findwindow.h"
#include "fake_fixture.h"
#include "fake_serial.h"
#include "fake_sync.h"
#include "frame/telvarid.h"
#include "serial/CommProbe.h"

using namespace fake::serial;

namespace {

HWND const kOwner = reinterpret_cast<HWND>(static_cast<uintptr_t>(0x4242));
const DWORD kSilentPortMs = 550 + 550 + 6900;

class FindTest : public FakePlatformTest {
protected:
    // Every thread the call started ended before it returned, was waited for and had
    // its handle closed; no port is left open.
    static void ExpectNothingLeftBehind(const char *szWhy)
    {
        for (const fake::sync::ThreadRecord &t : fake::sync::Threads()) {
            EXPECT_TRUE(t.bWaited) << szWhy << ": a thread never waited for";
            EXPECT_TRUE(t.bClosed) << szWhy << ": a thread handle left open";
            EXPECT_LE(t.dwEnd, fake::Now()) << szWhy << ": the call returned before a thread ended";
        }
        for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"}) {
            if (HasPort(szPort)) {
                EXPECT_EQ(GetPort(szPort).hOpen, nullptr) << szWhy << ": " << szPort << " left open";
            }
        }
        EXPECT_FALSE(fake::findwindow::IsOpen()) << szWhy;
    }
};

// --- The same answer as the scan --------------------------------------------------------

struct MachineCase {
    const char *szName;
    void (*setUp)();
    int nPort; // what the scan answers: 0 for none
};

void PrintTo(const MachineCase &c, std::ostream *os) { *os << c.szName; }

const MachineCase kMachines[] = {
    {"NoPortsAtAll", [] {}, 0},
    {"ModemOnCom3", [] { AddModem(AddPort("COM3")); }, 3},
    {"ModemsOnCom2AndCom4", [] { AddModem(AddPort("COM2")); AddModem(AddPort("COM4")); }, 2},
    {"BareOkOnCom1ModemOnCom2",
     [] {
         AddReply(AddPort("COM1"), "AT\r", "OK", 20, 4);
         AddModem(AddPort("COM2"));
     },
     2},
    {"HeldCom1ModemOnCom2", [] { HoldPort("COM1"); AddModem(AddPort("COM2")); }, 2},
    {"SilentCom1ModemOnCom4", [] { AddPort("COM1"); AddModem(AddPort("COM4")); }, 4},
    {"ChatteringCom1", [] { Chatter(AddPort("COM1"), 5); AddModem(AddPort("COM2")); }, 1},
    {"FourSilentPorts", [] { for (const char *p : {"COM1", "COM2", "COM3", "COM4"}) AddPort(p); }, 0},
    {"EchoOnCom1", [] { AddReply(AddPort("COM1"), "AT\r", "AT\r", 20, 4); }, 1},
    {"ZeroByteReplyOnCom1ModemOnCom3",
     [] {
         AddReply(AddPort("COM1"), "AT\r", std::string("\0\r\nOK\r\n", 7), 20, 4);
         AddModem(AddPort("COM3"));
     },
     3},
};

class FindAnswerTest : public FindTest, public ::testing::WithParamInterface<MachineCase> {};

TEST_P(FindAnswerTest, GivesTheScansAnswerInBothModesWithAndWithoutAWindow)
{
    const MachineCase &c = GetParam();
    fake::Reset();
    c.setUp();
    int nScanPort = 77;
    EXPECT_EQ(TVRScanForModem(&nScanPort), c.nPort ? 1 : 0);
    EXPECT_EQ(nScanPort, c.nPort);
    for (DWORD dwFlags : {0u, (DWORD)TVR_FIND_IN_TURN}) {
        for (HWND hwndOwner : {(HWND)NULL, kOwner}) {
            fake::Reset();
            c.setUp();
            int nPort = 77;
            const std::string strWhy = std::string(dwFlags ? "in turn" : "at once") + (hwndOwner ? ", window" : "");
            EXPECT_EQ(TVRFindModem(hwndOwner, NULL, &nPort, dwFlags), c.nPort ? 1 : 0) << strWhy;
            EXPECT_EQ(nPort, c.nPort) << strWhy;
            ExpectNothingLeftBehind(strWhy.c_str());
            EXPECT_EQ(fake::findwindow::Events().empty(), hwndOwner == NULL) << strWhy;
            // A port probed concurrently is a port probed as the scan probes it.
            for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"}) {
                if (!HasPort(szPort) || GetPort(szPort).nOpens == 0)
                    continue;
                EXPECT_EQ(GetPort(szPort).nOpens, 1) << strWhy << " " << szPort;
            }
        }
    }
}

INSTANTIATE_TEST_SUITE_P(Machines, FindAnswerTest, ::testing::ValuesIn(kMachines),
                         [](const ::testing::TestParamInfo<MachineCase> &info) {
                             return std::string(info.param.szName);
                         });

// --- At once and in turn ------------------------------------------------------------------

TEST_F(FindTest, AtOnceProbesTheFourPortsTogetherInOneSilentPortsTime)
{
    for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"})
        AddPort(szPort);
    int nPort = 77;
    EXPECT_EQ(TVRFindModem(NULL, NULL, &nPort, 0), 0);
    EXPECT_EQ(nPort, 0);
    EXPECT_EQ(fake::sync::Threads().size(), 4u);
    EXPECT_EQ(fake::sync::MostThreadsAtOnce(), 4u);
    // One silent port's time, to within a poll slice per wait, where the scan takes four.
    EXPECT_GE(fake::Now(), kSilentPortMs - 3 * TVR_PROBE_POLL_MS);
    EXPECT_LE(fake::Now(), kSilentPortMs + 3 * TVR_PROBE_POLL_MS);
    ExpectNothingLeftBehind("four silent ports");
}

TEST_F(FindTest, InTurnOpensNoPortAfterTheAnsweringOne)
{
    AddPort("COM1");
    AddModem(AddPort("COM3"));
    AddModem(AddPort("COM4"));
    int nPort = 0;
    EXPECT_EQ(TVRFindModem(NULL, NULL, &nPort, TVR_FIND_IN_TURN), 1);
    EXPECT_EQ(nPort, 3);
    EXPECT_EQ(GetPort("COM4").nOpens, 0);
    EXPECT_EQ(GetPort("COM1").nOpens, 1);
    EXPECT_EQ(fake::sync::MostThreadsAtOnce(), 1u);
    ExpectNothingLeftBehind("in turn");
}

TEST_F(FindTest, AtOnceOpensEveryPortAndStillAnswersTheLowest)
{
    AddPort("COM1");
    AddModem(AddPort("COM3"));
    AddModem(AddPort("COM4"));
    int nPort = 0;
    EXPECT_EQ(TVRFindModem(NULL, NULL, &nPort, 0), 1);
    EXPECT_EQ(nPort, 3);
    EXPECT_EQ(GetPort("COM4").nOpens, 1);
    ExpectNothingLeftBehind("at once");
}

TEST_F(FindTest, NullPortNumberStillGivesTheAnswer)
{
    AddModem(AddPort("COM2"));
    EXPECT_EQ(TVRFindModem(NULL, NULL, NULL, 0), 1);
    ExpectNothingLeftBehind("no integer");
}

// --- Cancel -------------------------------------------------------------------------------

TEST_F(FindTest, CancelEndsEveryProbeClosesEveryPortAndReturnsMinusOneWithin500Ms)
{
    for (DWORD dwFlags : {0u, (DWORD)TVR_FIND_IN_TURN}) {
        for (DWORD dwCancelAt : {1u, 1000u, 3000u, 7000u}) {
            fake::Reset();
            for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"})
                AddPort(szPort);
            // The user's Cancel, and the stop event the find sets on it (its first event)
            // a moment later, as the probes' threads will see it.
            fake::findwindow::CancelAt(dwCancelAt);
            fake::sync::SetNextEventAt(dwCancelAt + 1);
            int nPort = 77;
            const std::string strWhy = std::to_string(dwCancelAt) + (dwFlags ? " in turn" : " at once");
            EXPECT_EQ(TVRFindModem(kOwner, NULL, &nPort, dwFlags), -1) << strWhy;
            EXPECT_EQ(nPort, 0) << strWhy;
            EXPECT_LE(fake::Now(), dwCancelAt + 500) << strWhy;
            EXPECT_GE(fake::Now(), dwCancelAt) << strWhy;
            ExpectNothingLeftBehind(strWhy.c_str());
            const std::vector<std::string> &events = fake::findwindow::Events();
            ASSERT_GE(events.size(), 3u);
            EXPECT_EQ(events.front(), "open");
            EXPECT_EQ(events.back(), "close");
            EXPECT_NE(std::find(events.begin(), events.end(), "cancel"), events.end()) << strWhy;
            // In turn, no port after the one probing at the Cancel was opened.
            if (dwFlags && dwCancelAt < kSilentPortMs) {
                EXPECT_EQ(GetPort("COM2").nOpens, 0) << strWhy;
            }
        }
    }
}

TEST_F(FindTest, CancelAfterTheAnswerIsKnownCannotHappen)
{
    AddModem(AddPort("COM1"));
    fake::findwindow::CancelAt(5000);
    int nPort = 0;
    EXPECT_EQ(TVRFindModem(kOwner, NULL, &nPort, 0), 1);
    EXPECT_EQ(nPort, 1);
    ExpectNothingLeftBehind("answer before the cancel");
}

// --- What cannot be made ------------------------------------------------------------------

TEST_F(FindTest, NoThreadForAPortEndsTheSearchWithMinusOneAndJoinsTheOthers)
{
    for (int nth : {1, 3}) {
        fake::Reset();
        for (const char *szPort : {"COM1", "COM2", "COM3", "COM4"})
            AddPort(szPort);
        fake::FailCall("CreateThread", ERROR_NOT_ENOUGH_MEMORY, nth);
        int nPort = 77;
        EXPECT_EQ(TVRFindModem(NULL, NULL, &nPort, 0), -1) << nth;
        EXPECT_EQ(nPort, 0) << nth;
        EXPECT_EQ(fake::sync::Threads().size(), (size_t)(nth - 1)) << nth;
        ExpectNothingLeftBehind("no thread");
    }
}

TEST_F(FindTest, NoStopEventMeansNoSearch)
{
    AddModem(AddPort("COM1"));
    fake::FailCall("CreateEventA", ERROR_NOT_ENOUGH_MEMORY, 1);
    int nPort = 77;
    EXPECT_EQ(TVRFindModem(kOwner, NULL, &nPort, 0), -1);
    EXPECT_EQ(nPort, 0);
    EXPECT_EQ(GetPort("COM1").nOpens, 0);
    EXPECT_TRUE(fake::findwindow::Events().empty());
}

TEST_F(FindTest, NoWindowMeansASearchWithoutOne)
{
    AddModem(AddPort("COM2"));
    fake::findwindow::FailOpen();
    int nPort = 0;
    EXPECT_EQ(TVRFindModem(kOwner, NULL, &nPort, 0), 1);
    EXPECT_EQ(nPort, 2);
    EXPECT_TRUE(fake::findwindow::Events().empty());
    ExpectNothingLeftBehind("no window");
}

TEST_F(FindTest, WindowShowsEachPortAsItStartsAndEnds)
{
    HoldPort("COM1");
    AddPort("COM2");
    AddModem(AddPort("COM3"));
    int nPort = 0;
    EXPECT_EQ(TVRFindModem(kOwner, NULL, &nPort, TVR_FIND_IN_TURN), 1);
    EXPECT_EQ(fake::findwindow::Events(),
              (std::vector<std::string>{"open", "port COM1 probing", "port COM1 silent", "port COM2 probing",
                                        "port COM2 silent", "port COM3 probing", "port COM3 answered", "close"}));
}

} // namespace
