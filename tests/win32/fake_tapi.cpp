#include "fake_tapi.h"

#include <string.h>
#include <strings.h>

#include "fake_msi.h"
#include "fake_platform.h"

namespace fake {
namespace tapi {
namespace {

// Result codes the service gives of its own accord, as the documentation numbers them.
const LONG kBadDeviceID = static_cast<LONG>(0x80000002);    // LINEERR_BADDEVICEID
const LONG kInvalLineHandle = static_cast<LONG>(0x8000002B); // LINEERR_INVALLINEHANDLE
const DWORD kStringFormatBinary = 4;                         // STRINGFORMAT_BINARY
const HLINE kFirstLine = 0x100; // line handles are 32-bit values the service numbers

// An open line: the handle the service gave out, the device it is on, and the core
// registry handle that stands for it so that the fixture sees a line left open.
struct OpenLine {
    HLINE hLine;
    DWORD dwDeviceID;
    HANDLE hRegistry;
};

struct State {
    Scenario scenario;
    HMODULE hLibrary = nullptr;
    int nLoads = 0;
    int nPlantedLoads = 0;
    int nFrees = 0;
    int nBadFrees = 0;
    int nBadCloses = 0;
    int nShutdowns = 0;
    std::vector<OpenLine> openLines;
    HLINE hNextLine = kFirstLine;
    std::vector<std::vector<BYTE>> capsOnEntry, idOnEntry, configOnEntry;
};

State &S()
{
    static State *s = new State;
    return *s;
}

void ResetTapi() { S() = State(); }

struct Registrar {
    Registrar() { AddResetHook(ResetTapi); }
} g_registrar;

std::string Dec(DWORD dw) { return std::to_string(dw); }

// A heap block argument: its size on the counting heap, or the raw pointer if unknown.
std::string Block(const void *p)
{
    size_t cb = BlockSize(p);
    return cb ? "block" + std::to_string(cb) : Ptr(p);
}

// The service trusts the dwTotalSize the application set, as a real one does.
DWORD TotalSize(const BYTE *p) { DWORD dw; memcpy(&dw, p, 4); return dw; }
void Put(BYTE *p, DWORD cb, DWORD dwOffset, DWORD dwValue)
{
    if (dwOffset + 4 <= cb)
        memcpy(p + dwOffset, &dwValue, 4);
}

const Device *DeviceAt(DWORD dwDeviceID)
{
    const Scenario &sc = S().scenario;
    return dwDeviceID < sc.devices.size() ? &sc.devices[dwDeviceID] : nullptr;
}

// The open line with handle hLine, or null.
OpenLine *FindLine(HLINE hLine)
{
    for (OpenLine &line : S().openLines)
        if (line.hLine == hLine)
            return &line;
    return nullptr;
}

LONG WINAPI FakeLineClose(HLINE hLine)
{
    RecordCall("lineClose(" + Hex(hLine) + ")");
    std::vector<OpenLine> &lines = S().openLines;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].hLine == hLine) {
            CloseFakeHandle(lines[i].hRegistry);
            lines.erase(lines.begin() + static_cast<long>(i));
            return 0;
        }
    }
    ++S().nBadCloses;
    return kInvalLineHandle;
}

