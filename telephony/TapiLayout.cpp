// Presetting and reading the telephony blocks by byte offset, without platform calls.
#include "telephony/TapiLayout.h"

#include <string.h>

#include "telephony/TapiDefs.h"

// Largest block size the library asks the heap for: sizes are 32-bit throughout.
static const unsigned long long kMaxBlockSize = 0xFFFFFFFFull;
static const DWORD kTableHeaderSize = 4;  // dwCount
static const DWORD kTableEntrySize = 268; // one ModemEntry

// True when cbWant bytes starting at dwOffset lie inside a block of cbBlock bytes.
static BOOL FitsInBlock(DWORD cbBlock, DWORD dwOffset, DWORD cbWant)
{
    return (unsigned long long)dwOffset + cbWant <= cbBlock;
}

DWORD ReadBlockDword(const BYTE *pBlock, DWORD cbBlock, DWORD dwOffset)
{
    if (!FitsInBlock(cbBlock, dwOffset, 4))
        return 0;
    const BYTE *p = pBlock + dwOffset;
    return (DWORD)p[0] | ((DWORD)p[1] << 8) | ((DWORD)p[2] << 16) | ((DWORD)p[3] << 24);
}

void WriteBlockDword(BYTE *pBlock, DWORD cbBlock, DWORD dwOffset, DWORD dwValue)
{
    if (!FitsInBlock(cbBlock, dwOffset, 4))
        return;
    BYTE *p = pBlock + dwOffset;
    p[0] = (BYTE)dwValue;
    p[1] = (BYTE)(dwValue >> 8);
    p[2] = (BYTE)(dwValue >> 16);
    p[3] = (BYTE)(dwValue >> 24);
}

void WriteBlockWord(BYTE *pBlock, DWORD cbBlock, DWORD dwOffset, WORD wValue)
{
    if (!FitsInBlock(cbBlock, dwOffset, 2))
        return;
    pBlock[dwOffset] = (BYTE)wValue;
    pBlock[dwOffset + 1] = (BYTE)(wValue >> 8);
}

BOOL ModemTableSize(DWORD dwLineCount, DWORD *pcbTable)
{
    unsigned long long cbTable = kTableHeaderSize + (unsigned long long)kTableEntrySize * dwLineCount;
    if (cbTable > kMaxBlockSize)
        return FALSE;
    *pcbTable = (DWORD)cbTable;
    return TRUE;
}

void PresetDevCapsBuffer(BYTE *pCaps)
{
    memset(pCaps, 0, DEVCAPS_BUFFERSIZE);
    WriteBlockDword(pCaps, DEVCAPS_BUFFERSIZE, DEVCAPS_LINENAMESIZE, DEVCAPS_NAMEROOM);
    WriteBlockDword(pCaps, DEVCAPS_BUFFERSIZE, DEVCAPS_LINENAMEOFFSET, DEVCAPS_FIXEDSIZE);
    WriteBlockDword(pCaps, DEVCAPS_BUFFERSIZE, DEVCAPS_TOTALSIZE, DEVCAPS_BUFFERSIZE);
}

void CopyLineName(const BYTE *pCaps, DWORD cbCaps, char *pszLineName)
{
    memset(pszLineName, 0, LINENAME_FIELDSIZE);
    DWORD dwNeeded = ReadBlockDword(pCaps, cbCaps, DEVCAPS_NEEDEDSIZE);
    DWORD dwOffset = ReadBlockDword(pCaps, cbCaps, DEVCAPS_LINENAMEOFFSET);
    // Capabilities that did not fit may lack the name; an offset at or past the end of
    // the buffer leaves nothing to read.
    if (dwNeeded > cbCaps || dwOffset >= cbCaps)
        return;
    // strncpy with a count of 255, stopping at the end of the buffer. dwLineNameSize is
    // not consulted: the name runs to its zero.
    DWORD cbCopy = cbCaps - dwOffset;
    if (cbCopy > LINENAME_FIELDSIZE - 1)
        cbCopy = LINENAME_FIELDSIZE - 1;
    const char *pszSource = (const char *)pCaps + dwOffset;
    for (DWORD i = 0; i < cbCopy && pszSource[i] != '\0'; ++i)
        pszLineName[i] = pszSource[i];
}

