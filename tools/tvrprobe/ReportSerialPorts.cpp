// The report's serial ports: COM1 to COM4, which the modem scan tries, and every other
// port Windows lists under HKEY_LOCAL_MACHINE\HARDWARE\DEVICEMAP\SERIALCOMM, each probed
// by the library's own probe (serial/CommProbe), exactly as the scan probes (2400 bit/s
// 8N1, "ATE0V1" then "AT", one read of up to 128 bytes), and shown as missing, held by
// another program, silent, or answering and what it answered. A port stays closed, and
// its line says why, when it is a Bluetooth serial port (always), under --no-probe, and
// when --ports names other ports.
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "serial/CommProbe.h"

#include "ReportParts.h"
#include "ReportText.h"

// The Win32 call behind each step of the probe that can fail after the open, as the
// report names it.
static const char *ProbeStepCall(CommProbeStep step)
{
    switch (step) {
    case kProbeStepGetState:
        return "GetCommState";
    case kProbeStepSetState:
        return "SetCommState";
    case kProbeStepTimeouts:
        return "SetCommTimeouts";
    case kProbeStepQueues:
        return "SetupComm";
    case kProbeStepFirstWrite:
    case kProbeStepSecondWrite:
        return "WriteFile";
    case kProbeStepReplyRead:
        return "ReadFile";
    default:
        return "the probe";
    }
}

// One port, probed by the library's own probe, exactly as the scan probes COM1 to COM4.
static void ProbePort(int nPort, CommProbe *pProbe)
{
    char szName[16];
    ComOpenName(nPort, szName, sizeof szName);
    ProbeNamedPort(szName, NULL, pProbe);
}

static void PrintPortLine(int nPort, const CommProbe *pProbe)
{
    printf("  COM%d  ", nPort);
    if (pProbe->step == kProbeStepOpen) {
        switch (JudgeOpenError(pProbe->dwError)) {
        case kPortMissing:
            printf("missing\n");
            break;
        case kPortHeld:
            printf("held by another program (error %lu)\n", (unsigned long)pProbe->dwError);
            break;
        default:
            printf("can't be opened (error %lu)\n", (unsigned long)pProbe->dwError);
            break;
        }
        return;
    }
    if (pProbe->step != kProbeStepNone && pProbe->cbReply == 0) {
        printf("can't be probed: it opened, but %s failed (error %lu)\n", ProbeStepCall(pProbe->step),
               (unsigned long)pProbe->dwError);
        return;
    }
    if (pProbe->cbReply == 0) {
        printf("silent: opened, nothing came back to \"AT\"\n");
        return;
    }
    const unsigned char *pbReply = reinterpret_cast<const unsigned char *>(pProbe->achReply);
    char szReply[TVR_MODEM_REPLY_SIZE * 4 + 1];
    EscapeReply(pbReply, pProbe->cbReply, szReply, sizeof szReply);
    // The verdict is the probe's, which is the scan's; the report only says why a reply
    // that came back is not taken.
    if (pProbe->nVerdict) {
        printf("answering: \"%s\"\n", szReply);
        return;
    }
    switch (JudgeReplyAsScan(pbReply, pProbe->cbReply)) {
    case kScanSeesNothing:
        printf("answering: \"%s\" (it starts with a zero byte, which the scan counts as silence)\n", szReply);
        break;
    case kScanSeesBareOk:
        printf("answering: \"%s\" (a bare \"OK\", which the scan counts as silence)\n", szReply);
        break;
    default:
        printf("answering: \"%s\" (which the scan counts as silence)\n", szReply);
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
        const bool bScanPort = nPort >= TVR_FIRST_SCAN_PORT && nPort <= TVR_LAST_SCAN_PORT;
        if (!bScanPort && !listed.rgbListed[nPort] && !(pChoice->bOnlyNamed && pChoice->rgbNamed[nPort]))
            continue;
        if (pSurvey->rgPlan[nPort] != kPlanProbe) {
            PrintClosedPortLine(nPort, pSurvey->rgPlan[nPort], &listed);
            continue;
        }
        CommProbe probe;
        ProbePort(nPort, &probe);
        PrintPortLine(nPort, &probe);
        if (!bScanPort && probe.nVerdict)
            rgnUnseen[cUnseen++] = nPort;
        fflush(stdout);
    }
    for (int i = 0; i < cUnseen; ++i)
        printf("  Note: a modem answers on COM%d, but the scan looks only at COM1 to COM4.\n", rgnUnseen[i]);
}
