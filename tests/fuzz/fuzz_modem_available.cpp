// TVRModemAvailable on the unit double, with a telephony service scripted by the
// fuzzer's bytes: whether the library loads and which names it lacks, lineInitialize's
// answer and device count, and for each line device every result code, its modes, its
// line and port names, the width of its port handle, its configured speed, whether it
// fills its blocks even when it fails, and header fields patched to any value.
//
// Invariants: the caller's 76-byte buffer (a heap block of exactly that size) is never
// written past, and holds a zero within its 76 bytes whenever it was written; it is
// untouched when the answer is 0; every heap block is freed, every opened line closed,
// the library released as often as it was loaded (at most once), the registration ended
// at most once; the answer is 0, 1 or 2 and agrees with what the service listed.
#include <stddef.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>

#include "fake_platform.h"
#include "fake_tapi.h"
#include "fuzz_input.h"
#include "telephony/ModemQuery.h"

namespace {

// Result codes a service gives: success, a positive request ID, the version refusal
// that skips a device, and failures.
LONG Result(FuzzBytes &in)
{
    static const LONG kResults[] = {0, 0, 0, 0, 1, 0x7FFFFFFF, (LONG)0x8000000C, (LONG)0x80000048,
                                    (LONG)0x80000002, (LONG)0x80000044, (LONG)0xFFFFFFFF};
    return kResults[in.U8() % (sizeof kResults / sizeof kResults[0])];
}

const char *const kNames[] = {"lineClose", "lineGetDevCaps", "lineGetDevConfig", "lineGetID",
                              "lineInitialize", "lineNegotiateAPIVersion", "lineOpen", "lineShutdown"};

// Patches the four header fields that a reader trusts, each with a chosen value.
fake::tapi::BlockPatch HeaderPatch(FuzzBytes &in, DWORD dwOffsetA, DWORD dwOffsetB, DWORD dwOffsetC, DWORD dwOffsetD)
{
    const DWORD adwOffsets[4] = {dwOffsetA, dwOffsetB, dwOffsetC, dwOffsetD};
    DWORD adwValues[4];
    uint8_t bMask = in.U8();
    for (int i = 0; i < 4; ++i)
        adwValues[i] = (bMask >> i) & 1 ? in.U32() : 0xFFFFFFFF;
    return [=](BYTE *p, DWORD cb) {
        for (int i = 0; i < 4; ++i)
            if (adwValues[i] != 0xFFFFFFFF && adwOffsets[i] + 4 <= cb)
                memcpy(p + adwOffsets[i], &adwValues[i], 4);
    };
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *pData, size_t cbData)
{
    fake::Reset();
    FuzzBytes in(pData, cbData);
    fake::tapi::Scenario &sc = fake::tapi::Script();
    const uint8_t bSetup = in.U8();
    sc.bLibraryPresent = (bSetup & 0x0F) != 0;
    if ((bSetup & 0x30) == 0x30)
        sc.missingNames.push_back(kNames[in.U8() % 8]);
    sc.bHasShutdown = (bSetup & 0x40) == 0;
    // A loader without LOAD_LIBRARY_SEARCH_SYSTEM32: the library comes by its full path.
    sc.bSearchFlagsKnown = (bSetup & 0x80) == 0;
    sc.lInitResult = Result(in);
    const uint8_t bInit = in.U8();
    sc.bWriteLineApp = (bInit & 1) == 0;
    sc.bWriteCount = (bInit & 2) == 0;
    if ((bInit & 0x0C) == 0x0C) {
        sc.bOverrideCount = true;
        static const DWORD kCounts[] = {0, 1, 2, 7, 1000, 100000, 0xFFFFFFFF};
        sc.dwLineCount = kCounts[in.U8() % (sizeof kCounts / sizeof kCounts[0])];
    }
    bool abConfigPatched[8] = {};
    const size_t cDevices = in.U8() % 7;
    for (size_t i = 0; i < cDevices; ++i) {
        fake::tapi::Device dev;
        dev.lNegotiateResult = Result(in);
        const uint8_t bFlags = in.U8();
        dev.bWriteAgreedVersion = (bFlags & 1) == 0;
        dev.bAnswerOnFailure = (bFlags & 2) != 0;
        dev.cbPortHandle = (bFlags & 4) ? 4 : 8;
        dev.lDevCapsResult = Result(in);
        dev.dwBearerModes = (bFlags & 8) ? in.U32() : 0x1;
        dev.dwMediaModes = (bFlags & 16) ? in.U32() : 0x10;
        dev.dwPermanentLineID = in.U32();
        dev.strLineName = in.Text(300);
        dev.lOpenResult = Result(in);
        dev.lGetIDResult = Result(in);
        dev.qwPortHandle = in.U32();
        dev.strPortName = in.Text(100);
        dev.lDevConfigResult = Result(in);
        dev.dwBaudRate = in.U32();
        const uint8_t bPatches = in.U8();
        // LINEDEVCAPS: dwNeededSize, dwUsedSize, dwLineNameSize, dwLineNameOffset.
        if (bPatches & 1)
            dev.fnPatchCaps = HeaderPatch(in, 4, 8, 32, 36);
        // VARSTRING: dwNeededSize, dwUsedSize, dwStringSize, dwStringOffset.
        if (bPatches & 2)
            dev.fnPatchID = HeaderPatch(in, 4, 8, 16, 20);
        if (bPatches & 4) {
            dev.fnPatchConfig = HeaderPatch(in, 4, 8, 16, 20);
            abConfigPatched[i] = true;
        }
        sc.devices.push_back(dev);
    }

    char *pszName = static_cast<char *>(malloc(76));
    memset(pszName, 0x5A, 76);
    const int nResult = TVRModemAvailable(pszName);

    // Everything acquired was given back.
    Check(nResult >= 0 && nResult <= 2);
    Check(fake::OpenHandleCount() == 0);
    Check(fake::tapi::OpenLineCount() == 0);
    Check(fake::tapi::BadCloseCount() == 0);
    Check(fake::tapi::BadFreeCount() == 0);
    Check(fake::tapi::LoadCount() == fake::tapi::FreeCount());
    Check(fake::tapi::LoadCount() <= 1);
    Check(fake::tapi::ShutdownCount() <= 1);
    Check(fake::LiveBlocks() == 1); // the caller's buffer, nothing else

    // The caller's buffer.
    bool bWritten = false;
    for (int i = 0; i < 76; ++i)
        bWritten = bWritten || pszName[i] != 0x5A;
    if (bWritten)
        Check(memchr(pszName, 0, 76) != NULL);
    if (nResult == 0)
        Check(!bWritten);

    // Agreement with the service. The seven functions the query needs, a successful
    // registration and at least one line device are needed for any answer but 0.
    bool bBinds = sc.bLibraryPresent && sc.lInitResult >= 0 && sc.bWriteCount;
    for (const std::string &strMissing : sc.missingNames)
        bBinds = bBinds && strMissing == "lineShutdown";
    const DWORD dwCount = sc.bOverrideCount ? sc.dwLineCount : static_cast<DWORD>(sc.devices.size());
    if (!bBinds || dwCount == 0)
        Check(nResult == 0);
    // Only a listed data modem makes 1 or 2; only a readable fast one makes 2.
    bool bAnyModem = false, bAnyFast = false, bTableFails = dwCount > sc.devices.size();
    bool bAnyFastSure = false;
    for (size_t i = 0; i < sc.devices.size() && i < dwCount; ++i) {
        const fake::tapi::Device &d = sc.devices[i];
        if (d.lNegotiateResult == (LONG)0x8000000C)
            continue;
        if (d.lNegotiateResult < 0 || d.lDevCapsResult < 0) {
            bTableFails = true;
            break;
        }
        if (!(d.dwBearerModes & 0x1) || !(d.dwMediaModes & 0x10))
            continue;
        bAnyModem = true;
        if (d.lDevConfigResult >= 0 && d.dwBaudRate >= 9600) {
            bAnyFast = true;
            bAnyFastSure = bAnyFastSure || !abConfigPatched[i];
        }
    }
    if (nResult >= 1)
        Check(bAnyModem && !bTableFails);
    if (nResult == 2)
        Check(bAnyFast);
    if (bBinds && dwCount >= 1 && !bTableFails && bAnyModem && sc.bWriteLineApp) {
        Check(nResult >= 1);
        if (bAnyFastSure)
            Check(nResult == 2);
        if (!bAnyFast)
            Check(nResult == 1);
    }
    free(pszName);
    return 0;
}
