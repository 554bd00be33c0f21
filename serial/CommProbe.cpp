// The one probe of a serial port, shared by the scan, the find and tvrprobe's report.
//
//   ProbeNamedPort           open the port exclusively -> dialogue -> close -> judge
//     RunProbeDialogue       GetCommState, SetCommState (2400 8N1), SetCommTimeouts,
//                            SetupComm, drain, "ATE0V1\r", drain, "AT\r", one read
//       DrainInput           PurgeComm (receive side), then 1-byte reads until one comes
//                            back empty; at most 1000 ms plus one last wait (< 550 ms)
//       ReadUnderTimeouts    without a stop event: one ReadFile under the time-outs;
//                            with one: ClearCommError, ReadFile of what is queued, and
//                            a wait on the event, until the same time-outs run out
//
// Any failed step ends the dialogue; the port is still closed and, as nothing was read,
// counts as silent. Nothing is kept between calls.
//
// Worst case, for any device, as long as the driver honours COMMTIMEOUTS and opens, sets
// up and closes a port promptly (every call below that waits on the line is a ReadFile
// or WriteFile under the time-outs set here):
//   a port that does not open      no wait at all
//   one opened port                12100 ms: two drains of at most 1550 ms, the writes of
//                                  "ATE0V1\r" (10 x 7 + 1000 = 1070 ms) and "AT\r"
//                                  (10 x 3 + 1000 = 1030 ms), the reply read (6900 ms)
// A sound device costs far less: a modem about 1.6 s, a silent opened port 8 s. A
// stop-aware probe keeps the same time-outs to within one poll slice (20 ms) per read.
#include <windows.h>
#include <string.h>

#include "frame/Owned.h"
#include "serial/CommProbe.h"
#include "serial/LineFormat.h"
#include "serial/ModemScan.h"
#include "serial/ReplyJudgment.h"

static const DWORD kScanBaudRate = 2400;       // every Hayes modem autobauds at 2400 bit/s
static const DWORD kQueueSize = 80;            // in and out: a command and its answer fit
// The drain discards input only. The transmit side is left alone: the writes are
// synchronous, so no write of ours is pending to abort, a freshly opened port has no old
// output to clear, and the only bytes that can still wait there are the command just
// written, which a driver or adapter that completes writes early (Wine's tty queue, USB
// adapters) would otherwise throw away before the device has seen them.
static const DWORD kPurgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
static const char kCarriageReturn = 13;        // ends a Hayes command line
static const char kEchoOffVerbose[] = "ATE0V1"; // no echo, verbose result codes
static const char kAttention[] = "AT";          // the command whose answer is judged

// Read time-outs: a 1-byte drain read gives up after 50 + 500 = 550 ms of silence; the
// reply read ends 500 ms after the last byte, or 50 * 128 + 500 = 6900 ms after it
// began when nothing comes.
static const DWORD kReadIntervalMs = 500;
static const DWORD kReadPerByteMs = 50;
static const DWORD kReadConstantMs = 500;
// Write time-outs: 10 ms per byte (4 ms at 2400 bit/s, with room) plus one second.
static const DWORD kWritePerByteMs = 10;
static const DWORD kWriteConstantMs = 1000;

// A drain stops after this long even if bytes keep coming less than 550 ms apart, as if
// the line had fallen silent. A modem's answer to "ATE0V1" with echo is about 13 bytes,
// some 55 ms at 2400 bit/s, so a second is ample for any real device. Against a device
// that chatters without end the drain ends at this limit, after at most one further
// wait for a byte, which the read time-outs cut off in under 550 ms.
static const DWORD kDrainLimitMs = 1000;

// The ceilings of the worst case above, from the time-outs: a drain reads on while less
// than kDrainLimitMs has passed, and its last read waits at most 50 x 1 + 500 ms. A
// command line is the command and its carriage return: as many bytes as the command's
// array holds with its terminating zero.
static const DWORD kDrainCeilingMs = kDrainLimitMs + kReadPerByteMs * 1 + kReadConstantMs;
static const DWORD kProbeCeilingMs = 2 * kDrainCeilingMs +
                                     (kWritePerByteMs * sizeof kEchoOffVerbose + kWriteConstantMs) +
                                     (kWritePerByteMs * sizeof kAttention + kWriteConstantMs) +
                                     (kReadPerByteMs * TVR_MODEM_REPLY_SIZE + kReadConstantMs);
static_assert(kDrainCeilingMs == 1550 && kProbeCeilingMs == 12100,
              "the worst case written down above and in the README follows from these time-outs");

// Text is formatted with wsprintfA rather than the C library's sprintf: for "%d", "%s"
// and "%c" they agree, and MinGW's C++ headers would swap in their own sprintf, which
// triples the size of the DLL.
static const size_t kPortNameSize = 16;        // "COM" and any 32-bit number fit
static const size_t kCommandSize = 16;         // the longest command, CR and zero fit

