#include "fake_msi.h"

#include <string.h>

#include "fake_platform.h"

namespace fake {
namespace msi {
namespace {

// Result codes, as the documentation numbers them.
const UINT kSuccess = 0;
const UINT kInvalidHandle = 6;     // ERROR_INVALID_HANDLE
const UINT kInvalidParameter = 87; // ERROR_INVALID_PARAMETER
const UINT kMoreData = 234;        // ERROR_MORE_DATA
const DWORD kInfoMessage = 0x04000000; // INSTALLMESSAGE_INFO
const DWORD kFirstRecord = 0x2000;     // records are numbered apart from the installation

struct Record {
    std::vector<std::string> fields; // 0 (the template) to the count asked for
};

struct State {
    Scenario scenario;
    HMODULE hLibrary = nullptr;
    int nLoads = 0;
    int nFrees = 0;
    int nRecords = 0;
    DWORD dwNextRecord = kFirstRecord;
    std::map<DWORD, Record> records;
    std::vector<std::string> logLines;
};

State &S()
{
    static State *s = new State;
    return *s;
}

void ResetMsi() { S() = State(); }

struct Registrar {
    Registrar() { AddResetHook(ResetMsi); }
} g_registrar;

// What the installer's formatting makes of a record: "[n]" is field n, and the rest is
// copied as it stands (the actions use no other kind of reference).
std::string Format(const Record &record)
{
    const std::string &strTemplate = record.fields[0];
    std::string out;
    for (size_t i = 0; i < strTemplate.size(); ++i) {
        if (strTemplate[i] == '[') {
            size_t end = strTemplate.find(']', i);
            std::string strIndex = end == std::string::npos ? "" : strTemplate.substr(i + 1, end - i - 1);
            if (!strIndex.empty() && strIndex.find_first_not_of("0123456789") == std::string::npos) {
                size_t n = std::stoul(strIndex);
                if (n < record.fields.size())
                    out += record.fields[n];
                i = end;
                continue;
            }
        }
        out += strTemplate[i];
    }
    return out;
}

UINT WINAPI FakeMsiGetPropertyA(DWORD hInstall, LPCSTR szName, LPSTR szValueBuf, DWORD *pcchValueBuf)
{
    RecordCall("MsiGetPropertyA(" + Hex(hInstall) + ", " + Str(szName) + ", " + (szValueBuf ? "buffer" : "NULL") +
               ", " + (pcchValueBuf ? std::to_string(*pcchValueBuf) : std::string("NULL")) + ")");
    if (hInstall != kInstallHandle)
        return kInvalidHandle;
    if (!szName || !pcchValueBuf)
        return kInvalidParameter;
    const Scenario &sc = S().scenario;
    auto itError = sc.readErrors.find(szName);
    if (itError != sc.readErrors.end())
        return itError->second;
    auto it = sc.properties.find(szName);
    const std::string strValue = it == sc.properties.end() ? std::string() : it->second;
    const DWORD cchRoom = *pcchValueBuf;
    *pcchValueBuf = static_cast<DWORD>(strValue.size());
    if (strValue.size() + 1 > cchRoom) {
        // As documented: as much as fits, terminated, and the length it needs.
        if (szValueBuf && cchRoom > 0) {
            memcpy(szValueBuf, strValue.data(), cchRoom - 1);
            szValueBuf[cchRoom - 1] = '\0';
        }
        return kMoreData;
    }
    if (szValueBuf)
        memcpy(szValueBuf, strValue.c_str(), strValue.size() + 1);
    return kSuccess;
}

UINT WINAPI FakeMsiSetPropertyA(DWORD hInstall, LPCSTR szName, LPCSTR szValue)
{
    RecordCall("MsiSetPropertyA(" + Hex(hInstall) + ", " + Str(szName) + ", " + Str(szValue) + ")");
    if (hInstall != kInstallHandle)
        return kInvalidHandle;
    if (!szName)
        return kInvalidParameter;
    std::map<std::string, std::string> &properties = S().scenario.properties;
    if (!szValue || !*szValue)
        properties.erase(szName);
    else
        properties[szName] = szValue;
    return kSuccess;
}

DWORD WINAPI FakeMsiCreateRecord(UINT cParams)
{
    RecordCall("MsiCreateRecord(" + std::to_string(cParams) + ")");
    if (TakeFailure("MsiCreateRecord"))
        return 0;
    State &s = S();
    const DWORD hRecord = s.dwNextRecord++;
    s.records[hRecord].fields.assign(cParams + 1, std::string());
    ++s.nRecords;
    return hRecord;
}

UINT WINAPI FakeMsiRecordSetStringA(DWORD hRecord, UINT iField, LPCSTR szValue)
{
    RecordCall("MsiRecordSetStringA(" + Hex(hRecord) + ", " + std::to_string(iField) + ", " + Str(szValue) + ")");
    if (TakeFailure("MsiRecordSetStringA"))
        return kInvalidParameter;
    auto it = S().records.find(hRecord);
    if (it == S().records.end())
        return kInvalidHandle;
    if (iField >= it->second.fields.size())
        return kInvalidParameter;
    it->second.fields[iField] = szValue ? szValue : "";
    return kSuccess;
}

int WINAPI FakeMsiProcessMessage(DWORD hInstall, DWORD eMessageType, DWORD hRecord)
{
    RecordCall("MsiProcessMessage(" + Hex(hInstall) + ", " + Hex(eMessageType) + ", " + Hex(hRecord) + ")");
    auto it = S().records.find(hRecord);
    if (hInstall != kInstallHandle || it == S().records.end())
        return -1;
    if (eMessageType == kInfoMessage)
        S().logLines.push_back(Format(it->second));
    return 0;
}

UINT WINAPI FakeMsiCloseHandle(DWORD hAny)
{
    RecordCall("MsiCloseHandle(" + Hex(hAny) + ")");
    return S().records.erase(hAny) ? kSuccess : kInvalidHandle;
}

template <typename F>
FARPROC AsFarProc(F pfn)
{
    return reinterpret_cast<FARPROC>(reinterpret_cast<void *>(pfn));
}

} // namespace

Scenario &Script() { return S().scenario; }
const std::map<std::string, std::string> &Properties() { return S().scenario.properties; }
const std::vector<std::string> &LogLines() { return S().logLines; }
int LoadCount() { return S().nLoads; }
int FreeCount() { return S().nFrees; }
size_t OpenRecordCount() { return S().records.size(); }
int RecordCount() { return S().nRecords; }

bool IsPresent() { return S().scenario.bLibraryPresent; }
HMODULE &LoadedModule() { return S().hLibrary; }
void CountLoad() { ++S().nLoads; }
void CountFree() { ++S().nFrees; }

FARPROC LookUp(const char *pszName)
{
    for (const std::string &strMissing : S().scenario.missingNames)
        if (strMissing == pszName)
            return nullptr;
    const std::string strName = pszName;
    if (strName == "MsiGetPropertyA")
        return AsFarProc(FakeMsiGetPropertyA);
    if (strName == "MsiSetPropertyA")
        return AsFarProc(FakeMsiSetPropertyA);
    if (strName == "MsiCreateRecord")
        return AsFarProc(FakeMsiCreateRecord);
    if (strName == "MsiRecordSetStringA")
        return AsFarProc(FakeMsiRecordSetStringA);
    if (strName == "MsiProcessMessage")
        return AsFarProc(FakeMsiProcessMessage);
    if (strName == "MsiCloseHandle")
        return AsFarProc(FakeMsiCloseHandle);
    return nullptr;
}

} // namespace msi
} // namespace fake
