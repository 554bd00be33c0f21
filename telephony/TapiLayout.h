// Byte layouts of the telephony blocks the modem query allocates, and the pure
// functions that preset them and read what the service wrote into them. Nothing here
// calls the platform: every read is bounded by the size of the block it lives in, so a
// service that returns an offset or a size pointing outside its block yields an empty
// or missing value, never a read past the block.
#ifndef TVR_TELEPHONY_TAPILAYOUT_H
#define TVR_TELEPHONY_TAPILAYOUT_H

#include <windows.h>

// VARSTRING fields, by byte offset.
#define VARSTRING_TOTALSIZE 0
#define VARSTRING_NEEDEDSIZE 4
#define VARSTRING_USEDSIZE 8
#define VARSTRING_STRINGFORMAT 12
#define VARSTRING_STRINGSIZE 16
#define VARSTRING_STRINGOFFSET 20
#define VARSTRING_FIXEDSIZE 24 // the string room starts after the six fields

// LINEDEVCAPS fields, by byte offset.
#define DEVCAPS_TOTALSIZE 0
#define DEVCAPS_NEEDEDSIZE 4
#define DEVCAPS_PERMANENTLINEID 28
#define DEVCAPS_LINENAMESIZE 32
#define DEVCAPS_LINENAMEOFFSET 36
#define DEVCAPS_BEARERMODES 52
#define DEVCAPS_MEDIAMODES 60

// Capabilities buffer: the 240-byte fixed part of LINEDEVCAPS (through dwLineFeatures)
// plus 255 bytes of room for the variable part, where the line name is asked for.
#define DEVCAPS_FIXEDSIZE 240
#define DEVCAPS_NAMEROOM 255
#define DEVCAPS_BUFFERSIZE (DEVCAPS_FIXEDSIZE + DEVCAPS_NAMEROOM) // 495

// Port identifier block for lineGetID "comm/datamodem": VARSTRING plus 80 bytes of
// string room, which holds the port handle and the port name. The handle is a HANDLE,
// as wide as a pointer of the build (4 bytes on x86, 8 on x86-64), so its width is not
// a constant of this layout: the reader is told it.
#define PORTID_STRINGROOM 80
#define PORTID_BLOCKSIZE (VARSTRING_FIXEDSIZE + PORTID_STRINGROOM) // 104
// The caller's port-name buffer, the same on every build: the longest name that fits
// the string room after the handle and its own zero is 75 characters on x86 (80 - 4 - 1)
// and 71 on x86-64 (80 - 8 - 1), and no name longer than 75 characters is ever written.
#define PORTNAME_BUFFERSIZE 76

// Device-configuration block for lineGetDevConfig "comm/datamodem": VARSTRING whose
// string is a 12-byte Unimodem header and a 100-byte COMMCONFIG (52 bytes of its own
// and 48 bytes of MODEMSETTINGS as provider data).
#define DEVCFG_BLOCKSIZE 136
#define DEVCFG_STRINGSIZE 112     // header and COMMCONFIG
#define DEVCFG_HDR_SIZE 24        // UMDEVCFGHDR dwSize
#define DEVCFG_HDR_VERSION 28     // UMDEVCFGHDR dwVersion
#define DEVCFG_CC_SIZE 36         // COMMCONFIG dwSize
#define DEVCFG_CC_VERSION 40      // COMMCONFIG wVersion (16 bits)
#define DEVCFG_BAUDRATE 48        // DCB BaudRate inside COMMCONFIG dcb (which starts at 44)
#define DEVCFG_PROVIDEROFFSET 76  // COMMCONFIG dwProviderOffset
#define DEVCFG_PROVIDERSIZE 80    // COMMCONFIG dwProviderSize
#define DEVCFG_MS_ACTUALSIZE 88   // MODEMSETTINGS dwActualSize
#define DEVCFG_COMMCONFIGSIZE 100 // COMMCONFIG with its MODEMSETTINGS
#define DEVCFG_PROVIDERDATAOFFSET 52 // MODEMSETTINGS follows the 52-byte COMMCONFIG
#define DEVCFG_MODEMSETTINGSSIZE 48
#define DEVCFG_COMMCONFIGVERSION 1

// Line names are kept to 255 characters and a terminating zero.
#define LINENAME_FIELDSIZE 256

// The 32-bit little-endian value at dwOffset of a block of cbBlock bytes; 0 when the
// four bytes do not all lie inside the block.
DWORD ReadBlockDword(const BYTE *pBlock, DWORD cbBlock, DWORD dwOffset);
// Stores dwValue little-endian at dwOffset; does nothing when it would not fit.
void WriteBlockDword(BYTE *pBlock, DWORD cbBlock, DWORD dwOffset, DWORD dwValue);
void WriteBlockWord(BYTE *pBlock, DWORD cbBlock, DWORD dwOffset, WORD wValue);

// Size of a table of dwLineCount entries (4 + 268 per entry) in *pcbTable. FALSE when it
// does not fit in 32 bits, which counts as a failed allocation.
BOOL ModemTableSize(DWORD dwLineCount, DWORD *pcbTable);

// Zeroes the 495-byte capabilities buffer and presets dwTotalSize, dwLineNameSize and
// dwLineNameOffset.
void PresetDevCapsBuffer(BYTE *pCaps);
// Copies the line name of a filled capabilities buffer, the text at dwLineNameOffset up
// to its zero, into a 256-byte field with strncpy semantics (count 255, rest zero-filled)
// and a zero in the last byte; the copy never reads past the buffer. dwLineNameSize is
// not consulted. The field gets the empty string when the capabilities did not fit
// (dwNeededSize above the buffer size) or when the offset lies at or past its end.
void CopyLineName(const BYTE *pCaps, DWORD cbCaps, char *pszLineName);

// Zeroes the 104-byte port identifier block and presets dwTotalSize, dwStringSize and
// dwStringOffset.
void PresetPortIdentifierBlock(BYTE *pBlock);
// Copies the port name of a filled port identifier block (the text after the port
// handle, which is cbPortHandle bytes wide: sizeof(HANDLE) of the build that reads it)
// up to its zero into pszPortName, at most 75 characters and its terminating zero, and
// writes nothing beyond that zero. The name stops at the end of the block at the latest;
// dwStringSize does not cut it. Returns FALSE, writing nothing at all, when the block
// holds no name: the identifier did not fit (dwNeededSize above the block), the service
// left the string out (dwStringSize no larger than the handle, or dwUsedSize not
// reaching past the handle), or the string's offset leaves no room for a name inside
// the block.
BOOL CopyPortName(const BYTE *pBlock, DWORD cbBlock, DWORD cbPortHandle, char *pszPortName);

// Zeroes the 136-byte device-configuration block and presets its eleven fields.
void PresetDevConfigBlock(BYTE *pBlock);
// The configured speed, the DCB BaudRate at block offset 48, when the service returned
// the configuration: the whole configuration fit (dwNeededSize within the block), a
// string came back (dwStringSize not 0) and the service used the block at least through
// the BaudRate field (dwUsedSize of 52 or more). Otherwise 0: not known to be fast.
DWORD ReadConfiguredSpeed(const BYTE *pBlock, DWORD cbBlock);

#endif // TVR_TELEPHONY_TAPILAYOUT_H
