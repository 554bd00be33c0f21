// Reading the check's inputs and writing each action's log line (wsprintfA writes it).
#include "msi/ActionText.h"

#include "serial/CommParams.h"
#include "serial/CommandText.h"

static const char kLinePrefix[] = "telvarid: "; // finds the actions' lines in a long log

// Why a check did not run, by CheckInput (CHECK_INPUT_OK has no reason).
static const char *const kRefusals[] = {
    "",
    TVR_PROPERTY_CHECK_PORT " is not set",
    TVR_PROPERTY_CHECK_PORT " is longer than 255 characters",
    TVR_PROPERTY_CHECK_SPEED " is not set",
    TVR_PROPERTY_CHECK_SPEED " is not a speed in bit/s",
    TVR_PROPERTY_CHECK_COMMAND " is longer than 254 characters",
    "a property could not be read",
};
static_assert(sizeof kRefusals / sizeof kRefusals[0] == CHECK_INPUT_UNREADABLE + 1, "one reason per refusal");

void PortNameOf(int nPort, char achName[kFindPortChars])
{
    achName[0] = '\0';
    if (nPort >= 1 && nPort <= 4)
        wsprintfA(achName, "COM%d", nPort);
}

CheckInput JudgeCheckInput(const CheckRequest *pRequest, DWORD *pdwBaud)
{
    if (pRequest->portState == PROPERTY_UNREADABLE || pRequest->speedState == PROPERTY_UNREADABLE ||
        pRequest->commandState == PROPERTY_UNREADABLE)
        return CHECK_INPUT_UNREADABLE;
    if (pRequest->portState == PROPERTY_EMPTY)
        return CHECK_INPUT_NO_PORT;
    if (pRequest->portState == PROPERTY_TOO_LONG)
        return CHECK_INPUT_PORT_TOO_LONG;
    if (pRequest->speedState == PROPERTY_EMPTY)
        return CHECK_INPUT_NO_SPEED;
    if (pRequest->speedState == PROPERTY_TOO_LONG || !ParseSpeed(pRequest->pszSpeed, pdwBaud))
        return CHECK_INPUT_BAD_SPEED;
    // A command longer than the check sends is refused here as the check would refuse
    // it, so the log can say why.
    if (pRequest->commandState == PROPERTY_TOO_LONG ||
        BoundedTextLength(pRequest->pszCommand, TVR_MAX_COMMAND_CHARS) > TVR_MAX_COMMAND_CHARS)
        return CHECK_INPUT_COMMAND_TOO_LONG;
    return CHECK_INPUT_OK;
}

// " NAME=value", or " NAME unset" for an empty value (the installer removes a property
// set to nothing), ends the find's and the telephony's lines.
static const char *PortAssignment(const char *pszPort)
{
    return *pszPort == '\0' ? " unset" : "=";
}

void FormatFindLine(char achLine[kLogLineChars], int nResult, const char *pszPort)
{
    const char *pszFound = "no modem answers";
    if (nResult == 1)
        pszFound = *pszPort != '\0' ? "a modem answers on " : "a modem answers";
    else if (nResult == -1)
        pszFound = "the search could not run";
    else
        nResult = 0;
    wsprintfA(achLine, "%sCOM1-COM4 searched: %s%s; " TVR_PROPERTY_FIND_RESULT "=%d " TVR_PROPERTY_FIND_PORT "%s%s",
              kLinePrefix, pszFound, nResult == 1 ? pszPort : "", nResult, PortAssignment(pszPort), pszPort);
}

void FormatCheckLine(char achLine[kLogLineChars], const CheckRequest *pRequest, CheckInput input, DWORD dwBaud,
                     int nResult)
{
    const int nShown = nResult == 1 ? 1 : 0;
    if (input != CHECK_INPUT_OK) {
        // A speed that is no number is shown, so that the package's mistake can be seen.
        const BOOL bShowSpeed = input == CHECK_INPUT_BAD_SPEED && pRequest->speedState == PROPERTY_SET;
        wsprintfA(achLine, "%snot checked: %s%s%s%s; " TVR_PROPERTY_CHECK_RESULT "=%d", kLinePrefix, kRefusals[input],
                  bShowSpeed ? ": \"" : "", bShowSpeed ? pRequest->pszSpeed : "", bShowSpeed ? "\"" : "", nShown);
        return;
    }
    const BOOL bCommand = pRequest->commandState == PROPERTY_SET;
    wsprintfA(achLine, "%s%s checked at %u bit/s %s%s%s: %s; " TVR_PROPERTY_CHECK_RESULT "=%d", kLinePrefix,
              pRequest->pszPort, static_cast<unsigned>(dwBaud), bCommand ? "with \"" : "without a command",
              bCommand ? pRequest->pszCommand : "", bCommand ? "\"" : "", nShown ? "passed" : "failed", nShown);
}

void FormatTelephonyLine(char achLine[kLogLineChars], int nResult, const char *pszPort)
{
    const char *pszFound = "no data modem, or no telephony";
    if (nResult == 2)
        pszFound = "a data modem at 9600 bit/s or more";
    else if (nResult == 1)
        pszFound = "data modems, none at 9600 bit/s or more";
    else
        nResult = 0;
    wsprintfA(achLine, "%stelephony asked: %s; " TVR_PROPERTY_TELEPHONY_RESULT "=%d " TVR_PROPERTY_TELEPHONY_PORT "%s%s",
              kLinePrefix, pszFound, nResult, PortAssignment(pszPort), pszPort);
}