LONG WINAPI FakeLineGetDevCaps(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPIVersion, DWORD dwExtVersion,
                               LPLINEDEVCAPS lpLineDevCaps)
{
    BYTE *p = reinterpret_cast<BYTE *>(lpLineDevCaps);
    RecordCall("lineGetDevCaps(" + Hex(hLineApp) + ", " + Dec(dwDeviceID) + ", " + Hex(dwAPIVersion) + ", " +
               Dec(dwExtVersion) + ", " + Block(p) + ")");
    DWORD cb = TotalSize(p);
    S().capsOnEntry.emplace_back(p, p + cb);
    const Device *pDev = DeviceAt(dwDeviceID);
    if (!pDev)
        return kBadDeviceID;
    if (pDev->lDevCapsResult < 0)
        return pDev->lDevCapsResult;
    const DWORD cbFixed = 240;
    DWORD cbName = static_cast<DWORD>(pDev->strLineName.size() + 1);
    DWORD cbNeeded = cbFixed + cbName;
    // The fixed part is overwritten; a real service leaves the rest of the buffer alone.
    memset(p + 4, 0, cbFixed - 4);
    Put(p, cb, 4, cbNeeded);
    Put(p, cb, 28, pDev->dwPermanentLineID);
    Put(p, cb, 52, pDev->dwBearerModes);
    Put(p, cb, 60, pDev->dwMediaModes);
    if (cbNeeded <= cb) {
        memcpy(p + cbFixed, pDev->strLineName.c_str(), cbName);
        Put(p, cb, 8, cbNeeded);
        Put(p, cb, 32, cbName);
        Put(p, cb, 36, cbFixed);
    } else {
        Put(p, cb, 8, cbFixed);
    }
    if (pDev->fnPatchCaps)
        pDev->fnPatchCaps(p, cb);
    return pDev->lDevCapsResult;
}

LONG WINAPI FakeLineGetDevConfig(DWORD dwDeviceID, LPVARSTRING lpDeviceConfig, LPCSTR lpszDeviceClass)
{
    BYTE *p = reinterpret_cast<BYTE *>(lpDeviceConfig);
    RecordCall("lineGetDevConfig(" + Dec(dwDeviceID) + ", " + Block(p) + ", " + Str(lpszDeviceClass) + ")");
    DWORD cb = TotalSize(p);
    S().configOnEntry.emplace_back(p, p + cb);
    const Device *pDev = DeviceAt(dwDeviceID);
    if (!pDev)
        return kBadDeviceID;
    if (pDev->lDevConfigResult < 0 && !pDev->bAnswerOnFailure)
        return pDev->lDevConfigResult;
    const DWORD cbConfig = 112; // header 12 + COMMCONFIG 52 + MODEMSETTINGS 48
    DWORD cbNeeded = 24 + cbConfig;
    Put(p, cb, 4, cbNeeded);
    if (cbNeeded <= cb) {
        Put(p, cb, 8, cbNeeded);
        Put(p, cb, 12, kStringFormatBinary);
        Put(p, cb, 16, cbConfig);
        Put(p, cb, 20, 24);
        Put(p, cb, 24, cbConfig);
        Put(p, cb, 28, 0x00010003);
        Put(p, cb, 36, 100);
        Put(p, cb, 44, 28);              // DCBlength
        Put(p, cb, 48, pDev->dwBaudRate); // BaudRate
        Put(p, cb, 76, 52);
        Put(p, cb, 80, 48);
        Put(p, cb, 88, 48);
    } else {
        Put(p, cb, 8, 24);
        Put(p, cb, 16, 0);
    }
    if (pDev->fnPatchConfig)
        pDev->fnPatchConfig(p, cb);
    return pDev->lDevConfigResult;
}

LONG WINAPI FakeLineGetID(HLINE hLine, DWORD dwAddressID, HCALL hCall, DWORD dwSelect, LPVARSTRING lpDeviceID,
                          LPCSTR lpszDeviceClass)
{
    BYTE *p = reinterpret_cast<BYTE *>(lpDeviceID);
    RecordCall("lineGetID(" + Hex(hLine) + ", " + Dec(dwAddressID) + ", " + Dec(hCall) + ", " + Dec(dwSelect) +
               ", " + Block(p) + ", " + Str(lpszDeviceClass) + ")");
    DWORD cb = TotalSize(p);
    S().idOnEntry.emplace_back(p, p + cb);
    const OpenLine *pLine = FindLine(hLine);
    if (!pLine)
        return kInvalLineHandle;
    const Device *pDev = DeviceAt(pLine->dwDeviceID);
    if (!pDev)
        return kBadDeviceID;
    if (pDev->lGetIDResult < 0 && !pDev->bAnswerOnFailure)
        return pDev->lGetIDResult;
    // The identifier: the port handle, little-endian in cbPortHandle bytes, then the name.
    const DWORD cbHandle = pDev->cbPortHandle;
    DWORD cbString = static_cast<DWORD>(cbHandle + pDev->strPortName.size() + 1);
    DWORD cbNeeded = 24 + cbString;
    Put(p, cb, 4, cbNeeded);
    if (cbNeeded <= cb) {
        Put(p, cb, 8, cbNeeded);
        Put(p, cb, 12, kStringFormatBinary);
        Put(p, cb, 16, cbString);
        Put(p, cb, 20, 24);
        for (DWORD i = 0; i < cbHandle; ++i)
            p[24 + i] = static_cast<BYTE>(i < 8 ? pDev->qwPortHandle >> (8 * i) : 0);
        memcpy(p + 24 + cbHandle, pDev->strPortName.c_str(), pDev->strPortName.size() + 1);
    } else {
        Put(p, cb, 8, 24);
        Put(p, cb, 16, 0);
        Put(p, cb, 20, 0);
    }
    if (pDev->fnPatchID)
        pDev->fnPatchID(p, cb);
    return pDev->lGetIDResult;
}

