// The serial modem scan: finds the first of COM1..COM4 on which a device answers "AT".
//
//   TVRScanForModem          for COM1, COM2, COM3, COM4, stop at the first answer
//     ProbeCommPort          open "COMn" exclusively -> dialogue -> close -> judge
//       RunModemDialogue     GetCommState, SetCommState (2400 8N1), SetCommTimeouts,
//                            SetupComm, drain, "ATE0V1\r", drain, "AT\r", one read
//         DrainCommInput     PurgeComm (receive side), then 1-byte reads until one comes
//                            back empty; at most 1000 ms plus one last wait (< 550 ms)
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
//   the scan, four opened ports    48400 ms
// A sound device costs far less: a modem about 1.6 s, a silent opened port 8 s.
#include <windows.h>
#include <string.h>

#include "frame/Owned.h"
#include "frame/telvarid.h"
#include "serial/LineFormat.h"
#include "serial/ModemScan.h"
#include "serial/ReplyJudgment.h"

static const LONG kFirstPort = 1;              // COM1..COM4: the ports a PC's BIOS names
static const LONG kLastPort = 4;               // the scan tries no port above COM4
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

void DrainCommInput(HANDLE hPort)
{
    PurgeComm(hPort, kPurgeInput);
    // Unsigned 32-bit difference: correct across the tick count's wrap.
    DWORD dwStart = GetTickCount();
    for (;;) {
        char chDiscard;
        DWORD dwRead = 0;
        // A failed read delivers nothing and so ends the drain like silence does.
        ReadFile(hPort, &chDiscard, 1, &dwRead, NULL);
        if (dwRead == 0)
            return;
        if (GetTickCount() - dwStart >= kDrainLimitMs)
            return;
    }
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

DWORD RunModemDialogue(HANDLE hPort, char *lpReply, LONG lReplySize)
{
    if (hPort == NULL || lpReply == NULL || lReplySize <= 0)
        return 0;
    memset(lpReply, 0, (size_t)lReplySize);

    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    if (!GetCommState(hPort, &dcb))
        return GetLastError();
    SetLineFormat(&dcb, kScanBaudRate);
    if (!SetCommState(hPort, &dcb))
        return GetLastError();

    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = kReadIntervalMs;
    timeouts.ReadTotalTimeoutMultiplier = kReadPerByteMs;
    timeouts.ReadTotalTimeoutConstant = kReadConstantMs;
    timeouts.WriteTotalTimeoutMultiplier = kWritePerByteMs;
    timeouts.WriteTotalTimeoutConstant = kWriteConstantMs;
    if (!SetCommTimeouts(hPort, &timeouts))
        return GetLastError();
    if (!SetupComm(hPort, kQueueSize, kQueueSize))
        return GetLastError();

    DrainCommInput(hPort);
    DWORD dwError = SendModemCommand(hPort, kEchoOffVerbose);
    if (dwError != 0)
        return dwError;
    // Discards the answer to "ATE0V1": its echo, if the device still echoed, and its
    // result code. Only the answer to "AT" is judged.
    DrainCommInput(hPort);
    dwError = SendModemCommand(hPort, kAttention);
    if (dwError != 0)
        return dwError;

    // The buffer was zero-filled: the reply ends where the zeros begin.
    DWORD dwRead = 0;
    if (!ReadFile(hPort, lpReply, (DWORD)lReplySize, &dwRead, NULL))
        return GetLastError();
    return 0;
}

int ProbeCommPort(LONG lPortNumber, DWORD *lpdwError)
{
    char achReply[TVR_MODEM_REPLY_SIZE];
    char achPortName[kPortNameSize];
    *lpdwError = 0;
    memset(achReply, 0, sizeof achReply);
    // The name is formatted before the range test; any 32-bit number fits the buffer.
    wsprintfA(achPortName, "COM%d", (int)lPortNumber);
    if (lPortNumber < kFirstPort || lPortNumber > kLastPort)
        return 0;

    OwnedFile port(CreateFileA(achPortName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL));
    if (!port.IsValid()) {
        // Missing, or held by another program: silent either way.
        *lpdwError = GetLastError();
    } else {
        *lpdwError = RunModemDialogue(port.Get(), achReply, (LONG)sizeof achReply);
        port.Reset();
    }
    return IsModemReply(achReply, (LONG)sizeof achReply) ? 1 : 0;
}

extern "C" int __cdecl TVRScanForModem(int *lpPortNumber)
{
    // No integer (an installer that passes 0 for it): the scan runs all the same and its
    // answer is returned, with no port number written anywhere.
    if (lpPortNumber != NULL)
        *lpPortNumber = 0;
    for (LONG lPort = kFirstPort; lPort <= kLastPort; ++lPort) {
        DWORD dwError; // collected by the probe; the scan's answer does not depend on it
        if (ProbeCommPort(lPort, &dwError)) {
            if (lpPortNumber != NULL)
                *lpPortNumber = (int)lPort;
            return 1;
        }
    }
    return 0;
}
