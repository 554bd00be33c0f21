// The pure pieces of "tvrprobe report": how a port's reply is shown, what a failed open
// means, and the readers of the three telephony blocks the report asks for (the line
// device capabilities, the "comm/datamodem" identifier and the device configuration).
// Nothing here calls the platform, so it is tested natively; the verb glues it to the
// Win32 and TAPI calls.
#ifndef TVR_TOOLS_REPORT_TEXT_H
#define TVR_TOOLS_REPORT_TEXT_H

#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <string.h>

#include "telephony/TapiLayout.h"

// Win32 error codes that a serial port's open can end with (winerror.h values).
static const uint32_t kReportErrorFileNotFound = 2;      // ERROR_FILE_NOT_FOUND: no such device
static const uint32_t kReportErrorPathNotFound = 3;      // ERROR_PATH_NOT_FOUND: no such device
static const uint32_t kReportErrorAccessDenied = 5;      // ERROR_ACCESS_DENIED: another program holds it
static const uint32_t kReportErrorSharingViolation = 32; // ERROR_SHARING_VIOLATION: held, as some drivers say it

enum PortOpenVerdict {
    kPortMissing,   // there is no such port
    kPortHeld,      // the port exists and another program has it open
    kPortUnopenable // any other failure, shown with its error code
};

// What a failed CreateFileA of "COMn" says about the port.
inline PortOpenVerdict JudgeOpenError(uint32_t dwError)
{
    if (dwError == kReportErrorFileNotFound || dwError == kReportErrorPathNotFound)
        return kPortMissing;
    if (dwError == kReportErrorAccessDenied || dwError == kReportErrorSharingViolation)
        return kPortHeld;
    return kPortUnopenable;
}

// One byte as the report shows it, into szOne (at least 5 bytes); returns its length.
inline size_t EscapeReplyByte(unsigned char ch, char *szOne)
{
    if (ch == '\r')
        strcpy(szOne, "\\r");
    else if (ch == '\n')
        strcpy(szOne, "\\n");
    else if (ch == '\t')
        strcpy(szOne, "\\t");
    else if (ch == '\\' || ch == '"')
        snprintf(szOne, 5, "\\%c", ch);
    else if (ch >= 0x20 && ch <= 0x7E)
        snprintf(szOne, 5, "%c", ch);
    else
        snprintf(szOne, 5, "\\x%02X", ch);
    return strlen(szOne);
}

// Writes the cb bytes at pb as one line of printable text into pszOut (cchOut bytes,
// always zero-terminated): printable ASCII stays as it is, except that a backslash and a
// double quote get a backslash before them; carriage return, line feed and tab become
// \r \n \t; every other byte, zero included, becomes \xNN with two upper-case hex digits.
// When the whole does not fit, as many bytes as fit whole, escapes never split, are
// followed by "..." (or as much of it as there is room for). Returns the length written.
inline size_t EscapeReply(const unsigned char *pb, size_t cb, char *pszOut, size_t cchOut)
{
    static const char kEllipsis[] = "...";
    if (cchOut == 0)
        return 0;
    char szOne[5];
    size_t cchWhole = 0;
    for (size_t i = 0; i < cb; ++i)
        cchWhole += EscapeReplyByte(pb[i], szOne);
    const bool bCut = cchWhole + 1 > cchOut;
    const size_t cchEllipsis = sizeof kEllipsis - 1;
    const size_t cchBudget = !bCut ? cchWhole : cchOut - 1 >= cchEllipsis ? cchOut - 1 - cchEllipsis : 0;
    size_t cch = 0;
    for (size_t i = 0; i < cb; ++i) {
        const size_t cchOne = EscapeReplyByte(pb[i], szOne);
        if (cch + cchOne > cchBudget)
            break;
        memcpy(pszOut + cch, szOne, cchOne);
        cch += cchOne;
    }
    for (size_t j = 0; bCut && j < cchEllipsis && cch + 1 < cchOut; ++j)
        pszOut[cch++] = kEllipsis[j];
    pszOut[cch] = 0;
    return cch;
}

