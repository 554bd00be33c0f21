// The one probe that the scan, the find and the report share: what it records (the reply
// bytes, the step that failed and its error, the verdict), and its stop-aware form,
// which must say to the device what the scan says, judge as the scan judges, keep the
// scan's time-outs, and end within one poll slice of a stop.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "fake_fixture.h"
#include "fake_serial.h"
#include "fake_sync.h"
#include "serial/CommProbe.h"

using namespace fake::serial;

namespace {

class ProbeTest : public FakePlatformTest {
protected:
    void SetUp() override
    {
        FakePlatformTest::SetUp();
        m_hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
        ASSERT_NE(m_hStop, (HANDLE)NULL);
    }
    void TearDown() override
    {
        CloseHandle(m_hStop);
        FakePlatformTest::TearDown();
    }
    HANDLE m_hStop = NULL;
};

std::string ReplyOf(const CommProbe &probe) { return std::string(probe.achReply, probe.cbReply); }

// --- What a probe records --------------------------------------------------------------

TEST_F(ProbeTest, ModemGivesItsReplyBytesAndNoFailedStep)
{
    AddModem(AddPort("COM3"));
    CommProbe probe;
    memset(&probe, 0x5a, sizeof probe);
    ProbeNamedPort("COM3", NULL, &probe);
    EXPECT_EQ(probe.nVerdict, 1);
    EXPECT_EQ(probe.step, kProbeStepNone);
    EXPECT_EQ(probe.dwError, 0u);
    EXPECT_EQ(Escape(ReplyOf(probe)), "\\r\\nOK\\r\\n");
    for (size_t i = probe.cbReply; i < sizeof probe.achReply; ++i)
        ASSERT_EQ(probe.achReply[i], 0) << "byte " << i;
}

TEST_F(ProbeTest, OpensTheNameItIsGivenAsItIsGiven)
{
    AddModem(AddPort("\\\\.\\COM12"));
    CommProbe probe;
    ProbeNamedPort("\\\\.\\COM12", NULL, &probe);
    EXPECT_EQ(probe.nVerdict, 1);
    EXPECT_EQ(fake::CallsTo("CreateFileA")[0], "CreateFileA(\\\\.\\COM12, 0xc0000000, 0, NULL, 3, 0x0, NULL)");
}

struct StepCase {
    const char *szName;
    const char *szCall; // the call that fails (empty: the open, by the port's script)
    int nth;
    DWORD dwError;
    CommProbeStep step;
};

void PrintTo(const StepCase &c, std::ostream *os) { *os << c.szName; }

class ProbeStepTest : public ProbeTest, public ::testing::WithParamInterface<StepCase> {};

TEST_P(ProbeStepTest, RecordsTheStepThatFailedWithItsError)
{
    const StepCase &c = GetParam();
    for (HANDLE hStop : {(HANDLE)NULL, m_hStop}) {
        fake::Reset();
        if (hStop != NULL)
            m_hStop = hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
        if (strcmp(c.szName, "Held") == 0)
            HoldPort("COM2");
        else if (strcmp(c.szName, "Missing") != 0)
            AddModem(AddPort("COM2"));
        if (c.szCall[0] != 0)
            fake::FailCall(c.szCall, c.dwError, c.nth);
        CommProbe probe;
        memset(&probe, 0x5a, sizeof probe);
        ProbeNamedPort("COM2", hStop, &probe);
        EXPECT_EQ(probe.step, c.step) << (hStop ? "stop-aware" : "blocking");
        EXPECT_EQ(probe.dwError, c.dwError) << (hStop ? "stop-aware" : "blocking");
        EXPECT_EQ(probe.nVerdict, 0) << (hStop ? "stop-aware" : "blocking");
        EXPECT_EQ(probe.cbReply, 0u) << (hStop ? "stop-aware" : "blocking");
        EXPECT_EQ(fake::CountCalls("CloseHandle"), c.step == kProbeStepOpen ? 0u : 1u);
    }
}

const StepCase kSteps[] = {
    {"Missing", "", 0, ERROR_FILE_NOT_FOUND, kProbeStepOpen},
    {"Held", "", 0, ERROR_ACCESS_DENIED, kProbeStepOpen},
    {"GetCommState", "GetCommState", 1, ERROR_GEN_FAILURE, kProbeStepGetState},
    {"SetCommState", "SetCommState", 1, ERROR_INVALID_PARAMETER, kProbeStepSetState},
    {"SetCommTimeouts", "SetCommTimeouts", 1, ERROR_INVALID_HANDLE, kProbeStepTimeouts},
    {"SetupComm", "SetupComm", 1, ERROR_NOT_ENOUGH_MEMORY, kProbeStepQueues},
    {"FirstWrite", "WriteFile", 1, ERROR_SEM_TIMEOUT, kProbeStepFirstWrite},
    {"SecondWrite", "WriteFile", 2, ERROR_IO_DEVICE, kProbeStepSecondWrite},
};

INSTANTIATE_TEST_SUITE_P(Steps, ProbeStepTest, ::testing::ValuesIn(kSteps),
                         [](const ::testing::TestParamInfo<StepCase> &info) {
                             return std::string(info.param.szName);
                         });

TEST_F(ProbeTest, FailedReplyReadKeepsWhatItDeliveredAndIsJudgedOnIt)
{
    Port &port = AddPort("COM1");
    AddModem(port);
    // The reads: 1 empty drain read, 13 + 1 for the answer to ATE0V1, then the reply.
    FailReadAfterData(port, 16, ERROR_IO_DEVICE);
    CommProbe probe;
    ProbeNamedPort("COM1", NULL, &probe);
    EXPECT_EQ(probe.step, kProbeStepReplyRead);
    EXPECT_EQ(probe.dwError, (DWORD)ERROR_IO_DEVICE);
    EXPECT_EQ(Escape(ReplyOf(probe)), "\\r\\nOK\\r\\n");
    EXPECT_EQ(probe.nVerdict, 1);
}

// --- The stop-aware form says and judges what the scan does ----------------------------

struct DeviceCase {
    const char *szName;
    void (*script)(Port &port);
    int nVerdict;
    const char *szReply; // escaped
    DWORD dwMs;          // how long the blocking probe takes
};

void PrintTo(const DeviceCase &c, std::ostream *os) { *os << c.szName; }

const DeviceCase kDevices[] = {
    {"Modem", [](Port &p) { AddModem(p); }, 1, "\\r\\nOK\\r\\n", 0},
    {"HayesModemWithEcho", [](Port &p) { AddHayesModem(p); }, 1, "\\r\\nOK\\r\\n", 0},
    {"Silent", [](Port &) {}, 0, "", 550 + 550 + 6900},
    {"BareOk", [](Port &p) { AddReply(p, "AT\r", "OK", 20, 4); }, 0, "OK", 0},
    {"Error", [](Port &p) { AddReply(p, "AT\r", "\r\nERROR\r\n", 20, 4); }, 1, "\\r\\nERROR\\r\\n", 0},
    {"GapLongerThanTheInterval", [](Port &p) { AddReply(p, "AT\r", "\r\nOK\r\n", 20, 600); }, 1, "\\r", 0},
    {"Chatter", [](Port &p) { Chatter(p, 100); }, 1, "", 1000 + 1000 + 6900},
    {"LongerThanTheBuffer", [](Port &p) { AddReply(p, "AT\r", std::string(300, 'z'), 20, 1); }, 1, "", 0},
};

class ProbeFormsTest : public ProbeTest, public ::testing::WithParamInterface<DeviceCase> {};

TEST_P(ProbeFormsTest, StopAwareProbeMatchesTheBlockingOne)
{
    const DeviceCase &c = GetParam();
    fake::Reset();
    Port &blocking = AddPort("COM1");
    c.script(blocking);
    CommProbe probeBlocking;
    ProbeNamedPort("COM1", NULL, &probeBlocking);
    const DWORD dwBlockingMs = fake::Now();
    const Port recorded = GetPort("COM1");

    fake::Reset();
    m_hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
    Port &aware = AddPort("COM1");
    c.script(aware);
    CommProbe probeAware;
    ProbeNamedPort("COM1", m_hStop, &probeAware);
    const DWORD dwAwareMs = fake::Now();
    const Port &seen = GetPort("COM1");

    EXPECT_EQ(probeBlocking.nVerdict, c.nVerdict);
    EXPECT_EQ(probeAware.nVerdict, c.nVerdict);
    EXPECT_EQ(probeAware.step, kProbeStepNone);
    if (c.szReply[0] != 0) {
        EXPECT_EQ(Escape(ReplyOf(probeBlocking)), c.szReply);
    }
    EXPECT_EQ(Escape(ReplyOf(probeAware)), Escape(ReplyOf(probeBlocking)));
    EXPECT_EQ(Escape(seen.strDeviceReceived), Escape(recorded.strDeviceReceived));
    EXPECT_EQ(seen.writes, (std::vector<std::string>{"ATE0V1\r", "AT\r"}));
    EXPECT_EQ(seen.purges, (std::vector<DWORD>{0x0A, 0x0A}));
    ASSERT_EQ(seen.setTimeouts.size(), 1u);
    EXPECT_EQ(memcmp(&seen.setTimeouts[0], &recorded.setTimeouts[0], sizeof(COMMTIMEOUTS)), 0);
    ASSERT_EQ(seen.setStates.size(), 1u);
    EXPECT_EQ(memcmp(&seen.setStates[0], &recorded.setStates[0], sizeof(DCB)), 0);
    // The same time, to within one poll slice for each of the three waits.
    if (c.dwMs != 0) {
        EXPECT_EQ(dwBlockingMs, c.dwMs);
    }
    EXPECT_GE(dwAwareMs + 3 * TVR_PROBE_POLL_MS, dwBlockingMs);
    EXPECT_LE(dwAwareMs, dwBlockingMs + 3 * TVR_PROBE_POLL_MS);
    // Its only wait is the stop event, and no read asked for more than had arrived.
    for (const std::string &w : fake::CallsTo("WaitForSingleObject"))
        EXPECT_TRUE(w == "WaitForSingleObject(event, 0)" || w == "WaitForSingleObject(event, 20)") << w;
}

INSTANTIATE_TEST_SUITE_P(Devices, ProbeFormsTest, ::testing::ValuesIn(kDevices),
                         [](const ::testing::TestParamInfo<DeviceCase> &info) {
                             return std::string(info.param.szName);
                         });

// --- A stop ends it within one slice, port closed ---------------------------------------

TEST_F(ProbeTest, StopBeforeTheOpenOpensNothing)
{
    AddModem(AddPort("COM1"));
    SetEvent(m_hStop);
    CommProbe probe;
    ProbeNamedPort("COM1", m_hStop, &probe);
    EXPECT_EQ(probe.step, kProbeStepStopped);
    EXPECT_EQ(probe.nVerdict, 0);
    EXPECT_EQ(GetPort("COM1").nOpens, 0);
}

TEST_F(ProbeTest, StopAtAnyMomentEndsTheProbeWithinOneSliceWithThePortClosed)
{
    // A silent port's probe: first drain 0-550, second drain 550-1100, reply read
    // 1100-8000. A chattering one keeps every read busy: its drains end at their limit,
    // its reply read once 128 bytes came, near 5.9 s.
    for (bool bChatter : {false, true}) {
        for (DWORD dwStopAt : {1u, 300u, 549u, 551u, 800u, 1100u, 1101u, 3000u, bChatter ? 5800u : 7999u}) {
            fake::Reset();
            m_hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
            Port &port = AddPort("COM4");
            if (bChatter)
                Chatter(port, 30);
            fake::sync::SetEventAt(m_hStop, dwStopAt);
            CommProbe probe;
            ProbeNamedPort("COM4", m_hStop, &probe);
            EXPECT_EQ(probe.step, kProbeStepStopped) << dwStopAt << (bChatter ? " chatter" : "");
            EXPECT_EQ(probe.nVerdict, 0) << dwStopAt;
            EXPECT_LE(fake::Now(), dwStopAt + TVR_PROBE_POLL_MS) << dwStopAt << (bChatter ? " chatter" : "");
            EXPECT_EQ(GetPort("COM4").hOpen, nullptr) << dwStopAt;
            EXPECT_EQ(fake::CountCalls("CloseHandle"), 1u) << dwStopAt;
            CloseHandle(m_hStop);
            EXPECT_EQ(fake::OpenHandleCount(), 0u);
        }
    }
    m_hStop = CreateEventA(NULL, TRUE, FALSE, NULL);
}

TEST_F(ProbeTest, NumberedProbeRefusesPortsOutsideOneToFourAndOpensNothing)
{
    for (LONG lPort : {0, 5, -1}) {
        AddModem(AddPort("COM" + std::to_string(lPort)));
        CommProbe probe;
        memset(&probe, 0x5a, sizeof probe);
        ProbeNumberedPort(lPort, m_hStop, &probe);
        EXPECT_EQ(probe.nVerdict, 0) << lPort;
        EXPECT_EQ(probe.step, kProbeStepNone) << lPort;
        EXPECT_EQ(probe.cbReply, 0u) << lPort;
        EXPECT_EQ(fake::CountCalls("CreateFileA"), 0u) << lPort;
    }
}

} // namespace
