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
// The probe and the telephony query are this program's own Win32 and TAPI calls: when
// the DLL's answer and the table disagree, the table shows what the machine said.
// Exit code 0 when the DLL found a modem by either route (the scan or the telephony
// service), 1 when neither did, 3 when the DLL could not be loaded (the ports and the
// telephony lines are still reported).
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

static int RunReport(const TelvaridApi *pApi, int argc, char **)
{
    if (argc != 0) {
        fprintf(stderr, "usage: tvrprobe report\n");
        return 2;
    }
    ReportHead(pApi);
    fflush(stdout);

    ReportSerialPorts();
    printf("\n");
    ReportTelephony();
    if (!pApi->hModule) {
        printf("\nResult: unknown: telvarid.dll could not be loaded (error %lu).\n", (unsigned long)pApi->dwLoadError);
        return 3;
    }
    printf("\nAnswers of telvarid.dll:\n");
    fflush(stdout);

    int nPort = 0;
    const int nScan = pApi->pfnScanForModem(&nPort);
    if (nScan)
        printf("  TVRScanForModem     1: a modem answers on COM%d\n", nPort);
    else
        printf("  TVRScanForModem     0: no modem answered on COM1 to COM4\n");
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
    if (szCheckPort[0]) {
        fflush(stdout);
        const int nCheck = pApi->pfnCheckCommParams(szCheckPort, kCheckBaudRate, TRUE, kCheckCommand);
        if (nCheck)
            printf("  TVRCheckCommParams  1: %s takes %lu bit/s and its device answered \"%s\" (or another program "
                   "holds %s)\n",
                   szCheckPort, (unsigned long)kCheckBaudRate, kCheckCommand, szCheckPort);
        else
            printf("  TVRCheckCommParams  0: %s does not take %lu bit/s, or its device did not answer \"%s\" "
                   "within 3 seconds\n",
                   szCheckPort, (unsigned long)kCheckBaudRate, kCheckCommand);
    } else {
        printf("  TVRCheckCommParams  not called: neither the scan nor telephony named a port\n");
    }
    ReportTextDialog(pApi);

    printf("\n");
    if (nScan && nModem)
        printf("Result: a modem was found, on COM%d by the scan and by the telephony service.\n", nPort);
    else if (nScan)
        printf("Result: a modem was found, on COM%d by the scan; the telephony service lists none.\n", nPort);
    else if (nModem)
        printf("Result: a modem was found by the telephony service; none answered the scan on COM1 to COM4.\n");
    else
        printf("Result: no modem was found, neither on COM1 to COM4 nor through the telephony service.\n");
    return nScan || nModem ? 0 : 1;
}

TVR_PROBE_VERB_WITHOUT_DLL(report, "report", "",
                           "a report for support: COM1-COM4 and every other serial port Windows lists, probed one by "
                           "one, the telephony line devices, and the answers of all four exports; exit code 0 when a "
                           "modem was found, 1 when none was, 3 when telvarid.dll could not be loaded",
                           RunReport);