// How the modem scan of telvarid.dll would judge a reply that it read into its 128-byte
// zero-filled buffer: it stops at the first zero byte, so a reply that starts with one is
// empty to it, and exactly the two characters "OK" count as silence too.
enum ScanView {
    kScanSeesNothing, // empty, or a zero byte first
    kScanSeesBareOk,  // "OK" and then nothing (or a zero byte)
    kScanSeesAnswer   // anything else: the scan reports this port
};

inline ScanView JudgeReplyAsScan(const unsigned char *pb, size_t cb)
{
    if (cb == 0 || pb[0] == 0)
        return kScanSeesNothing;
    if (cb >= 2 && pb[0] == 'O' && pb[1] == 'K' && (cb == 2 || pb[2] == 0))
        return kScanSeesBareOk;
    return kScanSeesAnswer;
}

// ---- The telephony blocks ----------------------------------------------------------------
// The report reads what the service wrote with the library's own readers
// (telephony/TapiLayout), so that one reader is fuzzed and trusted. Every read is bounded
// by cbAllocated, the size the report allocated, never by dwTotalSize: that field lies
// inside the block, and a service may have rewritten it.

static const uint32_t kBearerModeVoice = 0x00000001;    // LINEBEARERMODE_VOICE
static const uint32_t kMediaModeDataModem = 0x00000010; // LINEMEDIAMODE_DATAMODEM

// The size to ask again with: dwNeededSize, when it is more than the block allocated and
// no more than cbLargest (a service that asks for more is not believed); else 0.
inline DWORD ReportRegrowSize(const BYTE *pBlock, DWORD cbAllocated, DWORD cbLargest)
{
    const DWORD dwNeeded = ReadBlockDword(pBlock, cbAllocated, DEVCAPS_NEEDEDSIZE);
    return dwNeeded > cbAllocated && dwNeeded <= cbLargest ? dwNeeded : 0;
}

struct LineCapsView {
    char szName[LINENAME_FIELDSIZE]; // empty when the service gave no name
    uint32_t dwBearerModes;
    uint32_t dwMediaModes;
    bool bDataModem; // the voice bearer mode and the data-modem media mode, as the DLL asks
};

// The line's name, bearer and media modes from a LINEDEVCAPS block of cbAllocated bytes.
// False when the block is too short for the media modes.
inline bool ReadLineCaps(const BYTE *pCaps, DWORD cbAllocated, LineCapsView *pView)
{
    memset(pView, 0, sizeof *pView);
    if (cbAllocated < DEVCAPS_MEDIAMODES + 4)
        return false;
    CopyLineName(pCaps, cbAllocated, pView->szName);
    pView->dwBearerModes = ReadBlockDword(pCaps, cbAllocated, DEVCAPS_BEARERMODES);
    pView->dwMediaModes = ReadBlockDword(pCaps, cbAllocated, DEVCAPS_MEDIAMODES);
    pView->bDataModem = (pView->dwBearerModes & kBearerModeVoice) && (pView->dwMediaModes & kMediaModeDataModem);
    return true;
}

// The port name of a "comm/datamodem" identifier block of cbAllocated bytes, after a
// handle of cbHandle bytes (sizeof(HANDLE) of the build), into a PORTNAME_BUFFERSIZE
// buffer; empty when the block holds no name. The handle itself is never read: it is not
// the report's to close (with the line selected it is NULL anyway).
inline bool ReadModemPortName(const BYTE *pId, DWORD cbAllocated, DWORD cbHandle, char *pszPort)
{
    pszPort[0] = 0;
    return CopyPortName(pId, cbAllocated, cbHandle, pszPort) && pszPort[0];
}

// ---- The DLL's architecture ---------------------------------------------------------------

static const uint16_t kMachineI386 = 0x014C;  // IMAGE_FILE_MACHINE_I386
static const uint16_t kMachineAmd64 = 0x8664; // IMAGE_FILE_MACHINE_AMD64

