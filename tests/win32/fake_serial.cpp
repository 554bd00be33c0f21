#include "fake_serial.h"

#include "fake_platform.h"

#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>
#include <map>

namespace fake {
namespace serial {
namespace {

struct SerialState {
    std::map<std::string, Port> ports;
    std::map<HANDLE, std::string> openPorts; // handle -> port name
};

SerialState &St()
{
    static SerialState *s = new SerialState; // never destroyed, like the platform core
    return *s;
}

void ResetSerial()
{
    St().ports.clear();
    St().openPorts.clear();
}

struct RegisterHook {
    RegisterHook() { fake::AddResetHook(&ResetSerial); }
} g_registerHook;

[[noreturn]] void Die(const std::string &strWhy)
{
    fprintf(stderr, "fake_serial: %s\n", strWhy.c_str());
    abort();
}

// Wrap-safe order of two moments of the 32-bit virtual clock.
bool Before(DWORD a, DWORD b) { return static_cast<int32_t>(a - b) < 0; }

Port *PortOf(HANDLE h)
{
    auto it = St().openPorts.find(h);
    if (it == St().openPorts.end())
        return nullptr;
    return &St().ports[it->second];
}

std::string NameOf(HANDLE h)
{
    auto it = St().openPorts.find(h);
    if (it != St().openPorts.end())
        return it->second;
    if (fake::IsOpenHandle(h))
        return fake::HandleName(h);
    return fake::Ptr(h);
}

// Inserts one byte in arrival order, after the bytes that arrive at the same moment.
void Schedule(Port &port, DWORD dwAt, char ch)
{
    auto it = std::upper_bound(port.input.begin(), port.input.end(), dwAt,
                               [](DWORD t, const std::pair<DWORD, char> &e) { return Before(t, e.first); });
    port.input.insert(it, std::make_pair(dwAt, ch));
}

// The moment the next byte arrives (possibly already past), if any byte ever will.
bool NextArrival(const Port &port, DWORD *pdwAt)
{
    bool bHas = false;
    if (!port.input.empty()) {
        *pdwAt = port.input.front().first;
        bHas = true;
    }
    if (port.dwChatterEvery != 0 && (!bHas || Before(port.dwChatterNext, *pdwAt))) {
        *pdwAt = port.dwChatterNext;
        bHas = true;
    }
    return bHas;
}

char TakeNext(Port &port)
{
    if (port.dwChatterEvery != 0 &&
        (port.input.empty() || Before(port.dwChatterNext, port.input.front().first))) {
        port.dwChatterNext += port.dwChatterEvery;
        return port.chChatter;
    }
    char ch = port.input.front().second;
    port.input.erase(port.input.begin());
    return ch;
}

bool HasArrived(DWORD dwAt) { return !Before(fake::Now(), dwAt); }

WriteStep NextWriteStep(Port &port)
{
    if (port.nextWriteStep < port.writeSteps.size())
        return port.writeSteps[port.nextWriteStep++];
    return port.writeDefault;
}

// How long a WriteFile of cb bytes may take before its time-out ends it.
DWORD WriteTimeout(const Port &port, DWORD cb)
{
    uint64_t ms = static_cast<uint64_t>(port.timeouts.WriteTotalTimeoutMultiplier) * cb +
                  port.timeouts.WriteTotalTimeoutConstant;
    return ms > 0x7fffffffu ? 0x7fffffffu : static_cast<DWORD>(ms);
}

void OnSent(Port &port, const std::string &strSent)
{
    port.strWrittenSinceOpen += strSent;
    const std::string &w = port.strWrittenSinceOpen;
    for (const ReplyRule &r : port.replies) {
        if (w.size() >= r.strTrigger.size() &&
            w.compare(w.size() - r.strTrigger.size(), r.strTrigger.size(), r.strTrigger) == 0)
            ArriveAt(port, fake::Now() + r.dwDelay, r.strReply, r.dwGap);
    }
}

std::string Num(DWORD dw) { return std::to_string(dw); }

} // namespace

WriteStep AcceptAll() { return WriteStep{WriteStep::kAcceptAll, 0, 0}; }
WriteStep AcceptSome(DWORD cbCount) { return WriteStep{WriteStep::kAcceptSome, cbCount, 0}; }
WriteStep FailWrite(DWORD dwError, DWORD cbWritten) { return WriteStep{WriteStep::kFail, cbWritten, dwError}; }
WriteStep SendNothing() { return WriteStep{WriteStep::kSendNothing, 0, 0}; }

DCB DistinctiveDcb()
{
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof(DCB);
    dcb.BaudRate = 19200;
    dcb.fBinary = 1;
    dcb.fParity = 1;
    dcb.fOutxCtsFlow = 1;
    dcb.fOutxDsrFlow = 1;
    dcb.fDtrControl = 2;
    dcb.fDsrSensitivity = 1;
    dcb.fTXContinueOnXoff = 1;
    dcb.fOutX = 1;
    dcb.fInX = 1;
    dcb.fErrorChar = 1;
    dcb.fNull = 1;
    dcb.fRtsControl = 3;
    dcb.fAbortOnError = 1;
    dcb.fDummy2 = 0x1abcd;
    dcb.wReserved = 0x1234;
    dcb.XonLim = 111;
    dcb.XoffLim = 222;
    dcb.ByteSize = 7;
    dcb.Parity = EVENPARITY;
    dcb.StopBits = TWOSTOPBITS;
    dcb.XonChar = 0x11;
    dcb.XoffChar = 0x13;
    dcb.ErrorChar = '?';
    dcb.EofChar = 0x1a;
    dcb.EvtChar = '~';
    dcb.wReserved1 = 0x5678;
    return dcb;
}

Port &AddPort(const std::string &strName)
{
    Port &port = St().ports[strName];
    port = Port();
    port.dcbCurrent = DistinctiveDcb();
    return port;
}

void HoldPort(const std::string &strName) { AddPort(strName).bHeld = true; }

Port &GetPort(const std::string &strName)
{
    auto it = St().ports.find(strName);
    if (it == St().ports.end())
        Die("no port described as " + strName);
    return it->second;
}

bool HasPort(const std::string &strName) { return St().ports.count(strName) != 0; }

void ArriveAt(Port &port, DWORD dwAt, const std::string &strBytes, DWORD dwGap)
{
    for (size_t i = 0; i < strBytes.size(); ++i)
        Schedule(port, dwAt + static_cast<DWORD>(i) * dwGap, strBytes[i]);
}

void AddReply(Port &port, const std::string &strTrigger, const std::string &strReply, DWORD dwDelay,
              DWORD dwGap)
{
    port.replies.push_back(ReplyRule{strTrigger, strReply, dwDelay, dwGap});
}

void Chatter(Port &port, DWORD dwEvery, char ch)
{
    if (dwEvery == 0)
        Die("chatter needs a period");
    port.dwChatterEvery = dwEvery;
    port.chChatter = ch;
    port.dwChatterNext = fake::Now() + dwEvery;
}

void AddModem(Port &port)
{
    AddReply(port, "ATE0V1\r", "ATE0V1\r\r\nOK\r\n", 20, 4);
    AddReply(port, "AT\r", "\r\nOK\r\n", 20, 4);
}

size_t PendingInput(const Port &port)
{
    size_t n = 0;
    for (const auto &e : port.input)
        if (HasArrived(e.first))
            ++n;
    if (port.dwChatterEvery != 0 && HasArrived(port.dwChatterNext))
        n += (fake::Now() - port.dwChatterNext) / port.dwChatterEvery + 1;
    return n;
}

std::string Escape(const std::string &strBytes)
{
    std::string out;
    for (unsigned char c : strBytes) {
        char sz[8];
        if (c == '\r')
            out += "\\r";
        else if (c == '\n')
            out += "\\n";
        else if (c == '\\' || c == '"')
            (out += '\\') += static_cast<char>(c);
        else if (c >= 0x20 && c < 0x7f)
            out += static_cast<char>(c);
        else {
            snprintf(sz, sizeof sz, "\\x%02x", c);
            out += sz;
        }
    }
    return out;
}

} // namespace serial
} // namespace fake

