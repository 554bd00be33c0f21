// The binding to the installer that runs a custom action: msi.dll from the system folder,
// its six functions, and the few things an action does with them (read a property, set
// one, write a line to the installer's log).
//
//   BindInstaller:   msi.dll from the system folder only (LoadSystemLibrary)
//                    -> GetProcAddress x6 -> all found? 1 : release, 0
//   ReadProperty:    MsiGetPropertyA into the caller's buffer: set, empty, too long or
//                    unreadable
//   WriteProperty:   MsiSetPropertyA (an empty value removes the property)
//   WriteLogLine:    MsiCreateRecord(1) -> field 0 "[1]", field 1 the line
//                    -> MsiProcessMessage(INSTALLMESSAGE_INFO) -> MsiCloseHandle
//   UnbindInstaller: FreeLibrary
#ifndef TVR_MSI_INSTALLERSESSION_H
#define TVR_MSI_INSTALLERSESSION_H

#include <windows.h>

#include "msi/MsiDefs.h"

// One binding, held by one action for the length of its run.
struct InstallerSession {
    MSIHANDLE hInstall;     // the installation the action was given
    HMODULE hMsiLibrary;    // the loaded msi.dll; null when none is loaded
    PFN_MSIGETPROPERTYA lpfnGetProperty;
    PFN_MSISETPROPERTYA lpfnSetProperty;
    PFN_MSICREATERECORD lpfnCreateRecord;
    PFN_MSIRECORDSETSTRINGA lpfnRecordSetString;
    PFN_MSIPROCESSMESSAGE lpfnProcessMessage;
    PFN_MSICLOSEHANDLE lpfnCloseHandle;
};

// What a property read found.
enum PropertyState {
    PROPERTY_SET,        // the value is in the buffer
    PROPERTY_EMPTY,      // not set (the installer does not tell an empty value from none)
    PROPERTY_TOO_LONG,   // longer than the buffer holds; the buffer is emptied
    PROPERTY_UNREADABLE  // the installer refused the read; the buffer is emptied
};

// Returns 1 when msi.dll is loaded from the system folder and the six functions are
// bound; otherwise 0 with nothing loaded. On 1 the caller calls UnbindInstaller once.
int BindInstaller(InstallerSession *pSession, MSIHANDLE hInstall);
// Releases msi.dll and clears the entry points.
void UnbindInstaller(InstallerSession *pSession);
// Reads property pszName into pszValue (cchValue characters, the zero included, at
// least 1); the buffer always ends up holding a terminated text.
PropertyState ReadProperty(const InstallerSession *pSession, const char *pszName, char *pszValue, DWORD cchValue);
// Sets property pszName to pszValue; an empty value removes it.
void WriteProperty(const InstallerSession *pSession, const char *pszName, const char *pszValue);
// Writes pszLine, as it stands, as one line of the installer's log.
void WriteLogLine(const InstallerSession *pSession, const char *pszLine);

#endif // TVR_MSI_INSTALLERSESSION_H
