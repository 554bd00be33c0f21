// Loading the telephony library from the system folder and from nowhere else. Kept apart
// from the binding so that tvrprobe loads it with the very same code.
#include "telephony/TapiLoader.h"

#include "frame/SystemLibrary.h"

static const char kTapiLibraryName[] = "TAPI32.DLL"; // loaded at run time, never linked

HMODULE LoadSystemTapiLibrary(void)
{
    return LoadSystemLibrary(kTapiLibraryName);
}
