// TVRMsiModemAvailable: does the telephony service list a data modem set up for 9600
// bit/s or more?
#include "msi/CustomActions.h"

#include "frame/telvarid.h"
#include "msi/ActionText.h"
#include "msi/InstallerSession.h"

// The room TVRModemAvailable asks of its caller for a port name.
static const size_t kTelephonyPortChars = 76;

extern "C" UINT __stdcall TVRMsiModemAvailable(MSIHANDLE hInstall)
{
    InstallerSession session;
    if (!BindInstaller(&session, hInstall))
        return ERROR_INSTALL_FAILURE;

    // Cleared first: the query leaves the buffer as it was when it has no name to give.
    char achPort[kTelephonyPortChars];
    achPort[0] = '\0';
    const int nResult = TVRModemAvailable(achPort);
    WriteProperty(&session, TVR_PROPERTY_TELEPHONY_RESULT, nResult == 2 ? "2" : nResult == 1 ? "1" : "0");
    WriteProperty(&session, TVR_PROPERTY_TELEPHONY_PORT, achPort);
    char achLine[kLogLineChars];
    FormatTelephonyLine(achLine, nResult, achPort);
    WriteLogLine(&session, achLine);

    UnbindInstaller(&session);
    return ERROR_SUCCESS;
}
