/*
 * modemsetup - a small setup program in C that uses the functions of telvarid.dll.
 * While a worker thread looks for a modem (TVRFindModem, then TVRCheckCommParams on the
 * port found, then TVRModemAvailable), a "searching" dialog stands; then a message
 * dialog shows the answers in plain words. Both dialogs come from the one dialog
 * resource in modemsetup.rc, laid out around their text by TVRInitTextDialog (the
 * "searching" text) and TVRInitTextDialogW (the answers, as UTF-16: a program with its
 * messages in another language hands them over as they are).
 *
 * Build it in this folder of the unpacked release. It is linked with the import
 * library, so the telvarid.dll of the same kind (x86 or x64) must stand beside
 * modemsetup.exe when it starts.
 *
 *   MinGW-w64, 64-bit (each command on one line, to paste as it stands):
 *     x86_64-w64-mingw32-windres -I../.. modemsetup.rc -O coff -o modemsetup-res.o
 *     x86_64-w64-mingw32-gcc -O2 -Wall -I../.. -o modemsetup.exe modemsetup.c modemsetup-res.o -L../../x64 -ltelvarid -mwindows
 *     cp ../../x64/telvarid.dll .
 *   MinGW-w64, 32-bit: the same with i686-w64-mingw32- and ../../x86
 *   Visual C++, in a Developer Command Prompt of the kind wanted (x64 or x86):
 *     rc /I..\.. modemsetup.rc
 *     cl /I..\.. modemsetup.c modemsetup.res ..\..\x64\telvarid.lib user32.lib
 *     copy ..\..\x64\telvarid.dll .
 *
 * A setup program that unpacks telvarid.dll only while it runs would rather load it
 * with LoadLibraryA and GetProcAddress through the PFN_ types of telvarid.h, or link
 * it delay-loaded (Visual C++: /DELAYLOAD:telvarid.dll delayimp.lib).
 *
 *   modemsetup.exe              shows the dialogs and waits for the user
 *   modemsetup.exe /auto FILE   closes the message dialog by itself after a few
 *                               seconds, and a second after it appeared writes the
 *                               answers to FILE: one line of numbers; the control that
 *                               has the keyboard focus, the one that had it in the
 *                               "searching" dialog and whether that dialog's button 2
 *                               was visible; then the message shown
 *
 * The waits, all on the worker thread: the scan takes about 1.6 s when a modem answers
 * at once, about 8 s for each port that opens but has nothing on it (up to about 32 s),
 * nothing for a port that does not exist; the check at most about 3 s more; the
 * telephony query milliseconds. TVRInitTextDialog does not wait.
 */
#include <windows.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "telvarid.h"
#include "resource.h"

#define CHECK_BAUD_RATE 9600            /* the speed the check asks of the port found */
#define MODEM_PORT_SIZE 76              /* TVRModemAvailable writes up to 75 characters and a zero */
#define WM_APP_SEARCH_DONE (WM_APP + 1) /* the worker thread has all the answers */
#define TIMER_RECORD 1                  /* /auto: write the answers... */
#define TIMER_CLOSE 2                   /* ...then close the dialog */
#define AUTO_RECORD_MS 1000
#define AUTO_CLOSE_MS 3000

typedef struct ModemSetup {
    /* The answers, written by the worker thread before it posts WM_APP_SEARCH_DONE. */
    int nScan;         /* TVRScanForModem: 1 or 0 */
    int nPort;         /* the port number it found, 1 to 4, or 0 */
    int nCheck;        /* TVRCheckCommParams on that port: 1 or 0; -1 when not called */
    int nModem;        /* TVRModemAvailable: 0, 1 or 2 */
    char szModemPort[MODEM_PORT_SIZE];
    /* The message dialog. */
    char szMessage[1024];
    int nFocusID;      /* the control that has the focus, as /auto records it */
    int nSearchFocusID; /* the same in the "searching" dialog, when the answers came in */
    BOOL bSearchCancelShown; /* whether that dialog showed button 2 then */
    const char *pszAutoFile;
    HWND hSearchDialog; /* told by the worker thread when it is done */
    HANDLE hThread;
} ModemSetup;

static const char g_szSearching[] =
    "Looking for a modem on COM1 to COM4.\n"
    "This takes a few seconds, up to half a minute when ports without a modem are tried.";

/* ---- The search, on a thread of its own so that the dialog stays alive ---- */