// A stop-aware wait looks at the stop event at least this often: a stop is seen within
// this long, and a reply's timing is kept to within it.
static const DWORD kPollMs = TVR_PROBE_POLL_MS;

// Whether the caller has asked the probe to stop. No call at all without a stop event,
// so that the scan makes exactly the calls it always made.
static bool StopAsked(HANDLE hStop)
{
    return hStop != NULL && WaitForSingleObject(hStop, 0) == WAIT_OBJECT_0;
}

// Reads up to cbWanted bytes under the time-outs the dialogue set: it ends when
// cbWanted bytes came, kReadIntervalMs after the last byte, or kReadPerByteMs x cbWanted
// + kReadConstantMs after it began. 0 or the error of the call that failed; *lpcbRead
// counts what was delivered, a failed call's bytes included.
//
// Without a stop event the port's driver keeps those time-outs in one blocking ReadFile.
// With one, nothing here blocks for longer than kPollMs: a ReadFile only ever asks for
// bytes that ClearCommError says are queued, which it returns at once, and the waits in
// between are waits on the stop event. A serial ReadFile cannot be relied on to end
// early otherwise: on Wine 8 neither CancelSynchronousIo (ERROR_NOT_FOUND) nor
// CancelIoEx, PurgeComm or SetCommMask cut short a pending one (measured: the 6.9 s
// reply read ran to its end).
static DWORD ReadUnderTimeouts(HANDLE hPort, HANDLE hStop, char *lpBuffer, DWORD cbWanted, DWORD *lpcbRead,
                               bool *lpbStopped)
{
    *lpcbRead = 0;
    if (hStop == NULL) {
        if (!ReadFile(hPort, lpBuffer, cbWanted, lpcbRead, NULL))
            return GetLastError();
        return 0;
    }
    const DWORD dwTotalMs = kReadPerByteMs * cbWanted + kReadConstantMs;
    // Unsigned 32-bit differences: correct across the tick count's wrap.
    const DWORD dwStart = GetTickCount();
    DWORD dwLastByte = dwStart;
    for (;;) {
        DWORD dwErrors = 0;
        COMSTAT stat;
        memset(&stat, 0, sizeof stat);
        if (!ClearCommError(hPort, &dwErrors, &stat))
            return GetLastError();
        if (stat.cbInQue > 0) {
            DWORD cbAsk = cbWanted - *lpcbRead;
            if (stat.cbInQue < cbAsk)
                cbAsk = stat.cbInQue;
            DWORD cbGot = 0;
            BOOL bRead = ReadFile(hPort, lpBuffer + *lpcbRead, cbAsk, &cbGot, NULL);
            // A driver that reports more than it was asked for is believed no further.
            *lpcbRead += cbGot < cbAsk ? cbGot : cbAsk;
            if (!bRead)
                return GetLastError();
            if (cbGot > 0)
                dwLastByte = GetTickCount();
            if (*lpcbRead == cbWanted)
                return 0;
        }
        DWORD dwNow = GetTickCount();
        if (dwNow - dwStart >= dwTotalMs)
            return 0;
        if (*lpcbRead > 0 && dwNow - dwLastByte >= kReadIntervalMs)
            return 0;
        if (WaitForSingleObject(hStop, kPollMs) == WAIT_OBJECT_0) {
            *lpbStopped = true;
            return 0;
        }
    }
}

static void DrainInput(HANDLE hPort, HANDLE hStop)
{
    PurgeComm(hPort, kPurgeInput);
    DWORD dwStart = GetTickCount();
    for (;;) {
        char chDiscard;
        DWORD dwRead = 0;
        bool bStopped = false;
        // A failed read delivers nothing and so ends the drain like silence does; a
        // stop delivers nothing too, and the dialogue sees the stop next.
        ReadUnderTimeouts(hPort, hStop, &chDiscard, 1, &dwRead, &bStopped);
        if (dwRead == 0)
            return;
        if (GetTickCount() - dwStart >= kDrainLimitMs)
            return;
    }
}

void DrainCommInput(HANDLE hPort)
{
    DrainInput(hPort, NULL);
}

// Sends one command line: the command and a carriage return. 0 or the write's error.
static DWORD SendModemCommand(HANDLE hPort, const char *lpszCommand)
{
    char achCommand[kCommandSize];
    int cchLine = wsprintfA(achCommand, "%s%c", lpszCommand, kCarriageReturn);
    DWORD dwWritten = 0;
    // A short write goes unnoticed here: the answer, or its absence, tells.
    if (!WriteFile(hPort, achCommand, (DWORD)cchLine, &dwWritten, NULL))
        return GetLastError();
    return 0;
}

