// Binding to the installer's library for the length of one custom action, and the
// property and log calls every action shares.
#include "msi/InstallerSession.h"

#include "frame/SystemLibrary.h"

static const char kMsiLibraryName[] = "msi.dll"; // loaded at run time, never linked
// The log message's template: field 1 as it stands. A line used as the template itself
// would have any bracketed text in it (a modem command, say) read as a property name.
static const char kLogTemplate[] = "[1]";

// GetProcAddress answers a generic function pointer; each entry point has its own type.
template <typename PFN>
static PFN LookUp(HMODULE hLibrary, const char *pszName)
{
    return reinterpret_cast<PFN>(reinterpret_cast<void *>(GetProcAddress(hLibrary, pszName)));
}

int BindInstaller(InstallerSession *pSession, MSIHANDLE hInstall)
{
    pSession->hInstall = hInstall;
    pSession->hMsiLibrary = LoadSystemLibrary(kMsiLibraryName);
    if (!pSession->hMsiLibrary) {
        UnbindInstaller(pSession);
        return 0;
    }
    HMODULE hLibrary = pSession->hMsiLibrary;
    pSession->lpfnGetProperty = LookUp<PFN_MSIGETPROPERTYA>(hLibrary, "MsiGetPropertyA");
    pSession->lpfnSetProperty = LookUp<PFN_MSISETPROPERTYA>(hLibrary, "MsiSetPropertyA");
    pSession->lpfnCreateRecord = LookUp<PFN_MSICREATERECORD>(hLibrary, "MsiCreateRecord");
    pSession->lpfnRecordSetString = LookUp<PFN_MSIRECORDSETSTRINGA>(hLibrary, "MsiRecordSetStringA");
    pSession->lpfnProcessMessage = LookUp<PFN_MSIPROCESSMESSAGE>(hLibrary, "MsiProcessMessage");
    pSession->lpfnCloseHandle = LookUp<PFN_MSICLOSEHANDLE>(hLibrary, "MsiCloseHandle");
    if (!pSession->lpfnGetProperty || !pSession->lpfnSetProperty || !pSession->lpfnCreateRecord ||
        !pSession->lpfnRecordSetString || !pSession->lpfnProcessMessage || !pSession->lpfnCloseHandle) {
        UnbindInstaller(pSession);
        return 0;
    }
    return 1;
}

void UnbindInstaller(InstallerSession *pSession)
{
    if (pSession->hMsiLibrary) {
        FreeLibrary(pSession->hMsiLibrary);
        pSession->hMsiLibrary = NULL;
    }
    pSession->lpfnGetProperty = NULL;
    pSession->lpfnSetProperty = NULL;
    pSession->lpfnCreateRecord = NULL;
    pSession->lpfnRecordSetString = NULL;
    pSession->lpfnProcessMessage = NULL;
    pSession->lpfnCloseHandle = NULL;
}

PropertyState ReadProperty(const InstallerSession *pSession, const char *pszName, char *pszValue, DWORD cchValue)
{
    DWORD cch = cchValue;
    const UINT uResult = pSession->lpfnGetProperty(pSession->hInstall, pszName, pszValue, &cch);
    if (uResult == ERROR_SUCCESS && cch < cchValue) {
        // The count is the value's length without its zero; the zero is set again here
        // so that a text is terminated where the count says, whatever the installer wrote.
        pszValue[cch] = '\0';
        return cch == 0 ? PROPERTY_EMPTY : PROPERTY_SET;
    }
    // A cut value is no value: what it would read as (a shorter port name, a smaller
    // speed) is not what the package asked for.
    pszValue[0] = '\0';
    return uResult == ERROR_MORE_DATA || uResult == ERROR_SUCCESS ? PROPERTY_TOO_LONG : PROPERTY_UNREADABLE;
}

void WriteProperty(const InstallerSession *pSession, const char *pszName, const char *pszValue)
{
    // A property the installer refuses to set stays unset, which the package reads as
    // no answer; the log line the action writes still says what was found.
    pSession->lpfnSetProperty(pSession->hInstall, pszName, pszValue);
}

void WriteLogLine(const InstallerSession *pSession, const char *pszLine)
{
    const MSIHANDLE hRecord = pSession->lpfnCreateRecord(1);
    if (hRecord == 0)
        return;
    if (pSession->lpfnRecordSetString(hRecord, 0, kLogTemplate) == ERROR_SUCCESS &&
        pSession->lpfnRecordSetString(hRecord, 1, pszLine) == ERROR_SUCCESS)
        pSession->lpfnProcessMessage(pSession->hInstall, kInstallMessageInfo, hRecord);
    pSession->lpfnCloseHandle(hRecord);
}
