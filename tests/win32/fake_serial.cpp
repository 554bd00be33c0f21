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

// The Hayes modem's answer to one command line (without its carriage return): OK or
// ERROR in the form the settings ask for, the settings changed only by an OK line.
std::string HayesAnswer(Port &port, const std::string &strLine)
{
    size_t at = std::string::npos;
    for (size_t i = 0; i + 1 < strLine.size(); ++i)
        if ((strLine[i] == 'A' || strLine[i] == 'a') && (strLine[i + 1] == 'T' || strLine[i + 1] == 't')) {
            at = i;
            break;
        }
    if (at == std::string::npos)
        return std::string();
    bool bEcho = port.bHayesEcho, bVerbose = port.bHayesVerbose, bOk = true;
    for (size_t i = at + 2; i < strLine.size() && bOk; ++i) {
        char ch = strLine[i];
        if (ch == ' ')
            continue;
        bool bOn = false;
        if (i + 1 < strLine.size() && (strLine[i + 1] == '0' || strLine[i + 1] == '1'))
            bOn = strLine[++i] == '1';
        if (ch == 'E' || ch == 'e')
            bEcho = bOn;
        else if (ch == 'V' || ch == 'v')
            bVerbose = bOn;
        else
            bOk = false;
    }
    if (bOk) {
        port.bHayesEcho = bEcho;
        port.bHayesVerbose = bVerbose;
    }
    if (port.bHayesVerbose)
        return bOk ? "\r\nOK\r\n" : "\r\nERROR\r\n";
    return bOk ? "0\r" : "4\r";
}

// The device receives bytes at dwAt: its reply rules and its Hayes modem see them.
void DeviceReceives(Port &port, const std::string &strBytes, DWORD dwAt)
{
    port.strWrittenSinceOpen += strBytes;
    port.strDeviceReceived += strBytes;
    const std::string &w = port.strWrittenSinceOpen;
    for (const ReplyRule &r : port.replies) {
        if (w.size() >= r.strTrigger.size() &&
            w.compare(w.size() - r.strTrigger.size(), r.strTrigger.size(), r.strTrigger) == 0)
            ArriveAt(port, dwAt + r.dwDelay, r.strReply, r.dwGap);
    }
    if (!port.bHayes)
        return;
    for (char ch : strBytes) {
        if (port.bHayesEcho)
            ArriveAt(port, dwAt, std::string(1, ch));
        if (ch != '\r') {
            port.strHayesLine += ch;
            continue;
        }
        std::string strAnswer = HayesAnswer(port, port.strHayesLine);
        port.strHayesLine.clear();
        ArriveAt(port, dwAt + port.dwHayesDelay, strAnswer, port.dwHayesGap);
    }
}

// Line time of one byte at the port's current settings, in nanoseconds: a start bit,
// the data bits, a parity bit unless there is none, and the stop bits.
uint64_t ByteLineNs(const Port &port)
{
    const DCB &dcb = port.dcbCurrent;
    if (dcb.BaudRate == 0)
        Die("paced transmit at 0 bit/s");
    uint64_t halfBits = 2u * (1u + dcb.ByteSize + (dcb.Parity != NOPARITY ? 1u : 0u));
    halfBits += dcb.StopBits == ONESTOPBIT ? 2u : dcb.StopBits == ONE5STOPBITS ? 3u : 4u;
    return halfBits * 500000000u / dcb.BaudRate;
}

// Queues bytes on a paced transmit side; each leaves after the ones before it.
void QueueForLine(Port &port, const std::string &strBytes)
{
    if (port.txQueue.empty()) {
        port.dwTxBurstStart = fake::Now();
        port.qwTxBurstNs = 0;
    }
    for (char ch : strBytes) {
        port.qwTxBurstNs += ByteLineNs(port);
        DWORD dwLeft = port.dwTxBurstStart + static_cast<DWORD>((port.qwTxBurstNs + 999999u) / 1000000u);
        port.txQueue.push_back(std::make_pair(dwLeft, ch));
    }
}

// The next queued byte leaves the line and reaches the device.
void SendFrontByte(Port &port)
{
    std::pair<DWORD, char> e = port.txQueue.front();
    port.txQueue.erase(port.txQueue.begin());
    DeviceReceives(port, std::string(1, e.second), e.first);
}

// Every queued byte that has left the line by dwUpTo reaches the device.
void SendLeftBy(Port &port, DWORD dwUpTo)
{
    while (!port.txQueue.empty() && !Before(dwUpTo, port.txQueue.front().first))
        SendFrontByte(port);
}

std::string Num(DWORD dw) { return std::to_string(dw); }

} // namespace