// The dialogue on an open port. Sets *lpStep to the step that failed (or
// kProbeStepNone) and returns its error; *lpcbRead counts the reply's bytes, which
// lpReply holds, zero-filled behind them.
static DWORD RunProbeDialogue(HANDLE hPort, HANDLE hStop, char *lpReply, DWORD cbReply, CommProbeStep *lpStep,
                              DWORD *lpcbRead)
{
    memset(lpReply, 0, cbReply);
    *lpcbRead = 0;
    *lpStep = kProbeStepNone;

    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    if (!GetCommState(hPort, &dcb)) {
        *lpStep = kProbeStepGetState;
        return GetLastError();
    }
    SetLineFormat(&dcb, kScanBaudRate);
    if (!SetCommState(hPort, &dcb)) {
        *lpStep = kProbeStepSetState;
        return GetLastError();
    }

    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = kReadPerByteMs;
    timeouts.ReadTotalTimeoutConstant = kReadConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = kWritePerByteMs;
    timeouts.WriteTotalTimeoutConstant = kWriteConstantMs;
    if (!SetCommTimeouts(hPort, &timeouts)) {
        *lpStep = kProbeStepTimeouts;
        return GetLastError();
    }
    if (!SetupComm(hPort, kQueueSize, kQueueSize)) {
        *lpStep = kProbeStepQueues;
        return GetLastError();
    }

    DrainInput(hPort, hStop);
    if (StopAsked(hStop)) {
        *lpStep = kProbeStepStopped;
        return 0;
    }
    DWORD dwError = SendModemCommand(hPort, kEchoOffVerbose);
    if (dwError != 0) {
        *lpStep = kProbeStepFirstWrite;
        return dwError;
    }
    // Discards the answer to "ATE0V1": its echo, if the device still echoed, and its
    // result code. Only the answer to "AT" is judged.
    DrainInput(hPort, hStop);
    if (StopAsked(hStop)) {
        *lpStep = kProbeStepStopped;
        return 0;
    }
    dwError = SendModemCommand(hPort, kAttention);
    if (dwError != 0) {
        *lpStep = kProbeStepSecondWrite;
        return dwError;
    }

    // The buffer was zero-filled: the reply ends where the zeros begin.
    bool bStopped = false;
    dwError = ReadUnderTimeouts(hPort, hStop, lpReply, cbReply, lpcbRead, &bStopped);
    if (dwError != 0) {
        *lpStep = kProbeStepReplyRead;
        return dwError;
    }
    if (bStopped)
        *lpStep = kProbeStepStopped;
    return 0;
}

DWORD RunModemDialogue(HANDLE hPort, char *lpReply, LONG lReplySize)
{
    if (hPort == NULL || lpReply == NULL || lReplySize <= 0)
        return 0;
    CommProbeStep step;
    DWORD cbRead;
    return RunProbeDialogue(hPort, NULL, lpReply, (DWORD)lReplySize, &step, &cbRead);
}

void ProbeNamedPort(LPCSTR lpszOpenName, HANDLE hStop, CommProbe *lpProbe)
{
    memset(lpProbe, 0, sizeof *lpProbe);
    if (StopAsked(hStop)) {
        lpProbe->step = kProbeStepStopped;
        return;
    }
    OwnedFile port(CreateFileA(lpszOpenName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    if (!port.IsValid()) {
        // Missing, or held by another program: silent either way.
        lpProbe->step = kProbeStepOpen;
        lpProbe->dwError = GetLastError();
        return;
    }
    lpProbe->dwError = RunProbeDialogue(port.Get(), hStop, lpProbe->achReply, (DWORD)sizeof lpProbe->achReply,
                                        &lpProbe->step, &lpProbe->cbReply);
    port.Reset();
    // A driver that reports more bytes read than were asked for is believed no further.
    if (lpProbe->cbReply > sizeof lpProbe->achReply)
        lpProbe->cbReply = sizeof lpProbe->achReply;
    // A stopped probe's reply may have been cut short: it is no answer.
    if (lpProbe->step != kProbeStepStopped)
        lpProbe->nVerdict = IsModemReply(lpProbe->achReply, (LONG)sizeof lpProbe->achReply) ? 1 : 0;
}

void ProbeNumberedPort(LONG lPortNumber, HANDLE hStop, CommProbe *lpProbe)
{
    char achPortName[kPortNameSize];
    // The name is formatted before the range test; any 32-bit number fits the buffer.
    wsprintfA(achPortName, "COM%d", (int)lPortNumber);
    if (lPortNumber < TVR_FIRST_SCAN_PORT || lPortNumber > TVR_LAST_SCAN_PORT) {
        memset(lpProbe, 0, sizeof *lpProbe);
        return;
    }
    ProbeNamedPort(achPortName, hStop, lpProbe);
}

int ProbeCommPort(LONG lPortNumber, DWORD *lpdwError)
{
    CommProbe probe;
    ProbeNumberedPort(lPortNumber, NULL, &probe);
    *lpdwError = probe.dwError;
    return probe.nVerdict;
}
