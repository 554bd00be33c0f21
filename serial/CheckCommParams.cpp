// The port parameter check: can the caller's port be opened and set to the caller's
// speed with 8N1, and (if asked) does the device answer a command within 3000 ms?
//
//   TVRCheckCommParams   no port name, or a command that cannot be sent (null, too
//                        long): 0, nothing opened
//                        CreateFileA (exclusive) -- held elsewhere: 1, port untouched
//                        SetCommTimeouts -- failed: 0 when a command is to be sent
//                        GetCommState, SetupComm (ignored), SetCommState (speed, 8N1)
//                        -> 1, or SendCommandAndWait
//     SendCommandAndWait "<command>\r" -> write loop (12 s budget) -> busy reply poll,
//                        3000 ms
//
// Every path that opened the port closes it. Nothing is purged and the settings are not
// restored. The thread's last-error value is left as the platform calls leave it.
//
// Worst case, for any device, as long as the driver honours COMMTIMEOUTS and opens, sets
// up and closes a port promptly (the only calls that wait on the line are WriteFile,
// under its 5000 ms time-out, and ReadFile, which the time-outs make return at once):
//   port held or missing, command refused    no wait
//   command flag zero                        no wait: open, settings and close only
//   command flag non-zero                    20000 ms: the write phase ends within
//                                            17000 ms (no write starts after 12000 ms,
//                                            each ends within 5000 ms), then the poll's
//                                            3000 ms
// A sound device costs its one write and at most the 3000 ms window.
#include <windows.h>
#include <string.h>

#include "frame/Owned.h"
#include "frame/telvarid.h"
#include "serial/CommParams.h"
#include "serial/CommandText.h"
#include "serial/LineFormat.h"

static const DWORD kQueueSize = 2000;         // in and out: room for any command and answer
static const DWORD kWriteTimeoutMs = 5000;    // one WriteFile gives up after this, whatever its length
static const DWORD kReplyWindowMs = 3000;     // how long a device may take to answer
static const DWORD kReplyReadBytes = 3;       // any byte will do; a few per read suffice
static const size_t kLineSize = 256;          // command, carriage return and zero
// Consecutive write attempts that send nothing (a write that timed out with 0 bytes,
// or a full transmit queue with 0 bytes taken) before the write is given up as after
// any other write failure. A write that timed out has waited its 5000 ms, so three of
// them give a flow-control stall 15 s to clear. A full-queue failure may come back at
// once, and the attempts then follow one another without a pause: they catch only a
// queue that has room again by the next call, and otherwise end the write at once.
static const int kMaxIdleWrites = 3;
// No WriteFile starts once this much of the write phase has passed, whatever the device
// does: one that takes a byte per write time-out would otherwise hold a 255-byte line
// for 255 x 5000 ms. Three writes that each run their full time-out start at 0, 5 and
// 10 s, inside the budget, so a stalled line still gets its three attempts; a write
// that starts inside it ends within 5000 ms, so the write phase ends within 17000 ms.
// A sound device sends the whole line in time at 170 bit/s or faster (ten bits a byte).
static const DWORD kWriteBudgetMs = 12000;
static_assert(kWriteBudgetMs + kWriteTimeoutMs + kReplyWindowMs == 20000,
              "the worst case written down above and in the README follows from these times");

// Whether a command text fits the line: not null and at most TVR_MAX_COMMAND_CHARS
// characters, measured without reading past that limit.
static bool FitsCommandLine(LPCSTR lpszCommand)
{
    LONG lLength = BoundedTextLength(lpszCommand, TVR_MAX_COMMAND_CHARS);
    return lLength >= 0 && lLength <= TVR_MAX_COMMAND_CHARS;
}

