// The Windows Installer custom actions: each asks one of the library's questions for the
// package that runs it, sets the answer in public properties and writes one line to the
// installer's log.
//
//   TVRMsiFindModem        TVRFindModem (COM1 to COM4 at once, no window)
//                          -> TVR_FIND_RESULT, TVR_FIND_PORT
//   TVRMsiCheckPort        TVR_CHECK_PORT, TVR_CHECK_SPEED, TVR_CHECK_COMMAND -> JudgeCheckInput
//                          -> TVRCheckCommParams -> TVR_CHECK_RESULT
//   TVRMsiModemAvailable   TVRModemAvailable -> TVR_TELEPHONY_RESULT, TVR_TELEPHONY_PORT
//
// Each binds to the installer (BindInstaller) for the length of its run and returns
// ERROR_SUCCESS whatever the answer: a missing modem, or an input that cannot be used, is
// an answer (0, and the log says why), not a failed installation. Only an action that
// cannot reach the installer at all (msi.dll not loadable from the system folder)
// returns ERROR_INSTALL_FAILURE, with nothing set. They run as immediate actions: a
// deferred action sees no properties.
#ifndef TVR_MSI_CUSTOMACTIONS_H
#define TVR_MSI_CUSTOMACTIONS_H

#include <windows.h>

#include "msi/MsiDefs.h"

extern "C" UINT __stdcall TVRMsiFindModem(MSIHANDLE hInstall);
extern "C" UINT __stdcall TVRMsiCheckPort(MSIHANDLE hInstall);
extern "C" UINT __stdcall TVRMsiModemAvailable(MSIHANDLE hInstall);

#endif // TVR_MSI_CUSTOMACTIONS_H
