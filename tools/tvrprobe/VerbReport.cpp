// "report": one page for a support person on the customer's machine. It looks at the
// machine by itself first, then asks telvarid.dll the same questions, so that the two
// views can be set side by side:
//
//   the head         ReportHead.cpp: versions, Windows's version, the date and time, the
//                    DLL's full path and architecture, why the DLL could not be loaded
//   serial ports     ReportSerialPorts.cpp: COM1..COM4 and every other port Windows lists,
//                    each probed as the modem scan does it
//   telephony        ReportTelephony.cpp: every line device of TAPI32.DLL, with its port
//                    and configured speed
//   the exports      here: TVRScanForModem, TVRModemAvailable, TVRCheckCommParams (the
//                    port the scan found, else the one telephony named; 9600 bit/s, "AT"),
//                    TVRInitTextDialog (on a dialog that is never shown)
//
// Opening a port raises DTR, which resets many USB microcontroller boards, so the ports
// the report opens can be narrowed: "--no-probe" opens none, "--ports COM5,COM7" only
// those. A Bluetooth serial port is never opened. The exports that open ports follow the
// same choice: the scan runs only where the report may open each of COM1 to COM4 itself,
// the check only on a port the report may open.
//
// The probe and the telephony query run in this program, on the library's own code
// built into it (the probe of serial/CommProbe, the readers of telephony/TapiLayout),
// not through telvarid.dll: when the DLL's answer and the table disagree, the table
// shows what the machine said.
// Exit code 0 when the DLL found a modem by either route (the scan or the telephony
// service), 1 when neither did (or the scan was not called and telephony found none), 2
// for a usage error, 3 when the DLL could not be loaded (the ports and the telephony
// lines are still reported).
#include <windows.h>
#include <stdio.h>
#include <string.h>

#include "MessageDialogTemplate.h"
#include "ReportParts.h"
#include "Verbs.h"

// ---- The exports ------------------------------------------------------------------------

static const DWORD kCheckBaudRate = 9600;  // the speed a setup program usually asks for
static const char kCheckCommand[] = "AT";  // the attention command every Hayes modem answers

static INT_PTR CALLBACK HiddenDialogProc(HWND, UINT uMsg, WPARAM, LPARAM)
{
    return uMsg == WM_INITDIALOG ? TRUE : FALSE;
}

// Lays out a hidden message dialog and says what came of it. The geometry depends on the
// machine's fonts, so it gets a line of its own.
static void ReportTextDialog(const TelvaridApi *pApi)
{
    MessageDialogTemplate tmpl;
    HWND hDlg = tmpl.Create(GetModuleHandleA(NULL), HiddenDialogProc, 0);
    if (!hDlg) {
        printf("  TVRInitTextDialog   not called: no dialog could be created here (error %lu)\n",
               (unsigned long)GetLastError());
        return;
    }
    pApi->pfnInitTextDialog(hDlg, "This message dialog was laid out by telvarid.dll for tvrprobe's report.", 0, 2,
                            IDOK);
    const bool bIcon = SendDlgItemMessageA(hDlg, 200, STM_GETICON, 0, 0) != 0;
    RECT rText, rOk, rCancel, rDialog;
    GetWindowRect(GetDlgItem(hDlg, 201), &rText);
    GetWindowRect(GetDlgItem(hDlg, IDOK), &rOk);
    GetWindowRect(GetDlgItem(hDlg, IDCANCEL), &rCancel);
    GetWindowRect(hDlg, &rDialog);
    const bool bRow = rOk.top >= rText.bottom && rOk.top == rCancel.top && rOk.right <= rCancel.left;
    const bool bFocus = GetFocus() == GetDlgItem(hDlg, IDOK);
    printf("  TVRInitTextDialog   %s, %s, %s\n", bIcon ? "icon set" : "no icon set",
           bRow ? "two buttons in a row under the text" : "buttons not in a row under the text",
           bFocus ? "focus on button 1" : "focus not on button 1");
    printf("                      text %ld x %ld, dialog %ld x %ld pixels (hidden, never shown)\n",
           (long)(rText.right - rText.left), (long)(rText.bottom - rText.top), (long)(rDialog.right - rDialog.left),
           (long)(rDialog.bottom - rDialog.top));
    DestroyWindow(hDlg);
}

static const char kReportUsage[] = "[--no-probe | --ports COMn[,COMn...]]";

// The verb's arguments: none, "--no-probe", or "--ports" and a list of ports. False, with
// a line on stderr, for anything else.
static bool ReadReportArguments(int argc, char **argv, PortChoice *pChoice)
{
    memset(pChoice, 0, sizeof *pChoice);
    if (argc == 0)
        return true;
    if (argc == 1 && strcmp(argv[0], "--no-probe") == 0) {
        pChoice->bNoProbe = true;
        return true;
    }
    if (argc == 2 && strcmp(argv[0], "--ports") == 0) {
        pChoice->bOnlyNamed = true;
        if (ParsePortList(argv[1], pChoice->rgbNamed))
            return true;
        fprintf(stderr, "tvrprobe report: --ports takes port names separated by commas, such as COM5,COM7 "
                        "(COM1 to COM255), not \"%s\"\n", argv[1]);
        return false;
    }
    fprintf(stderr, "usage: tvrprobe report %s\n", kReportUsage);
    return false;
}

