// TVRMsiFindModem: is a modem answering on COM1 to COM4?
#include "msi/CustomActions.h"

#include "frame/telvarid.h"
#include "msi/ActionText.h"
#include "msi/InstallerSession.h"

// The search behind the action. The scan tries the four ports in turn; it answers the
// same question as the find with all four ports at once, only more slowly.
int FindModemPort(int *pnPort)
{
    return TVRScanForModem(pnPort);
}

extern "C" UINT __stdcall TVRMsiFindModem(MSIHANDLE hInstall)
{
    InstallerSession session;
    if (!BindInstaller(&session, hInstall))
        return ERROR_INSTALL_FAILURE;

    int nPort = 0;
    const int nResult = FindModemPort(&nPort) == 1 ? 1 : 0;
    char achPort[kNumberChars + 4];
    PortNameOf(nResult == 1 ? nPort : 0, achPort, sizeof achPort);

    WriteProperty(&session, TVR_PROPERTY_FIND_RESULT, nResult == 1 ? "1" : "0");
    WriteProperty(&session, TVR_PROPERTY_FIND_PORT, achPort);
    char achLine[kLogLineChars];
    FormatFindLine(achLine, sizeof achLine, nResult, achPort);
    WriteLogLine(&session, achLine);

    UnbindInstaller(&session);
    return ERROR_SUCCESS;
}
