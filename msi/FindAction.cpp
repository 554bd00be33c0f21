// TVRMsiFindModem: is a modem answering on COM1 to COM4?
#include "msi/CustomActions.h"

#include "frame/telvarid.h"
#include "msi/ActionText.h"
#include "msi/InstallerSession.h"

// The search behind the action: the four ports at once, without a window (a custom
// action has no owner to show one over), so the answer comes in one port's time: 1 and
// the port number (1 to 4) of a modem that answers, 0 and 0 when none does, -1 when the
// search could not run.
static int FindModemPort(int *pnPort)
{
    return TVRFindModem(NULL, NULL, pnPort, 0);
}

extern "C" UINT __stdcall TVRMsiFindModem(MSIHANDLE hInstall)
{
    InstallerSession session;
    if (!BindInstaller(&session, hInstall))
        return ERROR_INSTALL_FAILURE;

    int nPort = 0;
    int nResult = FindModemPort(&nPort);
    // -1: the search could not run, which is not an answer about the modem.
    if (nResult != 1 && nResult != -1)
        nResult = 0;
    char achPort[kFindPortChars];
    PortNameOf(nResult == 1 ? nPort : 0, achPort);

    WriteProperty(&session, TVR_PROPERTY_FIND_RESULT, nResult == 1 ? "1" : nResult == -1 ? "-1" : "0");
    WriteProperty(&session, TVR_PROPERTY_FIND_PORT, achPort);
    char achLine[kLogLineChars];
    FormatFindLine(achLine, nResult, achPort);
    WriteLogLine(&session, achLine);

    UnbindInstaller(&session);
    return ERROR_SUCCESS;
}