// Runs the DLL's scan where the report itself may open COM1 to COM4, the ports the scan
// opens; otherwise says which one it leaves closed. True when the scan ran.
static bool ReportScan(const TelvaridApi *pApi, const PortSurvey *pSurvey, int *pnScan, int *pnPort)
{
    *pnScan = 0;
    *pnPort = 0;
    const int nClosed = FirstScanPortLeftClosed(pSurvey->rgPlan);
    if (nClosed) {
        printf("  TVRScanForModem     not called: it would open COM%d, which this report leaves closed (%s)\n",
               nClosed, PortLeftClosedReason(pSurvey->rgPlan[nClosed]));
        return false;
    }
    *pnScan = pApi->pfnScanForModem(pnPort);
    if (*pnScan)
        printf("  TVRScanForModem     1: a modem answers on COM%d\n", *pnPort);
    else
        printf("  TVRScanForModem     0: no modem answered on COM1 to COM4\n");
    return true;
}

// Checks the port at 9600 bit/s with "AT", where the report itself may open it. A name
// that is not "COMn" can't be matched to Windows's list of ports: it is opened only when
// no option narrowed the ports down.
static void ReportCheck(const TelvaridApi *pApi, const PortChoice *pChoice, const PortSurvey *pSurvey,
                        const char *pszPort)
{
    const int nPort = ComPortNumber(pszPort);
    const PortPlan plan =
        nPort ? pSurvey->rgPlan[nPort] : PlanPort(false, pChoice->bNoProbe, pChoice->bOnlyNamed, false);
    if (plan != kPlanProbe) {
        printf("  TVRCheckCommParams  not called: it would open %s, which this report leaves closed (%s)\n", pszPort,
               PortLeftClosedReason(plan));
        return;
    }
    fflush(stdout);
    const int nCheck = pApi->pfnCheckCommParams(pszPort, kCheckBaudRate, TRUE, kCheckCommand);
    if (nCheck)
        printf("  TVRCheckCommParams  1: %s takes %lu bit/s and its device answered \"%s\" (or another program "
               "holds %s)\n",
               pszPort, (unsigned long)kCheckBaudRate, kCheckCommand, pszPort);
    else
        printf("  TVRCheckCommParams  0: %s does not take %lu bit/s, or its device did not answer \"%s\" "
               "within 3 seconds\n",
               pszPort, (unsigned long)kCheckBaudRate, kCheckCommand);
}

static void PrintResult(bool bScanRan, int nScan, int nPort, int nModem)
{
    if (!bScanRan && nModem)
        printf("Result: a modem was found by the telephony service; the scan was not called.\n");
    else if (!bScanRan)
        printf("Result: no modem was found through the telephony service; the scan was not called.\n");
    else if (nScan && nModem)
        printf("Result: a modem was found, on COM%d by the scan and by the telephony service.\n", nPort);
    else if (nScan)
        printf("Result: a modem was found, on COM%d by the scan; the telephony service lists none.\n", nPort);
    else if (nModem)
        printf("Result: a modem was found by the telephony service; none answered the scan on COM1 to COM4.\n");
    else
        printf("Result: no modem was found, neither on COM1 to COM4 nor through the telephony service.\n");
}

static int RunReport(const TelvaridApi *pApi, int argc, char **argv)
{
    static PortChoice choice;
    if (!ReadReportArguments(argc, argv, &choice))
        return 2;
    ReportHead(pApi);
    fflush(stdout);

    static PortSurvey survey;
    ReportSerialPorts(&choice, &survey);
    printf("\n");
    ReportTelephony();
    if (!pApi->hModule) {
        printf("\nResult: unknown: telvarid.dll could not be loaded (error %lu).\n", (unsigned long)pApi->dwLoadError);
        return 3;
    }
    printf("\nAnswers of telvarid.dll:\n");
    fflush(stdout);

    int nScan = 0;
    int nPort = 0;
    const bool bScanRan = ReportScan(pApi, &survey, &nScan, &nPort);
    fflush(stdout);

    char szModemPort[76]; // the export writes at most 75 characters and a zero
    memset(szModemPort, 0, sizeof szModemPort);
    const int nModem = pApi->pfnModemAvailable(szModemPort);
    char szLastPort[120];
    if (szModemPort[0])
        snprintf(szLastPort, sizeof szLastPort, "last port name reported: %s", szModemPort);
    else
        snprintf(szLastPort, sizeof szLastPort, "no port name reported");
    if (nModem == 2)
        printf("  TVRModemAvailable   2: a data modem set up for 9600 bit/s or more; %s\n", szLastPort);
    else if (nModem == 1)
        printf("  TVRModemAvailable   1: data modems listed, none set up for 9600 bit/s or more; %s\n", szLastPort);
    else
        printf("  TVRModemAvailable   0: telephony can't be used here, or it lists no data modem\n");

    // The port to check: the one the scan found, else the one telephony named.
    char szCheckPort[80];
    szCheckPort[0] = 0;
    if (nScan)
        snprintf(szCheckPort, sizeof szCheckPort, "COM%d", nPort);
    else if (nModem && szModemPort[0])
        snprintf(szCheckPort, sizeof szCheckPort, "%s", szModemPort);
    if (szCheckPort[0])
        ReportCheck(pApi, &choice, &survey, szCheckPort);
    else
        printf("  TVRCheckCommParams  not called: neither the scan nor telephony named a port\n");
    ReportTextDialog(pApi);

    printf("\n");
    PrintResult(bScanRan, nScan, nPort, nModem);
    return nScan || nModem ? 0 : 1;
}

TVR_PROBE_VERB_WITHOUT_DLL(report, "report", kReportUsage,
                           "a report for support: COM1-COM4 and every other serial port Windows lists, probed one by "
                           "one (never a Bluetooth serial port; --no-probe opens none, --ports only those named), the "
                           "telephony line devices, and the answers of all four exports (the scan only where the "
                           "report may open COM1-COM4 itself); exit code 0 when a modem was found, 1 when none was, "
                           "3 when telvarid.dll could not be loaded",
                           RunReport);