// The machine type of a PE file from its first cb bytes: the DOS header's e_lfanew (at
// 0x3C) points at "PE\0\0", followed by the COFF header's Machine. 0 when the bytes are
// not a PE header.
inline uint16_t ReadPeMachine(const uint8_t *pb, size_t cb)
{
    if (cb < 0x40 || pb[0] != 'M' || pb[1] != 'Z')
        return 0;
    const uint32_t dwPe =
        (uint32_t)pb[0x3C] | (uint32_t)pb[0x3D] << 8 | (uint32_t)pb[0x3E] << 16 | (uint32_t)pb[0x3F] << 24;
    if (dwPe > cb || cb - dwPe < 6 || memcmp(pb + dwPe, "PE\0\0", 4) != 0)
        return 0;
    return (uint16_t)(pb[dwPe + 4] | pb[dwPe + 5] << 8);
}

// "x86 (32-bit)", "x64 (64-bit)", or "unknown" for a machine type.
inline const char *MachineText(uint16_t wMachine)
{
    if (wMachine == kMachineI386)
        return "x86 (32-bit)";
    if (wMachine == kMachineAmd64)
        return "x64 (64-bit)";
    return "of an unknown architecture";
}

// ---- Serial ports beyond the scan's --------------------------------------------------------

static const int kLargestPort = 255; // COM255: the largest port number the report looks at

// The number n of a port named "COMn" (n from 1 to 255, no leading zero, case as Windows
// writes it), else 0.
inline int ComPortNumber(const char *pszName)
{
    if (strncmp(pszName, "COM", 3) != 0 || pszName[3] < '1' || pszName[3] > '9')
        return 0;
    int n = 0;
    for (const char *p = pszName + 3; *p; ++p) {
        if (*p < '0' || *p > '9')
            return 0;
        n = n * 10 + (*p - '0');
        if (n > 255)
            return 0;
    }
    return n;
}

// The name CreateFileA opens port n by: "COMn" up to COM9; from COM10 up only the device
// namespace form "\\.\COMn" opens it.
inline void ComOpenName(int nPort, char *pszOut, size_t cchOut)
{
    snprintf(pszOut, cchOut, nPort >= 10 ? "\\\\.\\COM%d" : "COM%d", nPort);
}

// ---- Windows's list of serial ports ---------------------------------------------------
// The walk of HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM: one value per serial
// device, its name the device's ("\Device\Serial0"), its data the port's ("COM1").

static const uint32_t kReportErrorSuccess = 0;      // ERROR_SUCCESS
static const uint32_t kReportErrorMoreData = 234;   // ERROR_MORE_DATA: a name or data too long for the buffers
static const uint32_t kReportErrorNoMoreItems = 259; // ERROR_NO_MORE_ITEMS: past the last value

// However the key answers, the walk asks no more indexes than this: four times as many
// values as there are port names (COM1 to COM255).
static const uint32_t kRegistryWalkLimit = 1024;

enum RegistryWalkStep {
    kWalkTakeValue, // the value was read: look at it
    kWalkSkipValue, // too long for a port's name: the next index may still be one
    kWalkStop       // the end of the key, or an error
};

// What the walk does after RegEnumValueA's result for one index. Any error other than a
// value too long ends it: such an error comes back at every further index (a key deleted
// under the walk answers ERROR_KEY_DELETED to each of them), so going on would ask all
// 2^32 indexes.
inline RegistryWalkStep JudgeRegistryWalkResult(uint32_t lResult)
{
    if (lResult == kReportErrorSuccess)
        return kWalkTakeValue;
    if (lResult == kReportErrorMoreData)
        return kWalkSkipValue;
    return kWalkStop;
}

// Asks enumAt(0), enumAt(1)..., each RegEnumValueA's result for that index, and calls
// takeValue(index) after each value read, until JudgeRegistryWalkResult says stop or
// kRegistryWalkLimit indexes have been asked. Returns how many indexes it asked.
template <typename EnumAt, typename TakeValue> inline uint32_t WalkRegistryValues(EnumAt enumAt, TakeValue takeValue)
{
    uint32_t dwIndex = 0;
    while (dwIndex < kRegistryWalkLimit) {
        const RegistryWalkStep step = JudgeRegistryWalkResult(enumAt(dwIndex));
        if (step == kWalkStop)
            return dwIndex + 1;
        if (step == kWalkTakeValue)
            takeValue(dwIndex);
        ++dwIndex;
    }
    return dwIndex;
}

