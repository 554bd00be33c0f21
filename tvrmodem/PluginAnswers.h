// What each function of the NSIS plug-in TvrModem answers, apart from NSIS's stack: the
// arguments come in as 8-bit text (NULL for one the script did not push), the answer
// goes out as up to two texts. tvrmodem/NsisEntries.cpp moves both across the stack in
// the installer's character set; everything here is the same in every flavour, and
// runs on the unit level's test double.
#ifndef TVR_TVRMODEM_PLUGINANSWERS_H
#define TVR_TVRMODEM_PLUGINANSWERS_H

#include <windows.h>

#include "serial/SpeedText.h"

// Room for the longest port name TVRModemAvailable writes (76 bytes with its zero).
#define TVR_PLUGIN_PORT_CHARS 80

struct PluginAnswer {
    char szPort[TVR_PLUGIN_PORT_CHARS]; // pushed first where the function has a port: "COM3", or ""
    char szResult[8];                   // pushed last: "0", "1", "2", "cancel" or "error"
    BOOL bError;                        // the script's error flag is set as well ("error")
};


// Scan: TVRScanForModem; the port "COM1" to "COM4" that answered, or "".
void AnswerScan(PluginAnswer *pAnswer);

// CheckPort: TVRCheckCommParams on pszPort at the speed pszSpeed, sending pszCommand
// when it is not empty. A missing argument (NULL) or a speed ParseSpeed refuses gives
// "error" without touching any port.
void AnswerCheckPort(LPCSTR pszPort, LPCSTR pszSpeed, LPCSTR pszCommand, PluginAnswer *pAnswer);

// ModemAvailable: TVRModemAvailable; the port name of the modem examined, or "".
void AnswerModemAvailable(PluginAnswer *pAnswer);

// Find: TVRFindModem with the ports probed at once, modal on hwndOwner (NULL: no window);
// pszMessage NULL shows the library's own text. The port that answered, or "", and
// "1", "0", or "cancel" where the search was cancelled or could not run (the export's
// -1), so that a cancel never reads as "no modem".
void AnswerFind(HWND hwndOwner, LPCWSTR pszMessage, PluginAnswer *pAnswer);

#endif // TVR_TVRMODEM_PLUGINANSWERS_H
