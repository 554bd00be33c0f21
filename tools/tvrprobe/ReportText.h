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

// Little-endian 32-bit value at dwOffset of a block of cb bytes; false when it lies
// (even partly) outside.
inline bool ReadBlockDword(const uint8_t *pBlock, size_t cb, size_t dwOffset, uint32_t *pdwValue)
{
    if (dwOffset > cb || cb - dwOffset < 4)
        return false;
    *pdwValue = (uint32_t)pBlock[dwOffset] | (uint32_t)pBlock[dwOffset + 1] << 8 |
                (uint32_t)pBlock[dwOffset + 2] << 16 | (uint32_t)pBlock[dwOffset + 3] << 24;
    return true;
}

// Copies the text of a variable-size field, dwSize bytes at dwOffset of a block whose
// first cbUsed bytes the service filled, into pszOut (cchOut bytes, zero-terminated): up
// to its first zero byte, the end of the field, or the room in pszOut, whichever comes
// first. False, with pszOut empty, when the field is empty or reaches past cbUsed.
inline bool ReadBlockText(const uint8_t *pBlock, size_t cbUsed, uint32_t dwOffset, uint32_t dwSize, char *pszOut,
                          size_t cchOut)
{
    if (cchOut == 0)
        return false;
    pszOut[0] = 0;
    if (dwSize == 0 || dwOffset > cbUsed || cbUsed - dwOffset < dwSize)
        return false;
    size_t cch = 0;
    while (cch < dwSize && cch + 1 < cchOut && pBlock[dwOffset + cch] != 0) {
        pszOut[cch] = (char)pBlock[dwOffset + cch];
        ++cch;
    }
    pszOut[cch] = 0;
    return true;
}

// The telephony blocks all start as a VARSTRING or a LINEDEVCAPS does: dwTotalSize,
// dwNeededSize, dwUsedSize. How much of the block the service filled: dwUsedSize, never
// more than the block really holds.
static const size_t kTapiUsedSizeOffset = 8;

inline size_t TapiUsedSize(const uint8_t *pBlock, size_t cbBlock)
{
    uint32_t dwUsed = 0;
    if (!ReadBlockDword(pBlock, cbBlock, kTapiUsedSizeOffset, &dwUsed))
        return 0;
    return dwUsed < cbBlock ? dwUsed : cbBlock;
}

// LINEDEVCAPS: the line's name (dwLineNameSize, dwLineNameOffset), its bearer and media
// modes. The offsets are those of the fixed part, which every API version keeps.
static const size_t kDevCapsLineNameSizeOffset = 32;
static const size_t kDevCapsLineNameOffsetOffset = 36;
static const size_t kDevCapsBearerModesOffset = 52;
static const size_t kDevCapsMediaModesOffset = 60;
static const uint32_t kBearerModeVoice = 0x00000001;    // LINEBEARERMODE_VOICE
static const uint32_t kMediaModeDataModem = 0x00000010; // LINEMEDIAMODE_DATAMODEM

struct LineCapsView {
    char szName[256];   // empty when the service gave no name
    uint32_t dwBearerModes;
    uint32_t dwMediaModes;
    bool bDataModem;    // the voice bearer mode and the data-modem media mode, as the DLL asks
};

// False when the block is too short for the fixed fields read here.
inline bool ReadLineCaps(const uint8_t *pBlock, size_t cbBlock, LineCapsView *pView)
{
    memset(pView, 0, sizeof *pView);
    const size_t cbUsed = TapiUsedSize(pBlock, cbBlock);
    uint32_t dwNameSize = 0, dwNameOffset = 0;
    if (!ReadBlockDword(pBlock, cbUsed, kDevCapsBearerModesOffset, &pView->dwBearerModes) ||
        !ReadBlockDword(pBlock, cbUsed, kDevCapsMediaModesOffset, &pView->dwMediaModes) ||
        !ReadBlockDword(pBlock, cbUsed, kDevCapsLineNameSizeOffset, &dwNameSize) ||
        !ReadBlockDword(pBlock, cbUsed, kDevCapsLineNameOffsetOffset, &dwNameOffset))
        return false;
    ReadBlockText(pBlock, cbUsed, dwNameOffset, dwNameSize, pView->szName, sizeof pView->szName);
    pView->bDataModem = (pView->dwBearerModes & kBearerModeVoice) && (pView->dwMediaModes & kMediaModeDataModem);
    return true;
}

// VARSTRING: where its string lies.
static const size_t kVarStringSizeOffset = 16;
static const size_t kVarStringOffsetOffset = 20;

// The "comm/datamodem" identifier from lineGetID: a port handle as wide as the caller's
// HANDLE (cbHandle: 4 in a 32-bit process, 8 in a 64-bit one), then the port's name.
// Copies the name into pszOut; stores the handle's value in *pqwHandle so that the
// caller can close it. False when the string is too short to hold the handle.
inline bool ReadDataModemId(const uint8_t *pBlock, size_t cbBlock, size_t cbHandle, uint64_t *pqwHandle,
                            char *pszOut, size_t cchOut)
{
    if (cchOut > 0)
        pszOut[0] = 0;
    *pqwHandle = 0;
    const size_t cbUsed = TapiUsedSize(pBlock, cbBlock);
    uint32_t dwSize = 0, dwOffset = 0;
    if (!ReadBlockDword(pBlock, cbUsed, kVarStringSizeOffset, &dwSize) ||
        !ReadBlockDword(pBlock, cbUsed, kVarStringOffsetOffset, &dwOffset))
        return false;
    if (dwSize < cbHandle || dwOffset > cbUsed || cbUsed - dwOffset < dwSize)
        return false;
    for (size_t i = 0; i < cbHandle && i < 8; ++i)
        *pqwHandle |= (uint64_t)pBlock[dwOffset + i] << (8 * i);
    if (dwSize > cbHandle)
        ReadBlockText(pBlock, cbUsed, (uint32_t)(dwOffset + cbHandle), (uint32_t)(dwSize - cbHandle), pszOut, cchOut);
    return true;
}

// The Unimodem device configuration from lineGetDevConfig("comm/datamodem"): a 12-byte
// header (dwSize, dwVersion, fwOptions, wWaitBong), then a COMMCONFIG whose DCB starts
// after dwSize, wVersion and wReserved (8 bytes); the DCB's BaudRate follows its
// DCBlength (4 bytes).
static const size_t kDevCfgHeaderSize = 12;
static const size_t kCommConfigDcbOffset = 8;
static const size_t kDcbBaudRateOffset = 4;
static const size_t kDevCfgBaudRateOffset = kDevCfgHeaderSize + kCommConfigDcbOffset + kDcbBaudRateOffset;

// The configured speed in bit/s; false when the configuration is too short to hold it.
inline bool ReadConfiguredSpeed(const uint8_t *pBlock, size_t cbBlock, uint32_t *pdwSpeed)
{
    *pdwSpeed = 0;
    const size_t cbUsed = TapiUsedSize(pBlock, cbBlock);
    uint32_t dwSize = 0, dwOffset = 0;
    if (!ReadBlockDword(pBlock, cbUsed, kVarStringSizeOffset, &dwSize) ||
        !ReadBlockDword(pBlock, cbUsed, kVarStringOffsetOffset, &dwOffset))
        return false;
    if (dwSize < kDevCfgBaudRateOffset + 4 || dwOffset > cbUsed || cbUsed - dwOffset < dwSize)
        return false;
    return ReadBlockDword(pBlock, cbUsed, dwOffset + kDevCfgBaudRateOffset, pdwSpeed);
}

#endif // TVR_TOOLS_REPORT_TEXT_H