using fake::serial::Port;
using namespace fake::serial;

HANDLE WINAPI CreateFileA(LPCSTR lpFileName, DWORD dwDesiredAccess, DWORD dwShareMode,
                          LPSECURITY_ATTRIBUTES lpSecurityAttributes, DWORD dwCreationDisposition,
                          DWORD dwFlagsAndAttributes, HANDLE hTemplateFile)
{
    std::string strName = lpFileName ? lpFileName : "";
    fake::RecordCall("CreateFileA(" + (lpFileName ? strName : std::string("NULL")) + ", " +
                     fake::Hex(dwDesiredAccess) + ", " + Num(dwShareMode) + ", " +
                     fake::Ptr(lpSecurityAttributes) + ", " + Num(dwCreationDisposition) + ", " +
                     fake::Hex(dwFlagsAndAttributes) + ", " + fake::Ptr(hTemplateFile) + ")");
    if (fake::TakeFailure("CreateFileA"))
        return INVALID_HANDLE_VALUE;
    if (!lpFileName) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return INVALID_HANDLE_VALUE;
    }
    auto it = St().ports.find(strName);
    if (it == St().ports.end()) {
        SetLastError(ERROR_FILE_NOT_FOUND);
        return INVALID_HANDLE_VALUE;
    }
    Port &port = it->second;
    // The serial driver grants one open at a time, whatever share mode is asked.
    if (port.bHeld || port.hOpen) {
        SetLastError(ERROR_ACCESS_DENIED);
        return INVALID_HANDLE_VALUE;
    }
    HANDLE h = fake::NewHandle(strName);
    port.hOpen = h;
    ++port.nOpens;
    port.strWrittenSinceOpen.clear();
    St().openPorts[h] = strName;
    return h;
}

