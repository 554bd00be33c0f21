// The installer part of the Win32 test double: msi.dll as the loader fakes find it in
// the system folder, and the six installer functions the custom actions bind. A test
// fills fake::msi::Script() with the library's presence, the names it lacks and the
// package's properties; every call is logged in the core call log, each record is
// counted open until it is closed, and each log message is kept as the installer's log
// would show it.
#ifndef TVR_TEST_FAKE_MSI_H
#define TVR_TEST_FAKE_MSI_H

#include <windows.h>

#include <map>
#include <string>
#include <vector>

namespace fake {
namespace msi {

// The installation handle a test gives an action; any other is refused as invalid.
const DWORD kInstallHandle = 0x4D534931;

struct Scenario {
    bool bLibraryPresent = true;            // msi.dll stands in the system folder
    std::vector<std::string> missingNames;  // GetProcAddress answers null for these
    std::map<std::string, std::string> properties;
    // MsiGetPropertyA answers this error (and nothing) for these property names.
    std::map<std::string, UINT> readErrors;
};

// The scenario of the current test; reset to a present library with no properties.
Scenario &Script();
// The properties as the actions left them (a property set to nothing is removed).
const std::map<std::string, std::string> &Properties();
// The text of each INSTALLMESSAGE_INFO message, its template applied as the installer
// applies it ("[1]" is field 1).
const std::vector<std::string> &LogLines();
int LoadCount();          // successful loads of msi.dll
int FreeCount();          // FreeLibrary calls given the loaded handle
size_t OpenRecordCount(); // records created and not yet closed
int RecordCount();        // records created

// For the loader fakes: whether a load of msi.dll from the system folder finds it, the
// handle that load gave (null when not loaded), and the entry points.
bool IsPresent();
HMODULE &LoadedModule();
void CountLoad();
void CountFree();
FARPROC LookUp(const char *pszName);

} // namespace msi
} // namespace fake

#endif // TVR_TEST_FAKE_MSI_H