LONG WINAPI FakeLineInitialize(LPHLINEAPP lphLineApp, HINSTANCE hInstance, LINECALLBACK lpfnCallback,
                               LPCSTR lpszAppName, LPDWORD lpdwNumDevs)
{
    RecordCall("lineInitialize(" + Ptr(lphLineApp) + ", " + Ptr(hInstance) + ", " +
               Ptr(reinterpret_cast<void *>(lpfnCallback)) + ", " + Str(lpszAppName) + ", " + Ptr(lpdwNumDevs) +
               ")");
    const Scenario &sc = S().scenario;
    if (sc.lInitResult < 0)
        return sc.lInitResult;
    if (sc.bWriteLineApp)
        *lphLineApp = sc.hLineApp;
    if (sc.bWriteCount)
        *lpdwNumDevs = sc.bOverrideCount ? sc.dwLineCount : static_cast<DWORD>(sc.devices.size());
    // The callback must be callable at any time; call it once as a service might.
    if (lpfnCallback)
        lpfnCallback(0, 0, 0, 0, 0, 0);
    return sc.lInitResult;
}

LONG WINAPI FakeLineNegotiateAPIVersion(HLINEAPP hLineApp, DWORD dwDeviceID, DWORD dwAPILowVersion,
                                        DWORD dwAPIHighVersion, LPDWORD lpdwAPIVersion,
                                        LPLINEEXTENSIONID lpExtensionID)
{
    RecordCall("lineNegotiateAPIVersion(" + Hex(hLineApp) + ", " + Dec(dwDeviceID) + ", " + Hex(dwAPILowVersion) +
               ", " + Hex(dwAPIHighVersion) + ", " + (lpdwAPIVersion ? "&version" : "NULL") + ", " +
               (lpExtensionID ? "&extension" : "NULL") + ")");
    const Device *pDev = DeviceAt(dwDeviceID);
    if (!pDev)
        return kBadDeviceID;
    if (pDev->lNegotiateResult >= 0 && pDev->bWriteAgreedVersion)
        *lpdwAPIVersion = pDev->dwAgreedVersion;
    if (pDev->lNegotiateResult >= 0)
        memset(lpExtensionID, 0xEE, sizeof *lpExtensionID);
    return pDev->lNegotiateResult;
}

LONG WINAPI FakeLineOpen(HLINEAPP hLineApp, DWORD dwDeviceID, LPHLINE lphLine, DWORD dwAPIVersion,
                         DWORD dwExtVersion, DWORD_PTR dwCallbackInstance, DWORD dwPrivileges, DWORD dwMediaModes,
                         LPLINECALLPARAMS lpCallParams)
{
    RecordCall("lineOpen(" + Hex(hLineApp) + ", " + Dec(dwDeviceID) + ", " + (lphLine ? "&line" : "NULL") + ", " +
               Hex(dwAPIVersion) + ", " + Dec(dwExtVersion) + ", " + std::to_string(dwCallbackInstance) +
               ", " + Hex(dwPrivileges) + ", " + Hex(dwMediaModes) + ", " + Ptr(lpCallParams) + ")");
    const Device *pDev = DeviceAt(dwDeviceID);
    if (!pDev)
        return kBadDeviceID;
    if (pDev->lOpenResult < 0)
        return pDev->lOpenResult;
    OpenLine line = {S().hNextLine++, dwDeviceID, NewHandle("line " + Dec(dwDeviceID))};
    S().openLines.push_back(line);
    *lphLine = line.hLine;
    return pDev->lOpenResult;
}

