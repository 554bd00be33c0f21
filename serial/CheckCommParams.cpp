// The port parameter check: can the caller's port be opened and set to the caller's
// speed with 8N1, and (if asked) does the device answer a command within 3000 ms?
//
//   TVRCheckCommParams   CreateFileA (exclusive) -- held elsewhere: 1, port untouched
//                        SetCommTimeouts (ignored), GetCommState, SetupComm (ignored),
//                        SetCommState (speed, 8N1) -> 1, or SendCommandAndWait
//     SendCommandAndWait "<command>\r" -> write loop -> busy reply poll, 3000 ms
//
// Every path that opened the port closes it. Nothing is purged and the settings are not
// restored. The thread's last-error value is left as the platform calls leave it.
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
// any other write failure. The bound is on attempts, not time: a full-queue failure may
// come back at once, and only when every attempt waits out its time-out does the stall
// reach 3 x 5000 ms. Three still ride out a queue that drains in the meantime.
static const int kMaxIdleWrites = 3;

// Whether a command text fits the line: not null and at most TVR_MAX_COMMAND_CHARS
// characters, measured without reading past that limit.
static bool FitsCommandLine(LPCSTR lpszCommand)
{
    LONG lLength = BoundedTextLength(lpszCommand, TVR_MAX_COMMAND_CHARS);
    return lLength >= 0 && lLength <= TVR_MAX_COMMAND_CHARS;
}

// Writes the line; returns when it is all sent, on a write failure other than a full
// transmit queue, or after kMaxIdleWrites attempts in a row that sent nothing.
static void WriteCommandLine(HANDLE hPort, const char *lpLine, DWORD cbLine)
{
    // A line is at most 255 bytes, so a 16-bit count holds it.
    WORD wToSend = (WORD)cbLine;
    const char *lpWrite = lpLine;
    int nIdle = 0;
    while (wToSend > 0) {
        DWORD dwWritten = 0;
        if (!WriteFile(hPort, lpWrite, wToSend, &dwWritten, NULL)) {
            DWORD dwErrors = 0;
            COMSTAT comstat;
            ClearCommError(hPort, &dwErrors, &comstat);
            // Only a full transmit queue, and nothing else wrong, is worth going on for.
            if (dwErrors != CE_TXFULL)
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
    // the port is touched, so a refused call changes nothing.
    if (bSendCommand && !FitsCommandLine(lpszCommand))
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
    SetCommTimeouts(port.Get(), &timeouts);

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
