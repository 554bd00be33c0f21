// TVRScanForModem and TVRCheckCommParams on the unit double, with devices scripted by
// the fuzzer's bytes: for each of COM1 to COM4 whether it is missing, held by another
// program or present, and on a present port what arrives and when (bytes at set
// moments, answers to what was written, chatter without end, a Hayes modem), how each
// write goes (whole, partly, failing with an error, sending nothing), the error words
// ClearCommError reports, reads that fail after delivering data, a transmit side that
// drains at the line's speed; and any platform call failing with a chosen error. The
// virtual clock starts anywhere, across its wrap included.
//
// Invariants: the call ends within its stated worst case on the virtual clock (the scan
// 48,400 ms; the check 20,000 ms with a command, no wait without one); every handle is
// closed; the scan's port number is 0 to 4 and agrees with its result; the check answers
// 0 or 1; nothing is read or written out of bounds (the sanitizers); and no read is ever
// made that could wait for ever (the double aborts on one).
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <string>

#include "fake_platform.h"
#include "fake_serial.h"
#include "frame/telvarid.h"
#include "fuzz_input.h"

namespace {

using fake::serial::Port;

const DWORD kScanCeilingMs = 48400;  // four opened ports, each at its worst
const DWORD kCheckCeilingMs = 20000; // write budget, one last write, the reply window

const DWORD kErrors[] = {ERROR_ACCESS_DENIED, ERROR_FILE_NOT_FOUND, ERROR_INVALID_PARAMETER, ERROR_IO_DEVICE,
                         ERROR_GEN_FAILURE, 995 /* ERROR_OPERATION_ABORTED */, ERROR_SEM_TIMEOUT};

DWORD Error(FuzzBytes &in) { return kErrors[in.U8() % (sizeof kErrors / sizeof kErrors[0])]; }

// Replies worth trying: a modem's, a bare "OK", NUL bytes, a long answer, an echo.
std::string Reply(FuzzBytes &in)
{
    switch (in.U8() % 6) {
    case 0:
        return "\r\nOK\r\n";
    case 1:
        return "OK";
    case 2:
        return std::string(1 + in.U8() % 8, '\0');
    case 3:
        return std::string(300, 'L');
    case 4:
        return "AT\r";
    default:
        return in.Text(40);
    }
}

fake::serial::WriteStep Write(FuzzBytes &in)
{
    switch (in.U8() % 5) {
    case 0:
        return fake::serial::AcceptAll();
    case 1:
        return fake::serial::AcceptSome(in.U8() % 4);
    case 2:
        // A failing write ends within any write time-out.
        return fake::serial::FailWrite(Error(in), in.U8() % 4, in.U16() % 1000);
    case 3:
        return fake::serial::SendNothing();
    default:
        return fake::serial::AcceptSome(in.U8());
    }
}

// bPaceable: the line will run at a speed at which bytes leave (not 0 bit/s).
void ScriptPort(FuzzBytes &in, Port &port, bool bPaceable)
{
    const uint8_t bKind = in.U8();
    if (bKind & 1)
        fake::serial::AddHayesModem(port);
    if (bKind & 2)
        fake::serial::AddModem(port);
    if ((bKind & 4) && bPaceable)
        fake::serial::PaceTransmit(port);
    if (bKind & 8)
        fake::serial::Chatter(port, 1 + in.U16() % 1200, static_cast<char>(in.U8()));
    for (int i = in.U8() % 3; i > 0; --i)
        fake::serial::ArriveAt(port, in.U16() * 4, Reply(in), in.U16() % 700);
    static const char *const kTriggers[] = {"AT\r", "ATE0V1\r", "\r", "A", ""};
    for (int i = in.U8() % 3; i > 0; --i)
        fake::serial::AddReply(port, kTriggers[in.U8() % 5], Reply(in), in.U16() % 8000, in.U16() % 700);
    for (int i = in.U8() % 4; i > 0; --i)
        port.writeSteps.push_back(Write(in));
    if (bKind & 16)
        port.writeDefault = Write(in);
    for (int i = in.U8() % 4; i > 0; --i) {
        static const DWORD kWords[] = {0, CE_TXFULL, CE_FRAME, CE_TXFULL | CE_FRAME, CE_RXOVER};
        port.commErrors.push_back(kWords[in.U8() % 5]);
    }
    if (bKind & 32)
        port.dwErrorsLeftOnFailure = CE_TXFULL;
    if (bKind & 64)
        fake::serial::FailReadAfterData(port, 1 + in.U8() % 8, Error(in));
}

// Platform calls that can fail, each at a chosen call or at every call. CloseHandle is
// not among them: a handle whose close fails is beyond what a caller can put right.
const char *const kFailable[] = {"CreateFileA", "GetCommState", "SetCommState", "SetCommTimeouts", "SetupComm",
                                 "PurgeComm", "ReadFile", "WriteFile", "ClearCommError"};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t cbData)
{
    fake::Reset();
    FuzzBytes in(pData, cbData);
    const uint8_t bMode = in.U8();
    // A busy poll reads only the clock: each reading moves it by 1 ms, as time passes.
    fake::SetTickStep(1);
    const DWORD dwStart = (bMode & 0x80) ? 0xFFFFFFFFu - in.U16() * 2 : in.U32();
    fake::SetNow(dwStart);
    // The check's line speed is chosen first: a port whose transmit side is paced needs
    // a speed at which bytes can leave.
    static const DWORD kBauds[] = {2400, 9600, 115200, 0, 12345, 0xFFFFFFFF};
    const DWORD dwBaud = kBauds[in.U8() % 6];
    const bool bPaceable = (bMode & 1) == 0 || dwBaud != 0;
    for (int n = 1; n <= 4; ++n) {
        const std::string strName = "COM" + std::to_string(n);
        switch (in.U8() % 4) {
        case 0:
            break; // missing
        case 1:
            fake::serial::HoldPort(strName);
            break;
        default:
            ScriptPort(in, fake::serial::AddPort(strName), bPaceable);
            break;
        }
    }
    for (int i = in.U8() % 3; i > 0; --i)
        fake::FailCall(kFailable[in.U8() % (sizeof kFailable / sizeof kFailable[0])], Error(in), in.U8() % 12);

    if ((bMode & 1) == 0) {
        int *pnPort = static_cast<int *>(malloc(sizeof(int)));
        *pnPort = 12345;
        const int nResult = TVRScanForModem(pnPort);
        Check(nResult == 0 || nResult == 1);
        Check(*pnPort >= 0 && *pnPort <= 4);
        Check((nResult == 1) == (*pnPort != 0));
        Check(fake::Now() - dwStart <= kScanCeilingMs);
        free(pnPort);
    } else {
        static const char *const kNames[] = {"COM1", "COM2", "COM3", "COM4", "COM5", "\\\\.\\COM1", ""};
        const uint8_t bName = in.U8();
        std::string strPort = bName < 200 ? kNames[bName % 7] : in.Text(20);
        static const BOOL kFlags[] = {0, 1, 2, -1, 0x7FFFFFFF};
        const BOOL bSend = kFlags[in.U8() % 5];
        // The command in a heap block of exactly its length and zero, or none at all.
        const uint8_t bCommand = in.U8();
        std::string strCommand = bCommand % 4 == 0 ? std::string(bCommand, 'A') : in.Text(300);
        strCommand.erase(std::find(strCommand.begin(), strCommand.end(), '\0'), strCommand.end());
        char *pszCommand = nullptr;
        if (bCommand != 255) {
            pszCommand = static_cast<char *>(malloc(strCommand.size() + 1));
            memcpy(pszCommand, strCommand.c_str(), strCommand.size() + 1);
        }
        char *pszPort = static_cast<char *>(malloc(strPort.size() + 1));
        memcpy(pszPort, strPort.c_str(), strPort.size() + 1);
        const int nResult = TVRCheckCommParams(pszPort, dwBaud, bSend, pszCommand);
        Check(nResult == 0 || nResult == 1);
        Check(fake::Now() - dwStart <= (bSend ? kCheckCeilingMs : 0));
        free(pszPort);
        free(pszCommand);
    }
    Check(fake::OpenHandleCount() == 0);
    Check(fake::LiveBlocks() == 0);
    return 0;
}