BOOL WINAPI CloseHandle(HANDLE hObject)
{
    fake::RecordCall("CloseHandle(" + NameOf(hObject) + ")");
    if (fake::TakeFailure("CloseHandle"))
        return FALSE;
    if (Port *pPort = PortOf(hObject)) {
        pPort->hOpen = nullptr;
        St().openPorts.erase(hObject);
    }
    if (!fake::CloseFakeHandle(hObject)) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI GetCommState(HANDLE hFile, LPDCB lpDCB)
{
    fake::RecordCall("GetCommState(" + NameOf(hFile) + ")");
    if (fake::TakeFailure("GetCommState"))
        return FALSE;
    Port *pPort = PortOf(hFile);
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    *lpDCB = pPort->dcbCurrent;
    return TRUE;
}

BOOL WINAPI SetCommState(HANDLE hFile, LPDCB lpDCB)
{
    fake::RecordCall("SetCommState(" + NameOf(hFile) + ", " + Num(lpDCB->BaudRate) + ", " +
                     Num(lpDCB->ByteSize) + ", " + Num(lpDCB->Parity) + ", " + Num(lpDCB->StopBits) + ")");
    Port *pPort = PortOf(hFile);
    if (pPort)
        pPort->setStates.push_back(*lpDCB);
    if (fake::TakeFailure("SetCommState"))
        return FALSE;
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    pPort->dcbCurrent = *lpDCB;
    return TRUE;
}

BOOL WINAPI SetCommTimeouts(HANDLE hFile, LPCOMMTIMEOUTS lpCommTimeouts)
{
    const COMMTIMEOUTS &t = *lpCommTimeouts;
    fake::RecordCall("SetCommTimeouts(" + NameOf(hFile) + ", " + Num(t.ReadIntervalTimeout) + ", " +
                     Num(t.ReadTotalTimeoutMultiplier) + ", " + Num(t.ReadTotalTimeoutConstant) + ", " +
                     Num(t.WriteTotalTimeoutMultiplier) + ", " + Num(t.WriteTotalTimeoutConstant) + ")");
    Port *pPort = PortOf(hFile);
    if (pPort)
        pPort->setTimeouts.push_back(t);
    if (fake::TakeFailure("SetCommTimeouts"))
        return FALSE;
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    pPort->timeouts = t;
    return TRUE;
}

BOOL WINAPI SetupComm(HANDLE hFile, DWORD dwInQueue, DWORD dwOutQueue)
{
    fake::RecordCall("SetupComm(" + NameOf(hFile) + ", " + Num(dwInQueue) + ", " + Num(dwOutQueue) + ")");
    Port *pPort = PortOf(hFile);
    if (pPort)
        pPort->queueSizes.push_back(std::make_pair(dwInQueue, dwOutQueue));
    if (fake::TakeFailure("SetupComm"))
        return FALSE;
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    return TRUE;
}

BOOL WINAPI PurgeComm(HANDLE hFile, DWORD dwFlags)
{
    fake::RecordCall("PurgeComm(" + NameOf(hFile) + ", " + Num(dwFlags) + ")");
    Port *pPort = PortOf(hFile);
    if (pPort)
        pPort->purges.push_back(dwFlags);
    if (fake::TakeFailure("PurgeComm"))
        return FALSE;
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (dwFlags & PURGE_RXCLEAR) {
        Port &port = *pPort;
        // What has arrived is discarded; what is still on its way comes later.
        while (!port.input.empty() && HasArrived(port.input.front().first))
            port.input.erase(port.input.begin());
        if (port.dwChatterEvery != 0 && HasArrived(port.dwChatterNext))
            port.dwChatterNext +=
                ((fake::Now() - port.dwChatterNext) / port.dwChatterEvery + 1) * port.dwChatterEvery;
    }
    return TRUE;
}

BOOL WINAPI ClearCommError(HANDLE hFile, LPDWORD lpErrors, LPCOMSTAT lpStat)
{
    fake::RecordCall("ClearCommError(" + NameOf(hFile) + ")");
    if (fake::TakeFailure("ClearCommError"))
        return FALSE;
    Port *pPort = PortOf(hFile);
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    DWORD dwErrors = 0;
    if (pPort->nextCommError < pPort->commErrors.size())
        dwErrors = pPort->commErrors[pPort->nextCommError++];
    if (lpErrors)
        *lpErrors = dwErrors;
    if (lpStat) {
        memset(lpStat, 0, sizeof *lpStat);
        lpStat->cbInQue = static_cast<DWORD>(PendingInput(*pPort));
    }
    return TRUE;
}

BOOL WINAPI ReadFile(HANDLE hFile, LPVOID lpBuffer, DWORD nNumberOfBytesToRead, LPDWORD lpNumberOfBytesRead,
                     LPOVERLAPPED lpOverlapped)
{
    fake::RecordCall("ReadFile(" + NameOf(hFile) + ", " + Num(nNumberOfBytesToRead) + ", " +
                     fake::Ptr(lpOverlapped) + ")");
    if (lpNumberOfBytesRead)
        *lpNumberOfBytesRead = 0;
    Port *pPort = PortOf(hFile);
    if (pPort)
        pPort->readSizes.push_back(nNumberOfBytesToRead);
    if (fake::TakeFailure("ReadFile"))
        return FALSE;
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    if (nNumberOfBytesToRead == 0 || !lpBuffer || !lpNumberOfBytesRead) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    Port &port = *pPort;
    const COMMTIMEOUTS &t = port.timeouts;
    char *pb = static_cast<char *>(lpBuffer);
    DWORD cbGot = 0;
    const DWORD dwStart = fake::Now();

    if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == 0 &&
        t.ReadTotalTimeoutConstant == 0) {
        // Returns at once with whatever has arrived.
        DWORD dwAt;
        while (cbGot < nNumberOfBytesToRead && NextArrival(port, &dwAt) && HasArrived(dwAt))
            pb[cbGot++] = TakeNext(port);
    } else {
        // Offsets from the start of the read, in 64 bits so that no limit wraps.
        bool bTotal, bInterval, bFirstByteEnds = false;
        uint64_t total = 0;
        if (t.ReadIntervalTimeout == MAXDWORD && t.ReadTotalTimeoutMultiplier == MAXDWORD &&
            t.ReadTotalTimeoutConstant != 0 && t.ReadTotalTimeoutConstant != MAXDWORD) {
            // Waits up to the constant for the first byte, then returns with what is there.
            bTotal = true;
            total = t.ReadTotalTimeoutConstant;
            bInterval = false;
            bFirstByteEnds = true;
        } else {
            bTotal = t.ReadTotalTimeoutMultiplier != 0 || t.ReadTotalTimeoutConstant != 0;
            total = static_cast<uint64_t>(t.ReadTotalTimeoutMultiplier) * nNumberOfBytesToRead +
                    t.ReadTotalTimeoutConstant;
            bInterval = t.ReadIntervalTimeout != 0;
        }
        uint64_t last = 0; // offset of the last byte taken
        while (cbGot < nNumberOfBytesToRead) {
            if (bFirstByteEnds && cbGot > 0) {
                DWORD dwAt;
                if (!NextArrival(port, &dwAt) || !HasArrived(dwAt))
                    break;
                pb[cbGot++] = TakeNext(port);
                continue;
            }
            bool bLimit = false;
            uint64_t limit = 0;
            if (bTotal) {
                bLimit = true;
                limit = total;
            }
            if (bInterval && cbGot > 0) {
                uint64_t intervalEnd = last + t.ReadIntervalTimeout;
                if (!bLimit || intervalEnd < limit)
                    limit = intervalEnd;
                bLimit = true;
            }
            DWORD dwAt;
            bool bHas = NextArrival(port, &dwAt);
            uint64_t at = 0;
            if (bHas) {
                DWORD dwNow = fake::Now();
                at = (Before(dwAt, dwNow) ? dwNow : dwAt) - dwStart;
            }
            if (!bHas || (bLimit && at > limit)) {
                if (!bLimit)
                    Die("ReadFile on " + NameOf(hFile) + " would wait forever: no byte will arrive "
                        "and the time-outs set no limit");
                fake::SetNow(dwStart + static_cast<DWORD>(limit));
                break;
            }
            fake::SetNow(dwStart + static_cast<DWORD>(at));
            pb[cbGot++] = TakeNext(port);
            last = at;
        }
    }
    *lpNumberOfBytesRead = cbGot;
    port.reads.push_back(std::string(pb, cbGot));
    return TRUE;
}