// Whether a device name under SERIALCOMM is a Bluetooth serial port's: Windows names
// those "\Device\BthModem" and a number. Opening one makes Windows try to reach the
// paired device, and the open can block for as long as that takes. Letter case aside, as
// the object manager compares names.
inline bool IsBluetoothSerialDevice(const char *pszDevice)
{
    static const char kBluetoothPrefix[] = "\\device\\bthmodem";
    for (size_t i = 0; i + 1 < sizeof kBluetoothPrefix; ++i) {
        char ch = pszDevice[i];
        if (ch >= 'A' && ch <= 'Z')
            ch = (char)(ch - 'A' + 'a');
        if (ch != kBluetoothPrefix[i])
            return false;
    }
    return true;
}

// A name from the registry as the report shows it, into pszOut (cchOut bytes, always
// zero-terminated, cut to fit): printable ASCII as it is, backslashes included, so that
// "\Device\BthModem0" reads as Windows writes it; any other byte as '?'.
inline void ShowRegistryName(const char *pszName, char *pszOut, size_t cchOut)
{
    if (cchOut == 0)
        return;
    size_t cch = 0;
    for (; pszName[cch] && cch + 1 < cchOut; ++cch) {
        const unsigned char ch = (unsigned char)pszName[cch];
        pszOut[cch] = ch >= 0x20 && ch <= 0x7E ? (char)ch : '?';
    }
    pszOut[cch] = 0;
}

// ---- Which ports the report opens -----------------------------------------------------------

// Marks in rgbNamed[1..kLargestPort] each port of the argument of --ports: port names
// separated by commas, "COM5,COM7", in any letter case ("com5" is COM5). False for an
// empty list, an empty name or one that is not COM1 to COM255; rgbNamed may then hold
// some marks.
inline bool ParsePortList(const char *pszList, bool *rgbNamed)
{
    const char *p = pszList;
    for (;;) {
        char szName[8]; // "COM255" and its zero, with room to see a longer name
        size_t cch = 0;
        for (; *p && *p != ','; ++p) {
            if (cch + 1 >= sizeof szName)
                return false;
            const char ch = *p;
            szName[cch++] = ch >= 'a' && ch <= 'z' ? (char)(ch - 'a' + 'A') : ch;
        }
        szName[cch] = 0;
        const int nPort = ComPortNumber(szName);
        if (nPort == 0)
            return false;
        rgbNamed[nPort] = true;
        if (*p == 0)
            return true;
        ++p; // past the comma: a name must follow
    }
}

enum PortPlan {
    kPlanProbe,     // opened and probed as the modem scan does
    kPlanBluetooth, // a Bluetooth serial port: never opened, whatever was asked
    kPlanNoProbe,   // --no-probe: listed, not opened
    kPlanNotNamed   // --ports names other ports: listed, not opened
};

// What the report does with one port. A Bluetooth port stays closed even when --ports
// names it: its open can block for as long as Windows tries to reach the paired device.
inline PortPlan PlanPort(bool bBluetooth, bool bNoProbe, bool bOnlyNamed, bool bNamed)
{
    if (bBluetooth)
        return kPlanBluetooth;
    if (bNoProbe)
        return kPlanNoProbe;
    if (bOnlyNamed && !bNamed)
        return kPlanNotNamed;
    return kPlanProbe;
}

// Why the report leaves a port closed, for "which this report leaves closed (...)";
// NULL for a port it opens.
inline const char *PortLeftClosedReason(PortPlan plan)
{
    switch (plan) {
    case kPlanBluetooth:
        return "a Bluetooth serial port, never opened";
    case kPlanNoProbe:
        return "--no-probe";
    case kPlanNotNamed:
        return "not named in --ports";
    default:
        return NULL;
    }
}

// The first of COM1..COM4 that the report leaves closed, given each port's plan in
// rgPlan[1..4]; 0 when it opens all four. The modem scan of telvarid.dll opens all four,
// so the report lets it run only when this is 0.
inline int FirstScanPortLeftClosed(const PortPlan *rgPlan)
{
    for (int nPort = 1; nPort <= 4; ++nPort)
        if (rgPlan[nPort] != kPlanProbe)
            return nPort;
    return 0;
}

#endif // TVR_TOOLS_REPORT_TEXT_H