LONG WINAPI FakeLineShutdown(HLINEAPP hLineApp)
{
    RecordCall("lineShutdown(" + Hex(hLineApp) + ")");
    ++S().nShutdowns;
    return 0;
}

template <typename F>
FARPROC AsFarProc(F pfn)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(pfn));
}

} // namespace

Scenario &Script() { return S().scenario; }

Device DataModem(const std::string &strPort, DWORD dwBaud)
{
    Device d;
    d.strPortName = strPort;
    d.dwBaudRate = dwBaud;
    d.strLineName = "Modem on " + strPort;
    return d;
}

int LoadCount() { return S().nLoads; }
int PlantedLoadCount() { return S().nPlantedLoads; }
int FreeCount() { return S().nFrees; }
int BadFreeCount() { return S().nBadFrees; }
int BadCloseCount() { return S().nBadCloses; }
size_t OpenLineCount() { return S().openLines.size(); }
int ShutdownCount() { return S().nShutdowns; }
const std::vector<std::vector<BYTE>> &CapsOnEntry() { return S().capsOnEntry; }
const std::vector<std::vector<BYTE>> &IdOnEntry() { return S().idOnEntry; }
const std::vector<std::vector<BYTE>> &ConfigOnEntry() { return S().configOnEntry; }

} // namespace tapi
} // namespace fake

using namespace fake;

// Any of the LOAD_LIBRARY_SEARCH_ flags (0x100 to 0x1000), which restrict the search.
static const DWORD kSearchFlags = 0x00001F00;
static const DWORD kSearchSystem32 = 0x00000800;

HMODULE WINAPI LoadLibraryExA(LPCSTR lpLibFileName, HANDLE hFile, DWORD dwFlags)
{
    RecordCall("LoadLibraryExA(" + Str(lpLibFileName) + ", " + Ptr(hFile) + ", " + Hex(dwFlags) + ")");
    tapi::State &s = tapi::S();
    const tapi::Scenario &sc = s.scenario;
    if (TakeFailure("LoadLibraryExA"))
        return nullptr;
    if (!lpLibFileName || hFile || ((dwFlags & kSearchFlags) && !sc.bSearchFlagsKnown)) {
        SetLastError(ERROR_INVALID_PARAMETER);
        return nullptr;
    }
    const std::string &strDir = sc.strSystemDir;
    const bool bSeparator = !strDir.empty() && strDir.back() == '\\';
    const std::string strSystemPath = strDir + (bSeparator ? "" : "\\") + "TAPI32.DLL";
    // The installer's library stands in the same system folder, and nowhere else.
    const std::string strMsiPath = strDir + (bSeparator ? "" : "\\") + "msi.dll";
    if (strcasecmp(lpLibFileName, strMsiPath.c_str()) == 0 || strcasecmp(lpLibFileName, "msi.dll") == 0) {
        const bool bByPath = strcasecmp(lpLibFileName, "msi.dll") != 0;
        if (!msi::IsPresent() || (!bByPath && (dwFlags & kSearchFlags) && !(dwFlags & kSearchSystem32))) {
            SetLastError(ERROR_MOD_NOT_FOUND);
            return nullptr;
        }
        msi::LoadedModule() = reinterpret_cast<HMODULE>(NewHandle("library msi.dll in the system folder"));
        msi::CountLoad();
        return msi::LoadedModule();
    }
    bool bFound = false;
    bool bPlanted = false;
    if (strcasecmp(lpLibFileName, strSystemPath.c_str()) == 0) {
        bFound = sc.bLibraryPresent;
    } else if (strcasecmp(lpLibFileName, "TAPI32.DLL") == 0) {
        if (dwFlags & kSearchFlags) {
            // Only the system folder among the folders asked for holds one.
            bFound = (dwFlags & kSearchSystem32) && sc.bLibraryPresent;
        } else if (sc.bPlantedBesideProgram) {
            // The default order: the program's own folder comes first.
            bFound = bPlanted = true;
        } else {
            bFound = sc.bLibraryPresent;
        }
    }
    if (!bFound) {
        SetLastError(ERROR_MOD_NOT_FOUND);
        return nullptr;
    }
    s.hLibrary = reinterpret_cast<HMODULE>(
        NewHandle(bPlanted ? "library TAPI32.DLL beside the program" : "library TAPI32.DLL in the system folder"));
    ++s.nLoads;
    if (bPlanted)
        ++s.nPlantedLoads;
    return s.hLibrary;
}

