// The telephony block readers over any block contents, sizes and offsets, for both
// widths of the port handle. The first byte chooses the reader, the next two the
// block's size (0 to 1023 bytes); the rest fills the block, whose heap allocation is
// exactly that size, so a read past it is a sanitizer error. The outputs are checked
// against the readers' stated rules, restated here without the library's code.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "fake_platform.h"
#include "fuzz_input.h"
#include "telephony/TapiLayout.h"

namespace {

const size_t kPortBuffer = 76;  // the caller's port-name buffer
const size_t kNameField = 256;  // a table entry's line-name field
const unsigned char kSentinel = 0xA5;

DWORD Dword(const BYTE *p, size_t cb, size_t at)
{
    if (at + 4 > cb)
        return 0;
    return (DWORD)p[at] | ((DWORD)p[at + 1] << 8) | ((DWORD)p[at + 2] << 16) | ((DWORD)p[at + 3] << 24);
}

// A port name either leaves the buffer untouched or is a copy of the bytes after the
// handle, at most 75 of them, ended by the first zero of the buffer, with nothing
// written after that zero.
void FuzzPortName(const BYTE *pBlock, DWORD cbBlock, DWORD cbHandle)
{
    unsigned char *pOut = static_cast<unsigned char *>(malloc(kPortBuffer));
    memset(pOut, kSentinel, kPortBuffer);
    BOOL bName = CopyPortName(pBlock, cbBlock, cbHandle, reinterpret_cast<char *>(pOut));
    const DWORD dwNeeded = Dword(pBlock, cbBlock, 4);
    const DWORD dwUsed = Dword(pBlock, cbBlock, 8);
    const DWORD dwStringSize = Dword(pBlock, cbBlock, 16);
    const uint64_t qwStart = (uint64_t)Dword(pBlock, cbBlock, 20) + cbHandle;
    // Each stated reason for "no name" gives no name.
    if (dwNeeded > cbBlock || dwStringSize <= cbHandle || dwUsed <= qwStart || qwStart >= cbBlock)
        Check(!bName);
    if (!bName) {
        for (size_t i = 0; i < kPortBuffer; ++i)
            Check(pOut[i] == kSentinel);
    } else {
        size_t n = 0;
        while (n < kPortBuffer && pOut[n] != 0)
            ++n;
        Check(n < kPortBuffer);
        Check(n <= 75);
        Check(qwStart + n <= cbBlock);
        Check(memcmp(pOut, pBlock + qwStart, n) == 0);
        // The name stopped at the block's zero, at the block's end, or at 75 characters.
        Check(qwStart + n == cbBlock || pBlock[qwStart + n] == 0 || n == 75);
        for (size_t i = n + 1; i < kPortBuffer; ++i)
            Check(pOut[i] == kSentinel);
    }
    free(pOut);
}

// A line name is the text at dwLineNameOffset, up to its zero, at most 255 characters,
// zero-filled to the end of the 256-byte field; empty when the capabilities did not
// fit or the offset lies outside the block.
void FuzzLineName(const BYTE *pBlock, DWORD cbBlock)
{
    unsigned char *pOut = static_cast<unsigned char *>(malloc(kNameField));
    memset(pOut, kSentinel, kNameField);
    CopyLineName(pBlock, cbBlock, reinterpret_cast<char *>(pOut));
    Check(pOut[kNameField - 1] == 0);
    size_t n = 0;
    while (pOut[n] != 0)
        ++n;
    for (size_t i = n; i < kNameField; ++i)
        Check(pOut[i] == 0);
    const DWORD dwNeeded = Dword(pBlock, cbBlock, 4);
    const DWORD dwOffset = Dword(pBlock, cbBlock, 36);
    if (dwNeeded > cbBlock || dwOffset >= cbBlock) {
        Check(n == 0);
    } else {
        Check(dwOffset + n <= cbBlock);
        Check(memcmp(pOut, pBlock + dwOffset, n) == 0);
        Check(dwOffset + n == cbBlock || pBlock[dwOffset + n] == 0 || n == 255);
    }
    free(pOut);
}

// The speed is 0 or the value at offset 48, never anything else.
void FuzzSpeed(const BYTE *pBlock, DWORD cbBlock)
{
    DWORD dwSpeed = ReadConfiguredSpeed(pBlock, cbBlock);
    if (dwSpeed != 0) {
        Check(cbBlock >= 52);
        Check(dwSpeed == Dword(pBlock, cbBlock, 48));
        Check(Dword(pBlock, cbBlock, 4) <= cbBlock);
        Check(Dword(pBlock, cbBlock, 8) >= 52);
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t cbData)
{
    fake::Reset();
    if (cbData < 3)
        return 0;
    const unsigned nReader = pData[0] % 4;
    const DWORD cbBlock = ((DWORD)pData[1] | ((DWORD)pData[2] << 8)) % 1024;
    pData += 3;
    cbData -= 3;
    BYTE *pBlock = static_cast<BYTE *>(malloc(cbBlock ? cbBlock : 1));
    // The fuzzer's bytes, then zeros: small inputs still make whole blocks.
    memset(pBlock, 0, cbBlock);
    memcpy(pBlock, pData, cbData < cbBlock ? cbData : cbBlock);
    switch (nReader) {
    case 0:
        FuzzLineName(pBlock, cbBlock);
        break;
    case 1:
        FuzzPortName(pBlock, cbBlock, 4);
        break;
    case 2:
        FuzzPortName(pBlock, cbBlock, 8);
        break;
    default:
        FuzzSpeed(pBlock, cbBlock);
        break;
    }
    free(pBlock);
    return 0;
}
