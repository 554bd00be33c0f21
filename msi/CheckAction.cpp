// TVRMsiCheckPort: can the package's port take the package's speed, and does the device
// on it answer the package's command?
#include "msi/CustomActions.h"

#include "frame/telvarid.h"
#include "msi/ActionText.h"
#include "msi/InstallerSession.h"
#include "serial/CommParams.h"

extern "C" UINT __stdcall TVRMsiCheckPort(MSIHANDLE hInstall)
{
    InstallerSession session;
    if (!BindInstaller(&session, hInstall))
        return ERROR_INSTALL_FAILURE;

    char achPort[kPortNameChars];
    char achSpeed[kSpeedChars];
    char achCommand[TVR_MAX_COMMAND_CHARS + 1];
    CheckRequest request;
    request.portState = ReadProperty(&session, TVR_PROPERTY_CHECK_PORT, achPort, sizeof achPort);
    request.pszPort = achPort;
    request.speedState = ReadProperty(&session, TVR_PROPERTY_CHECK_SPEED, achSpeed, sizeof achSpeed);
    request.pszSpeed = achSpeed;
    request.commandState = ReadProperty(&session, TVR_PROPERTY_CHECK_COMMAND, achCommand, sizeof achCommand);
    request.pszCommand = achCommand;

    DWORD dwBaud = 0;
    const CheckInput input = JudgeCheckInput(&request, &dwBaud);
    int nResult = 0;
    if (input == CHECK_INPUT_OK) {
        const BOOL bSendCommand = request.commandState == PROPERTY_SET;
        nResult = TVRCheckCommParams(achPort, dwBaud, bSendCommand, bSendCommand ? achCommand : NULL) == 1 ? 1 : 0;
    }

    WriteProperty(&session, TVR_PROPERTY_CHECK_RESULT, nResult == 1 ? "1" : "0");
    char achLine[kLogLineChars];
    FormatCheckLine(achLine, &request, input, dwBaud, nResult);
    WriteLogLine(&session, achLine);

    UnbindInstaller(&session);
    return ERROR_SUCCESS;
}
