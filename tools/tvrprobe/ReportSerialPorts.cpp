// The report's serial ports: COM1 to COM4, which the modem scan tries, and every other
// port Windows lists under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, each opened
// and probed as the scan does it (2400 bit/s 8N1, "ATE0V1" then "AT", one read of up to
// 128 bytes) and shown as missing, held by another program, silent, or answering and
// what it answered. A port stays closed, and its line says why, when it is a Bluetooth
// serial port (always), under --no-probe, and when --ports names other ports.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "ReportParts.h"
#include "ReportText.h"

static const int kFirstPort = 1;                 // the ports the scan tries: COM1..COM4
static const int kLastPort = 4;
static const DWORD kProbeBaudRate = 2400;        // the scan's speed, which every Hayes modem takes
static const DWORD kQueueSize = 80;              // the scan's driver queues, in and out
static const DWORD kReplySize = 128;             // the scan reads at most this much
static const DWORD kDrainLimitMs = 1000;         // a device that never falls silent stops the drain here
static const DWORD kPurgeInput = PURGE_RXABORT | PURGE_RXCLEAR;
// The scan's time-outs: a one-byte read gives up after 550 ms of silence, the reply read
// 500 ms after the last byte or 6.9 s after it began; a write may take 10 ms a byte plus
// a second.
static const COMMTIMEOUTS kProbeTimeouts = {500, 50, 500, 10, 1000};

struct PortFinding {
    DWORD dwOpenError;        // 0 when the port opened
    const char *pszFailedStep; // the first step after the open that failed, or NULL
    DWORD dwStepError;
    unsigned char rgbReply[kReplySize];
    DWORD cbReply;
};

static void DrainInput(HANDLE hPort)
{
    PurgeComm(hPort, kPurgeInput);
    DWORD dwStart = GetTickCount();
    for (;;) {
        char chDiscard;
        DWORD cbRead = 0;
        ReadFile(hPort, &chDiscard, 1, &cbRead, NULL);
        if (cbRead == 0 || GetTickCount() - dwStart >= kDrainLimitMs)
            return;
    }
}

// Records the step that failed and its error; always returns false.
static bool StepFailed(PortFinding *pFinding, const char *pszStep)
{
    pFinding->pszFailedStep = pszStep;
    pFinding->dwStepError = GetLastError();
    return false;
}

static bool SendLine(HANDLE hPort, const char *pszLine, PortFinding *pFinding)
{
    DWORD cbWritten = 0;
    if (!WriteFile(hPort, pszLine, (DWORD)strlen(pszLine), &cbWritten, NULL))
        return StepFailed(pFinding, "WriteFile");
    return true;
}

// The scan's dialogue on an open port: line settings, time-outs, queues, drain,
// "ATE0V1", drain, "AT", one read.
static bool RunProbeDialogue(HANDLE hPort, PortFinding *pFinding)
{
    DCB dcb;
    memset(&dcb, 0, sizeof dcb);
    dcb.DCBlength = sizeof dcb;
    if (!GetCommState(hPort, &dcb))
        return StepFailed(pFinding, "GetCommState");
    dcb.BaudRate = kProbeBaudRate;
    dcb.ByteSize = 8;
    dcb.Parity = NOPARITY;
    dcb.StopBits = ONESTOPBIT;
    if (!SetCommState(hPort, &dcb))
        return StepFailed(pFinding, "SetCommState");
    COMMTIMEOUTS timeouts = kProbeTimeouts;
    if (!SetCommTimeouts(hPort, &timeouts))
        return StepFailed(pFinding, "SetCommTimeouts");
    if (!SetupComm(hPort, kQueueSize, kQueueSize))
        return StepFailed(pFinding, "SetupComm");
    DrainInput(hPort);
    if (!SendLine(hPort, "ATE0V1\r", pFinding))
        return false;
    DrainInput(hPort);
    if (!SendLine(hPort, "AT\r", pFinding))
        return false;
    if (!ReadFile(hPort, pFinding->rgbReply, kReplySize, &pFinding->cbReply, NULL))
        return StepFailed(pFinding, "ReadFile");
    return true;
}

