// Loading TAPI32.DLL from the system folder only.
#ifndef TELVARID_TELEPHONY_TAPILOADER_H
#define TELVARID_TELEPHONY_TAPILOADER_H

#include <windows.h>

// Loads TAPI32.DLL from the system folder and from nowhere else; null when it does not
// load from there.
HMODULE LoadSystemTapiLibrary(void);

#endif