void PresetPortIdentifierBlock(BYTE *pBlock)
{
    memset(pBlock, 0, PORTID_BLOCKSIZE);
    WriteBlockDword(pBlock, PORTID_BLOCKSIZE, VARSTRING_TOTALSIZE, PORTID_BLOCKSIZE);
    WriteBlockDword(pBlock, PORTID_BLOCKSIZE, VARSTRING_STRINGSIZE, PORTID_STRINGROOM);
    WriteBlockDword(pBlock, PORTID_BLOCKSIZE, VARSTRING_STRINGOFFSET, VARSTRING_FIXEDSIZE);
}

BOOL CopyPortName(const BYTE *pBlock, DWORD cbBlock, DWORD cbPortHandle, char *pszPortName)
{
    DWORD dwNeeded = ReadBlockDword(pBlock, cbBlock, VARSTRING_NEEDEDSIZE);
    DWORD dwUsed = ReadBlockDword(pBlock, cbBlock, VARSTRING_USEDSIZE);
    DWORD dwStringSize = ReadBlockDword(pBlock, cbBlock, VARSTRING_STRINGSIZE);
    DWORD dwStringOffset = ReadBlockDword(pBlock, cbBlock, VARSTRING_STRINGOFFSET);
    unsigned long long qwNameStart = (unsigned long long)dwStringOffset + cbPortHandle;
    if (dwNeeded > cbBlock || dwStringSize <= cbPortHandle || dwUsed <= qwNameStart || qwNameStart >= cbBlock)
        return FALSE;
    // The name ends at its zero or at the end of the block, whichever comes first, and
    // is cut to what the caller's buffer holds. dwStringSize only tells whether a name
    // came back at all; it does not bound the name.
    DWORD cchRoom = cbBlock - (DWORD)qwNameStart;
    if (cchRoom > PORTNAME_BUFFERSIZE - 1)
        cchRoom = PORTNAME_BUFFERSIZE - 1;
    const char *pszSource = (const char *)pBlock + (DWORD)qwNameStart;
    DWORD cch = 0;
    while (cch < cchRoom && pszSource[cch] != '\0')
        ++cch;
    memcpy(pszPortName, pszSource, cch);
    pszPortName[cch] = '\0';
    return TRUE;
}

void PresetDevConfigBlock(BYTE *pBlock)
{
    // The fields the service fills are zeroed too, so that a service that claims
    // success without writing leaves a configuration that reads as not returned.
    memset(pBlock, 0, DEVCFG_BLOCKSIZE);
    DWORD cb = DEVCFG_BLOCKSIZE;
    WriteBlockDword(pBlock, cb, VARSTRING_TOTALSIZE, DEVCFG_BLOCKSIZE);
    WriteBlockDword(pBlock, cb, VARSTRING_STRINGFORMAT, STRINGFORMAT_BINARY);
    WriteBlockDword(pBlock, cb, VARSTRING_STRINGSIZE, DEVCFG_STRINGSIZE);
    WriteBlockDword(pBlock, cb, VARSTRING_STRINGOFFSET, VARSTRING_FIXEDSIZE);
    WriteBlockDword(pBlock, cb, DEVCFG_HDR_SIZE, DEVCFG_STRINGSIZE);
    WriteBlockDword(pBlock, cb, DEVCFG_HDR_VERSION, TVR_TAPI_VERSION);
    WriteBlockDword(pBlock, cb, DEVCFG_CC_SIZE, DEVCFG_COMMCONFIGSIZE);
    WriteBlockWord(pBlock, cb, DEVCFG_CC_VERSION, DEVCFG_COMMCONFIGVERSION);
    WriteBlockDword(pBlock, cb, DEVCFG_PROVIDEROFFSET, DEVCFG_PROVIDERDATAOFFSET);
    WriteBlockDword(pBlock, cb, DEVCFG_PROVIDERSIZE, DEVCFG_MODEMSETTINGSSIZE);
    WriteBlockDword(pBlock, cb, DEVCFG_MS_ACTUALSIZE, DEVCFG_MODEMSETTINGSSIZE);
}

DWORD ReadConfiguredSpeed(const BYTE *pBlock, DWORD cbBlock)
{
    DWORD dwNeeded = ReadBlockDword(pBlock, cbBlock, VARSTRING_NEEDEDSIZE);
    DWORD dwUsed = ReadBlockDword(pBlock, cbBlock, VARSTRING_USEDSIZE);
    DWORD dwStringSize = ReadBlockDword(pBlock, cbBlock, VARSTRING_STRINGSIZE);
    if (dwNeeded > cbBlock || dwStringSize == 0 || dwUsed < DEVCFG_BAUDRATE + 4)
        return 0;
    return ReadBlockDword(pBlock, cbBlock, DEVCFG_BAUDRATE);
}
