// TVRMsiFindModem: is a modem answering on COM1 to COM4?
#include "msi/CustomActions.h"

#include "frame/telvarid.h"
#include "msi/ActionText.h"
#include "msi/InstallerSession.h"

// The search behind the action: the four ports at once, without a window (a custom
// action has no owner to show one over), so the answer comes in one port's time.
int FindModemPort(int *pnPort)
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
    char achPort[kNumberChars + 4];
    PortNameOf(nResult == 1 ? nPort : 0, achPort, sizeof achPort);

    WriteProperty(&session, TVR_PROPERTY_FIND_RESULT, nResult == 1 ? "1" : nResult == -1 ? "-1" : "0");
    WriteProperty(&session, TVR_PROPERTY_FIND_PORT, achPort);
    char achLine[kLogLineChars];
    FormatFindLine(achLine, sizeof achLine, nResult, achPort);
    WriteLogLine(&session, achLine);

    UnbindInstaller(&session);
    return ERROR_SUCCESS;
}