static DWORD WINAPI SearchThread(LPVOID pvSetup)
{
    ModemSetup *pSetup = (ModemSetup *)pvSetup;
    pSetup->nPort = 0;
    /* The find with no owner and in turn gives the scan's answer with the scan's side
     * effects, on this worker thread. A program without a worker thread would call
     * TVRFindModem(hDlg, L"Looking for a modem...", &nPort, 0) on its window thread
     * instead: the find then shows its own window, modal on hDlg, probes the four ports
     * at once and keeps the program's window answering while it waits. -1 (cancelled)
     * cannot come without a window. */
    pSetup->nScan = TVRFindModem(NULL, NULL, &pSetup->nPort, TVR_FIND_IN_TURN) == 1;
    pSetup->nCheck = -1;
    if (pSetup->nScan) {
        char szPort[16];
        wsprintfA(szPort, "COM%d", pSetup->nPort);
        pSetup->nCheck = TVRCheckCommParams(szPort, CHECK_BAUD_RATE, TRUE, "AT");
    }
    /* TVRModemAvailable leaves the buffer as it was when it has no name to give. */
    memset(pSetup->szModemPort, 0, sizeof pSetup->szModemPort);
    pSetup->nModem = TVRModemAvailable(pSetup->szModemPort);
    PostMessageA(pSetup->hSearchDialog, WM_APP_SEARCH_DONE, 0, 0);
    return 0;
}

/* The answers in plain words, one sentence a line. */
static void ComposeMessage(ModemSetup *pSetup)
{
    char szScan[128], szCheck[200], szModem[200], szPort[100];
    if (pSetup->nScan) {
        wsprintfA(szScan, "A modem answers on COM%d.", pSetup->nPort);
        if (pSetup->nCheck == 1)
            wsprintfA(szCheck, "COM%d takes %d bit/s, and the modem answered \"AT\".", pSetup->nPort,
                      CHECK_BAUD_RATE);
        else
            wsprintfA(szCheck, "COM%d does not take %d bit/s, or the modem did not answer \"AT\" within 3 seconds.",
                      pSetup->nPort, CHECK_BAUD_RATE);
    } else {
        lstrcpyA(szScan, "No modem answered on COM1 to COM4.");
        lstrcpyA(szCheck, "There is no port to check.");
    }
    if (pSetup->szModemPort[0])
        wsprintfA(szPort, "port %s", pSetup->szModemPort);
    else
        lstrcpyA(szPort, "no port name was reported");
    if (pSetup->nModem == 2)
        wsprintfA(szModem, "Windows telephony lists a data modem set up for 9600 bit/s or more (%s).", szPort);
    else if (pSetup->nModem == 1)
        wsprintfA(szModem, "Windows telephony lists a data modem, but none is set up for 9600 bit/s or more (%s).",
                  szPort);
    else
        lstrcpyA(szModem, "Windows telephony lists no data modem, or it can't be used here.");
    wsprintfA(pSetup->szMessage, "%s\n%s\n%s", szScan, szCheck, szModem);
}

/* The identifier of the control of hDlg that has the keyboard focus, or 0. */
static int FocusedControl(HWND hDlg)
{
    HWND hFocus = GetFocus();
    return hFocus && IsChild(hDlg, hFocus) ? GetDlgCtrlID(hFocus) : 0;
}

/* ---- The "searching" dialog: stands while the worker thread asks ---- */

static INT_PTR CALLBACK SearchDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    ModemSetup *pSetup = (ModemSetup *)GetWindowLongPtrA(hDlg, DWLP_USER);
    (void)wParam;
    switch (uMsg) {
    case WM_INITDIALOG:
        pSetup = (ModemSetup *)lParam;
        SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)pSetup);
        /* Nothing to choose yet: one button says so and takes the focus (pressing it does
         * nothing until the answers are in); the check box waits. In one-button mode
         * TVRInitTextDialog leaves button 2 where the template put it, below the shrunken
         * dialog but still reachable with Tab: hide it first. */
        SetDlgItemTextA(hDlg, IDOK, "Please wait");
        ShowWindow(GetDlgItem(hDlg, IDCANCEL), SW_HIDE);
        ShowWindow(GetDlgItem(hDlg, IDC_MSG_OPTION), SW_HIDE);
        TVRInitTextDialog(hDlg, g_szSearching, TVR_ICON_INFORMATION, TVR_BUTTONS_ONE, IDOK);
        pSetup->hSearchDialog = hDlg;
        pSetup->hThread = CreateThread(NULL, 0, SearchThread, pSetup, 0, NULL);
        if (!pSetup->hThread)
            EndDialog(hDlg, -1);
        return FALSE;
    case WM_APP_SEARCH_DONE:
        pSetup->nSearchFocusID = FocusedControl(hDlg);
        pSetup->bSearchCancelShown = IsWindowVisible(GetDlgItem(hDlg, IDCANCEL));
        WaitForSingleObject(pSetup->hThread, INFINITE);
        CloseHandle(pSetup->hThread);
        pSetup->hThread = NULL;
        EndDialog(hDlg, IDOK);
        return TRUE;
    case WM_COMMAND:
        return TRUE; /* the button, Esc and Alt+F4 wait for the search: it cannot be stopped */
    }
    return FALSE;
}

/* ---- The message dialog with the answers ---- */