static void ProbePort(int nPort, PortFinding *pFinding)
{
    memset(pFinding, 0, sizeof *pFinding);
    char szName[16];
    ComOpenName(nPort, szName, sizeof szName);
    HANDLE hPort = CreateFileA(szName, GENERIC_READ | GENERIC_WRITE, 0, NULL, OPEN_EXISTING, 0, NULL);
    if (hPort == INVALID_HANDLE_VALUE) {
        pFinding->dwOpenError = GetLastError();
        return;
    }
    RunProbeDialogue(hPort, pFinding);
    CloseHandle(hPort);
}

static void PrintPortLine(int nPort, const PortFinding *pFinding)
{
    printf("  COM%d  ", nPort);
    if (pFinding->dwOpenError != 0) {
        switch (JudgeOpenError(pFinding->dwOpenError)) {
        case kPortMissing:
            printf("missing\n");
            break;
        case kPortHeld:
            printf("held by another program (error %lu)\n", (unsigned long)pFinding->dwOpenError);
            break;
        default:
            printf("can't be opened (error %lu)\n", (unsigned long)pFinding->dwOpenError);
            break;
        }
        return;
    }
    if (pFinding->pszFailedStep && pFinding->cbReply == 0) {
        printf("can't be probed: it opened, but %s failed (error %lu)\n", pFinding->pszFailedStep,
               (unsigned long)pFinding->dwStepError);
        return;
    }
    if (pFinding->cbReply == 0) {
        printf("silent: opened, nothing came back to \"AT\"\n");
        return;
    }
    char szReply[kReplySize * 4 + 1];
    EscapeReply(pFinding->rgbReply, pFinding->cbReply, szReply, sizeof szReply);
    switch (JudgeReplyAsScan(pFinding->rgbReply, pFinding->cbReply)) {
    case kScanSeesNothing:
        printf("answering: \"%s\" (it starts with a zero byte, which the scan counts as silence)\n", szReply);
        break;
    case kScanSeesBareOk:
        printf("answering: \"%s\" (a bare \"OK\", which the scan counts as silence)\n", szReply);
        break;
    default:
        printf("answering: \"%s\"\n", szReply);
        break;
    }
}

// Room for the names Windows gives serial devices ("\Device\BthModem12",
// "\Device\USBSER000"); a longer one is cut, and is only ever shown.
static const size_t kDeviceNameSize = 64;

// The ports Windows lists, by number, each with the device it is listed for.
struct ListedPorts {
    bool rgbListed[kLargestPort + 1];
    bool rgbBluetooth[kLargestPort + 1]; // listed for a Bluetooth device at least once
    char rgszDevice[kLargestPort + 1][kDeviceNameSize]; // the Bluetooth one, where there are two
};

// Fills *pListed from HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM: one value per
// serial device, its name the device's, its data the port's name.
static void ListSerialCommPorts(ListedPorts *pListed)
{
    memset(pListed, 0, sizeof *pListed);
    HKEY hKey = NULL;
    if (RegOpenKeyExA(HKEY_LOCAL_MACHINE, "HARDWARE\\DEVICEMAP\\SERIALCOMM", 0, KEY_QUERY_VALUE, &hKey) !=
        ERROR_SUCCESS)
        return;
    char szValueName[256];
    char szData[32];
    DWORD cbData = 0;
    DWORD dwType = 0;
    WalkRegistryValues(
        [&](uint32_t dwIndex) -> uint32_t {
            DWORD cchValueName = sizeof szValueName;
            cbData = sizeof szData - 1;
            dwType = 0;
            return (uint32_t)RegEnumValueA(hKey, dwIndex, szValueName, &cchValueName, NULL, &dwType,
                                           reinterpret_cast<BYTE *>(szData), &cbData);
        },
        [&](uint32_t) {
            if (dwType != REG_SZ)
                return; // not a string: not a port's name
            szData[cbData < sizeof szData ? cbData : sizeof szData - 1] = 0;
            const int nPort = ComPortNumber(szData);
            if (nPort == 0)
                return;
            const bool bBluetooth = IsBluetoothSerialDevice(szValueName);
            if (!pListed->rgbListed[nPort] || (bBluetooth && !pListed->rgbBluetooth[nPort]))
                snprintf(pListed->rgszDevice[nPort], kDeviceNameSize, "%s", szValueName);
            pListed->rgbListed[nPort] = true;
            pListed->rgbBluetooth[nPort] = pListed->rgbBluetooth[nPort] || bBluetooth;
        });
    RegCloseKey(hKey);
}