WriteStep AcceptAll() { return WriteStep{WriteStep::kAcceptAll, 0, 0, 0}; }
WriteStep AcceptSome(DWORD cbCount) { return WriteStep{WriteStep::kAcceptSome, cbCount, 0, 0}; }
WriteStep FailWrite(DWORD dwError, DWORD cbWritten, DWORD dwAfterMs)
{
    return WriteStep{WriteStep::kFail, cbWritten, dwError, dwAfterMs};
}
WriteStep SendNothing() { return WriteStep{WriteStep::kSendNothing, 0, 0, 0}; }
WriteStep Misreport(WriteStep step, DWORD cbReported)
{
    step.bMisreport = true;
    step.cbReported = cbReported;
    return step;
}

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

void AddHayesModem(Port &port)
{
    port.bHayes = true;
    port.bHayesEcho = true;
    port.bHayesVerbose = false;
    port.strHayesLine.clear();
}

void PaceTransmit(Port &port) { port.bPacedTransmit = true; }

size_t PendingOutput(const Port &port)
{
    size_t n = 0;
    for (const auto &e : port.txQueue)
        if (!HasArrived(e.first))
            ++n;
    return n;
}

void FailReadAfterData(Port &port, size_t nth, DWORD dwError)
{
    port.readFailuresAfterData.push_back(std::make_pair(nth, dwError));
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
        // What has left the line by now reached the device; the rest never will.
        SendLeftBy(*pPort, fake::Now());
        for (const auto &e : pPort->txQueue)
            pPort->strTxDiscarded += e.second;
        pPort->txQueue.clear();
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
    SendLeftBy(*pPort, fake::Now());
    if (dwFlags & (PURGE_TXABORT | PURGE_TXCLEAR)) {
        // The bytes still queued are never sent.
        for (const auto &e : pPort->txQueue)
            pPort->strTxDiscarded += e.second;
        pPort->txQueue.clear();
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
    Port *pPort = PortOf(hFile);
    if (fake::TakeFailure("ClearCommError")) {
        if (pPort && pPort->dwErrorsLeftOnFailure != 0 && lpErrors)
            *lpErrors = pPort->dwErrorsLeftOnFailure;
        return FALSE;
    }
    if (!pPort) {
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    SendLeftBy(*pPort, fake::Now());
    DWORD dwErrors = 0;
    if (pPort->nextCommError < pPort->commErrors.size())
        dwErrors = pPort->commErrors[pPort->nextCommError++];
    if (lpErrors)
        *lpErrors = dwErrors;
    if (lpStat) {
        memset(lpStat, 0, sizeof *lpStat);
        lpStat->cbInQue = static_cast<DWORD>(PendingInput(*pPort));
        lpStat->cbOutQue = static_cast<DWORD>(pPort->txQueue.size());
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
    if (pPort) {
        pPort->readSizes.push_back(nNumberOfBytesToRead);
        ++pPort->nReads;
    }
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
    SendLeftBy(port, dwStart);

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
                SendLeftBy(port, fake::Now());
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
            // Bytes still leaving the line reach the device while the read waits, and may
            // draw a reply that the read then sees: each leaves at its own moment, up to
            // the next byte to arrive or the read's limit.
            while (!port.txQueue.empty()) {
                DWORD dwLeft = port.txQueue.front().first;
                uint64_t left = Before(dwLeft, dwStart) ? 0 : dwLeft - dwStart;
                DWORD dwNext;
                if (NextArrival(port, &dwNext)) {
                    DWORD dwNow = fake::Now();
                    uint64_t next = (Before(dwNext, dwNow) ? dwNow : dwNext) - dwStart;
                    if (next < left)
                        break;
                }
                if (bLimit && left > limit)
                    break;
                SendFrontByte(port);
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
    for (const auto &f : port.readFailuresAfterData) {
        if (f.first == port.nReads) {
            SetLastError(f.second);
            return FALSE;
        }
    }
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
    SendLeftBy(port, fake::Now());
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
        fake::Advance(step.dwMs);
        SetLastError(step.dwError);
        bOk = FALSE;
        break;
    case WriteStep::kSendNothing:
        cbSent = 0;
        fake::Advance(WriteTimeout(port, nNumberOfBytesToWrite));
        break;
    }
    *lpNumberOfBytesWritten = step.bMisreport ? step.cbReported : cbSent;
    std::string strSent = strOffered.substr(0, cbSent);
    port.sent.push_back(strSent);
    if (!strSent.empty()) {
        if (port.bPacedTransmit)
            QueueForLine(port, strSent);
        else
            DeviceReceives(port, strSent, fake::Now());
    }
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
