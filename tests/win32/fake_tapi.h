// The telephony part of the Win32 test double: LoadLibraryExA, GetSystemDirectoryA,
// GetProcAddress and FreeLibrary, and the line functions of a scriptable telephony
// service. A test fills fake::tapi::Script() with the library's presence, the names it
// lacks, the answer of lineInitialize and the line devices; every call is logged in the
// core call log with its arguments (heap blocks appear with their size), libraries and
// lines are handles of the core registry, so the fixture catches any left open. The same
// loader finds the installer's msi.dll in the system folder (fake_msi.h).
#ifndef TVR_TEST_FAKE_TAPI_H
#define TVR_TEST_FAKE_TAPI_H

#include <windows.h>

#include <stdint.h>

#include <functional>
#include <string>
#include <vector>

#include "telephony/TapiDefs.h"

namespace fake {
namespace tapi {

// Rewrites a block after the service's own answer has been written into it.
typedef std::function<void(BYTE *pBlock, DWORD cbBlock)> BlockPatch;

// The values are written as the published documentation gives them, not taken from the
// library's own definitions: the defaults are a line offering API version 1.3
// (0x00010003) with the voice bearer mode (0x1) and the data-modem media mode (0x10).
struct Device {
    LONG lNegotiateResult = 0;
    DWORD dwAgreedVersion = 0x00010003;
    bool bWriteAgreedVersion = true;
    // lineGetDevCaps: fills the LINEDEVCAPS like a service would (the line name only
    // when it fits, all or nothing), then applies fnPatchCaps.
    LONG lDevCapsResult = 0;
    DWORD dwBearerModes = 0x00000001;
    DWORD dwMediaModes = 0x00000010;
    DWORD dwPermanentLineID = 0;
    std::string strLineName = "Fake Modem";
    BlockPatch fnPatchCaps;
    // lineOpen, lineGetID "comm/datamodem": the port handle, cbPortHandle bytes wide
    // (4 or 8; by default as wide as a HANDLE of this build, like a real service's),
    // holding the low bytes of qwPortHandle, then the port name and its zero.
    LONG lOpenResult = 0;
    LONG lGetIDResult = 0;
    DWORD cbPortHandle = sizeof(HANDLE);
    uint64_t qwPortHandle = 0;
    std::string strPortName = "COM1";
    BlockPatch fnPatchID;
    // lineGetDevConfig "comm/datamodem": the Unimodem configuration with this speed.
    LONG lDevConfigResult = 0;
    DWORD dwBaudRate = 9600;
    BlockPatch fnPatchConfig;
    // lineGetID and lineGetDevConfig write their whole answer (and apply their patch)
    // even when they return a failure, as a careless service might.
    bool bAnswerOnFailure = false;
};

struct Scenario {
    // The loader. TAPI32.DLL stands in the system folder when bLibraryPresent; a second
    // copy stands beside the program when bPlantedBesideProgram, and a load by bare
    // name without a search flag finds that one first, as the platform's default
    // search order does. bSearchFlagsKnown false is a loader that predates the
    // LOAD_LIBRARY_SEARCH_ flags: it refuses any of them with ERROR_INVALID_PARAMETER.
    // GetSystemDirectoryA answers strSystemDir (and, for a buffer too small, the size it
    // needs, zero included, as documented).
    bool bLibraryPresent = true;
    bool bPlantedBesideProgram = false;
    bool bSearchFlagsKnown = true;
    std::string strSystemDir = "C:\\WINDOWS\\system32";
    std::vector<std::string> missingNames; // GetProcAddress answers null for these
    bool bHasShutdown = true;              // whether lineShutdown is exported
    LONG lInitResult = 0;
    bool bWriteLineApp = true; // lineInitialize writes the handle...
    bool bWriteCount = true;   // ...and the device count (Wine's writes neither)
    HLINEAPP hLineApp = 0x00C0FFEE;
    bool bOverrideCount = false; // report dwLineCount instead of devices.size()
    DWORD dwLineCount = 0;
    std::vector<Device> devices;
};

// The scenario of the current test; reset to a library with no devices by fake::Reset.
Scenario &Script();
// A device that is a data modem on strPort configured at dwBaud.
Device DataModem(const std::string &strPort, DWORD dwBaud);

int LoadCount();     // successful LoadLibraryExA calls, of either copy
int PlantedLoadCount(); // of those, the loads of the copy beside the program
int FreeCount();     // FreeLibrary calls given the loaded handle
int BadFreeCount();  // FreeLibrary calls given anything else
int BadCloseCount(); // lineClose calls given a line that is not open
size_t OpenLineCount();
int ShutdownCount();
// The bytes of each block as the library handed it to the service (its preset, before
// the service wrote anything), one per call of each kind, in call order.
const std::vector<std::vector<BYTE>> &CapsOnEntry();
const std::vector<std::vector<BYTE>> &IdOnEntry();
const std::vector<std::vector<BYTE>> &ConfigOnEntry();

} // namespace tapi
} // namespace fake

#endif // TVR_TEST_FAKE_TAPI_H