static void PrintHeading(const PortChoice *pChoice)
{
    if (pChoice->bNoProbe) {
        printf("Serial ports: COM1 to COM4 (the ports the modem scan tries) and every other port Windows lists "
               "(HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM), listed only: --no-probe opens none of "
               "them:\n");
    } else if (pChoice->bOnlyNamed) {
        printf("Serial ports: COM1 to COM4 (the ports the modem scan tries), every other port Windows lists "
               "(HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM) and the ports --ports names; only those "
               "named are probed as the modem scan does (2400 bit/s 8N1, \"ATE0V1\" then \"AT\"; a port with "
               "nothing attached takes about 8 seconds):\n");
    } else {
        printf("Serial ports: COM1 to COM4 (the ports the modem scan tries) and every other port Windows lists "
               "(HKEY_LOCAL_MACHINE\\HARDWARE\\DEVICEMAP\\SERIALCOMM), each probed as the modem scan does "
               "(2400 bit/s 8N1, \"ATE0V1\" then \"AT\"; a port with nothing attached takes about 8 seconds):\n");
    }
}

// The line of a port the report leaves closed, and why.
static void PrintClosedPortLine(int nPort, PortPlan plan, const ListedPorts *pListed)
{
    char szDevice[kDeviceNameSize];
    ShowRegistryName(pListed->rgszDevice[nPort], szDevice, sizeof szDevice);
    if (plan == kPlanBluetooth) {
        printf("  COM%d  not opened: a Bluetooth serial port (%s), whose open makes Windows try to reach the "
               "paired device and can block for a long time\n",
               nPort, szDevice);
        return;
    }
    if (pListed->rgbListed[nPort])
        printf("  COM%d  not opened (%s); Windows lists it as %s\n", nPort, PortLeftClosedReason(plan), szDevice);
    else
        printf("  COM%d  not opened (%s); Windows does not list it\n", nPort, PortLeftClosedReason(plan));
}

// COM1 to COM4, which the scan tries, every other port Windows knows and every port
// --ports names, each probed the same way unless the report leaves it closed. Says which
// answering ports the scan never looks at.
void ReportSerialPorts(const PortChoice *pChoice, PortSurvey *pSurvey)
{
    static ListedPorts listed; // 16 KB of device names: off the stack
    ListSerialCommPorts(&listed);
    for (int nPort = 1; nPort <= kLargestPort; ++nPort)
        pSurvey->rgPlan[nPort] =
            PlanPort(listed.rgbBluetooth[nPort], pChoice->bNoProbe, pChoice->bOnlyNamed, pChoice->rgbNamed[nPort]);
    pSurvey->rgPlan[0] = kPlanNotNamed; // there is no COM0
    PrintHeading(pChoice);
    fflush(stdout);
    int rgnUnseen[kLargestPort + 1];
    int cUnseen = 0;
    for (int nPort = 1; nPort <= kLargestPort; ++nPort) {
        const bool bScanPort = nPort >= kFirstPort && nPort <= kLastPort;
        if (!bScanPort && !listed.rgbListed[nPort] && !(pChoice->bOnlyNamed && pChoice->rgbNamed[nPort]))
            continue;
        if (pSurvey->rgPlan[nPort] != kPlanProbe) {
            PrintClosedPortLine(nPort, pSurvey->rgPlan[nPort], &listed);
            continue;
        }
        PortFinding finding;
        ProbePort(nPort, &finding);
        PrintPortLine(nPort, &finding);
        if (!bScanPort && finding.dwOpenError == 0 &&
            JudgeReplyAsScan(finding.rgbReply, finding.cbReply) == kScanSeesAnswer)
            rgnUnseen[cUnseen++] = nPort;
        fflush(stdout);
    }
    for (int i = 0; i < cUnseen; ++i)
        printf("  Note: a modem answers on COM%d, but the scan looks only at COM1 to COM4.\n", rgnUnseen[i]);
}