// Writes the line; returns when it is all sent, on a write failure other than a full
// transmit queue, after kMaxIdleWrites attempts in a row that sent nothing, or when the
// write budget has run out.
static void WriteCommandLine(HANDLE hPort, const char *lpLine, DWORD cbLine)
{
    // A line is at most 255 bytes, so a 16-bit count holds it.
    WORD wToSend = (WORD)cbLine;
    const char *lpWrite = lpLine;
    int nIdle = 0;
    // Unsigned 32-bit difference: the budget holds across the tick count's wrap.
    DWORD dwStart = GetTickCount();
    while (wToSend > 0) {
        if (GetTickCount() - dwStart >= kWriteBudgetMs)
            return;
        DWORD dwWritten = 0;
        if (!WriteFile(hPort, lpWrite, wToSend, &dwWritten, NULL)) {
            DWORD dwErrors = 0;
            COMSTAT comstat;
            // Only a full transmit queue, and nothing else wrong, is worth going on for.
            // An error word that could not be read is not known to say that.
            if (!ClearCommError(hPort, &dwErrors, &comstat) || dwErrors != CE_TXFULL)
                return;
        }
        // Never trust a count beyond what was asked: the position stays in the line.
        if (dwWritten > wToSend)
            dwWritten = wToSend;
        wToSend = (WORD)(wToSend - dwWritten);
        lpWrite += dwWritten;
        if (dwWritten != 0)
            nIdle = 0;
        else if (++nIdle >= kMaxIdleWrites)
            return;
    }
}

int SendCommandAndWait(HANDLE hPort, LPCSTR lpszCommand)
{
    // The line buffer is safe on its own, whoever calls: a text that would not fit it,
    // or no text at all, is refused before anything is formatted or sent.
    if (!FitsCommandLine(lpszCommand))
        return 0;

    char achLine[kLineSize];
    int cchLine = wsprintfA(achLine, "%s\r", lpszCommand);
    if (cchLine > 0)
        WriteCommandLine(hPort, achLine, (DWORD)cchLine);

    // Busy poll: the read returns at once by the time-outs; the window is measured in
    // unsigned 32-bit ticks, so it lasts 3000 ms also when the tick count wraps.
    DWORD dwStart = GetTickCount();
    for (;;) {
        if (GetTickCount() - dwStart >= kReplyWindowMs)
            return 0;
        DWORD dwRead = 0;
        if (!ReadFile(hPort, achLine, kReplyReadBytes, &dwRead, NULL)) {
            DWORD dwErrors = 0;
            COMSTAT comstat;
            ClearCommError(hPort, &dwErrors, &comstat);
            return 0;
        }
        if (dwRead > 0)
            return 1;
    }
}

extern "C" int __cdecl TVRCheckCommParams(LPCSTR lpszPortName, DWORD dwBaudRate, BOOL bSendCommand,
                                          LPCSTR lpszCommand)
{
    // A command that does not fit the line is refused rather than cut: a cut command
    // would reach the device as a different command. A null command with the flag set
    // is refused the same way, as it would otherwise be read through. Checked before
    // the port is touched, so a refused call changes nothing (not even the control
    // lines an open raises), and so the answer to a command that can never be sent is
    // the same 0 whether or not another program holds the port at that moment.
    if (bSendCommand && !FitsCommandLine(lpszCommand))
        return 0;
    // No port name names no port: 0, as for a name that names no device. It is never
    // handed to CreateFileA, which would read through it.
    if (lpszPortName == NULL)
        return 0;

    OwnedFile port(CreateFileA(lpszPortName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING,
                               FILE_ATTRIBUTE_NORMAL, NULL));
    if (!port.IsValid())
        // Held by another program: the port exists, which is what the caller asks.
        return GetLastError() == ERROR_ACCESS_DENIED ? 1 : 0;

    // Reads return at once with what has arrived; a write ends after 5000 ms.
    COMMTIMEOUTS timeouts;
    timeouts.ReadIntervalTimeout = MAXDWORD;
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = 0;
    timeouts.WriteTotalTimeoutMultiplier = 0;
    timeouts.WriteTotalTimeoutConstant = kWriteTimeoutMs;
    // A port that refused them keeps the time-outs it had, perhaps none at all, under
    // which the poll's read would wait for bytes that may never come, and a write for
    // a line held under flow control. Configuring alone waits on nothing, so only a
    // command is refused.
    if (!SetCommTimeouts(port.Get(), &timeouts) && bSendCommand)
        return 0;

    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    if (!GetCommState(port.Get(), &dcb))
        return 0;
    SetupComm(port.Get(), kQueueSize, kQueueSize);
    SetLineFormat(&dcb, dwBaudRate);
    if (!SetCommState(port.Get(), &dcb))
        return 0;

    if (!bSendCommand)
        return 1;
    return SendCommandAndWait(port.Get(), lpszCommand);
}