/* Writes the answers to FILE through a temporary file, so that a reader never sees half.
 * A FILE name too long for the temporary name's buffer gets no answers at all. */
static void WriteAnswers(const ModemSetup *pSetup)
{
    static const char szTempSuffix[] = ".tmp";
    char szTemp[MAX_PATH + sizeof szTempSuffix];
    char szCheck[8];
    FILE *pFile;
    if (lstrlenA(pSetup->pszAutoFile) > MAX_PATH)
        return;
    lstrcpyA(szTemp, pSetup->pszAutoFile);
    lstrcatA(szTemp, szTempSuffix);
    if (pSetup->nCheck < 0)
        lstrcpyA(szCheck, "-");
    else
        wsprintfA(szCheck, "%d", pSetup->nCheck);
    pFile = fopen(szTemp, "w");
    if (!pFile)
        return;
    fprintf(pFile, "scan=%d port=%d check=%s modem=%d name=%s\n", pSetup->nScan, pSetup->nPort, szCheck,
            pSetup->nModem, pSetup->szModemPort);
    fprintf(pFile, "focus=%d search_focus=%d search_button2=%s\n%s\n", pSetup->nFocusID, pSetup->nSearchFocusID,
            pSetup->bSearchCancelShown ? "shown" : "hidden", pSetup->szMessage);
    fclose(pFile);
    MoveFileExA(szTemp, pSetup->pszAutoFile, MOVEFILE_REPLACE_EXISTING);
}

static INT_PTR CALLBACK MessageDialogProc(HWND hDlg, UINT uMsg, WPARAM wParam, LPARAM lParam)
{
    ModemSetup *pSetup = (ModemSetup *)GetWindowLongPtrA(hDlg, DWLP_USER);
    switch (uMsg) {
    case WM_INITDIALOG: {
        const BOOL bFound = ((ModemSetup *)lParam)->nScan || ((ModemSetup *)lParam)->nModem;
        pSetup = (ModemSetup *)lParam;
        SetWindowLongPtrA(hDlg, DWLP_USER, (LONG_PTR)pSetup);
        CheckDlgButton(hDlg, IDC_MSG_OPTION, bFound ? BST_CHECKED : BST_UNCHECKED);
        EnableWindow(GetDlgItem(hDlg, IDC_MSG_OPTION), bFound);
        /* With a modem found, Continue takes the focus; without one, Cancel does. */
        /* The answers as UTF-16 (here from the 8-bit text; a translated program would
         * have them so already), laid out by the wide entry. */
        WCHAR wszMessage[1024];
        if (MultiByteToWideChar(CP_ACP, 0, pSetup->szMessage, -1, wszMessage, 1024) == 0)
            wszMessage[0] = 0;
        TVRInitTextDialogW(hDlg, wszMessage, bFound ? TVR_ICON_INFORMATION : TVR_ICON_EXCLAMATION,
                           TVR_BUTTONS_TWO, bFound ? IDOK : IDCANCEL);
        if (pSetup->pszAutoFile)
            SetTimer(hDlg, TIMER_RECORD, AUTO_RECORD_MS, NULL);
        /* FALSE: the dialog manager leaves the focus where TVRInitTextDialog put it. */
        return FALSE;
    }
    case WM_TIMER:
        KillTimer(hDlg, wParam);
        if (wParam == TIMER_RECORD) {
            pSetup->nFocusID = FocusedControl(hDlg);
            WriteAnswers(pSetup);
            SetTimer(hDlg, TIMER_CLOSE, AUTO_CLOSE_MS - AUTO_RECORD_MS, NULL);
        } else {
            EndDialog(hDlg, IDOK);
        }
        return TRUE;
    case WM_COMMAND:
        if (LOWORD(wParam) == IDOK || LOWORD(wParam) == IDCANCEL) {
            EndDialog(hDlg, LOWORD(wParam));
            return TRUE;
        }
        break;
    }
    return FALSE;
}

int WINAPI WinMain(HINSTANCE hInstance, HINSTANCE hPrevInstance, LPSTR lpszCmdLine, int nShowCmd)
{
    static ModemSetup setup;
    INT_PTR nChoice;
    (void)hPrevInstance;
    (void)lpszCmdLine;
    (void)nShowCmd;
    if (__argc == 3 && lstrcmpiA(__argv[1], "/auto") == 0)
        setup.pszAutoFile = __argv[2];

    if (DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_MODEM_MESSAGE), NULL, SearchDialogProc,
                        (LPARAM)&setup) != IDOK)
        return 2;
    ComposeMessage(&setup);
    nChoice = DialogBoxParamA(hInstance, MAKEINTRESOURCEA(IDD_MODEM_MESSAGE), NULL, MessageDialogProc,
                              (LPARAM)&setup);
    /* A real setup program would now set up the modem found, or stop on Cancel. */
    return nChoice == IDOK ? 0 : 1;
}