UINT WINAPI GetSystemDirectoryA(LPSTR lpBuffer, UINT uSize)
{
    RecordCall(std::string("GetSystemDirectoryA(") + (lpBuffer ? "buffer" : "NULL") + ", " + tapi::Dec(uSize) + ")");
    if (TakeFailure("GetSystemDirectoryA"))
        return 0;
    const std::string &strDir = tapi::S().scenario.strSystemDir;
    const UINT cchNeeded = static_cast<UINT>(strDir.size() + 1);
    if (!lpBuffer || uSize < cchNeeded) {
        // What a too-small buffer holds is not the folder: no zero anywhere in it.
        if (lpBuffer)
            memset(lpBuffer, 'X', uSize);
        return cchNeeded;
    }
    memcpy(lpBuffer, strDir.c_str(), cchNeeded);
    return cchNeeded - 1;
}

FARPROC WINAPI GetProcAddress(HMODULE hModule, LPCSTR lpProcName)
{
    RecordCall("GetProcAddress(" + Ptr(hModule) + ", " + Str(lpProcName) + ")");
    tapi::State &s = tapi::S();
    if (hModule && hModule == msi::LoadedModule() && IsOpenHandle(reinterpret_cast<HANDLE>(hModule)))
        return msi::LookUp(lpProcName);
    if (!hModule || hModule != s.hLibrary || !IsOpenHandle(reinterpret_cast<HANDLE>(hModule)))
        return nullptr;
    for (const std::string &strMissing : s.scenario.missingNames)
        if (strMissing == lpProcName)
            return nullptr;
    std::string strName = lpProcName;
    if (strName == "lineClose")
        return tapi::AsFarProc(tapi::FakeLineClose);
    if (strName == "lineGetDevCaps")
        return tapi::AsFarProc(tapi::FakeLineGetDevCaps);
    if (strName == "lineGetDevConfig")
        return tapi::AsFarProc(tapi::FakeLineGetDevConfig);
    if (strName == "lineGetID")
        return tapi::AsFarProc(tapi::FakeLineGetID);
    if (strName == "lineInitialize")
        return tapi::AsFarProc(tapi::FakeLineInitialize);
    if (strName == "lineNegotiateAPIVersion")
        return tapi::AsFarProc(tapi::FakeLineNegotiateAPIVersion);
    if (strName == "lineOpen")
        return tapi::AsFarProc(tapi::FakeLineOpen);
    if (strName == "lineShutdown" && s.scenario.bHasShutdown)
        return tapi::AsFarProc(tapi::FakeLineShutdown);
    return nullptr;
}

BOOL WINAPI FreeLibrary(HMODULE hLibModule)
{
    RecordCall("FreeLibrary(" + Ptr(hLibModule) + ")");
    tapi::State &s = tapi::S();
    if (hLibModule && hLibModule == msi::LoadedModule() && CloseFakeHandle(reinterpret_cast<HANDLE>(hLibModule))) {
        msi::LoadedModule() = nullptr;
        msi::CountFree();
        return TRUE;
    }
    if (!hLibModule || hLibModule != s.hLibrary || !CloseFakeHandle(reinterpret_cast<HANDLE>(hLibModule))) {
        ++s.nBadFrees;
        SetLastError(ERROR_INVALID_HANDLE);
        return FALSE;
    }
    s.hLibrary = nullptr;
    ++s.nFrees;
    return TRUE;
}