BOOL WINAPI WriteFile(HANDLE hFile, LPCVOID lpBuffer, DWORD nNumberOfBytesToWrite,
                      LPDWORD lpNumberOfBytesWritten, LPOVERLAPPED lpOverlapped)
{
    std::string strOffered;
    if (lpBuffer)
        strOffered.assign(static_cast<const char *>(lpBuffer), nNumberOfBytesToWrite);
    fake::RecordCall("WriteFile(" + NameOf(hFile) + ", \"" + Escape(strOffered) + "\", " +
                     Num(nNumberOfBytesToWrite) + ", " + fake::Ptr(lpOverlapped) + ")");
    if (lpNumberOfBytesWritten)
        *lpNumberOfBytesWritten = 0;
    Port *pPort = PortOf(hFile);
    if (pPort)
        pPort->writes.push_back(strOffered);
    if (fake::TakeFailure("WriteFile")) {
        if (pPort)
            pPort->sent.push_back("");
        return FALSE;
    }
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    Port &port = *pPort;
    if (nNumberOfBytesToWrite == 0 || !lpBuffer || !lpNumberOfBytesWritten) {
        port.sent.push_back("");
        SetLastError(ERROR_INVALID_PARAMETER);
        return FALSE;
    }
    WriteStep step = NextWriteStep(port);
    DWORD cbSent = nNumberOfBytesToWrite;
    BOOL bOk = TRUE;
    switch (step.kind) {
    case WriteStep::kAcceptAll:
        break;
    case WriteStep::kAcceptSome:
        if (step.cbCount < cbSent) {
            cbSent = step.cbCount;
            fake::Advance(WriteTimeout(port, nNumberOfBytesToWrite));
        }
        break;
    case WriteStep::kFail:
        cbSent = std::min(step.cbCount, nNumberOfBytesToWrite);
        SetLastError(step.dwError);
        bOk = FALSE;
        break;
    case WriteStep::kSendNothing:
        cbSent = 0;
        fake::Advance(WriteTimeout(port, nNumberOfBytesToWrite));
        break;
    }
    *lpNumberOfBytesWritten = cbSent;
    std::string strSent = strOffered.substr(0, cbSent);
    port.sent.push_back(strSent);
    if (!strSent.empty())
        OnSent(port, strSent);
    return bOk;
}

int __cdecl wsprintfA(LPSTR lpOut, LPCSTR lpFmt, ...)
{
    // The real function writes at most 1024 bytes, terminating zero included.
    char achOut[1024];
    va_list args;
    va_start(args, lpFmt);
    int cch = vsnprintf(achOut, sizeof achOut, lpFmt, args);
    va_end(args);
    if (cch < 0)
        cch = 0;
    if (cch > static_cast<int>(sizeof achOut) - 1)
        cch = static_cast<int>(sizeof achOut) - 1;
    achOut[cch] = '\0';
    memcpy(lpOut, achOut, static_cast<size_t>(cch) + 1);
    fake::RecordCall("wsprintfA(\"" + Escape(lpFmt) + "\") -> \"" + Escape(std::string(achOut, cch)) + "\"");
    return cch;
}
