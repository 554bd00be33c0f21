/*
 * telvarid.h - the interface of telvarid.dll for setup programs written in C or C++.
 *
 * All six functions use the cdecl calling convention and are exported undecorated, by
 * name and by ordinal (1 to 6); the Windows Installer custom actions (7 to 9, at the
 * end) are stdcall. In the 32-bit DLL every argument and result is 32 bits
 * wide; in the 64-bit DLL the pointers and the HWND are 64 bits wide, as every pointer
 * is there, and the integers stay 32 bits. Call them from one thread at a time. Link
 * against libtelvarid.dll.a (MinGW) or telvarid.lib (Microsoft's linker), or load the
 * DLL at run time and resolve the names (or the ordinals) with GetProcAddress through
 * the PFN_ types below.
 */
#ifndef TELVARID_H
#define TELVARID_H

#include <windows.h>

/* The version of the DLL this header describes; the DLL's version resource says the
 * same. */
#define TELVARID_VERSION_MAJOR 1
#define TELVARID_VERSION_MINOR 1
#define TELVARID_VERSION_PATCH 0
#define TELVARID_VERSION "1.1.0"

/* The message dialog of TVRInitTextDialog: the IDs of its controls, its icon types and
 * its button modes. */
#define TVR_ID_ICON 200  /* static control with SS_ICON: receives the icon, never moves */
#define TVR_ID_TEXT 201  /* static text control: sized to the message and given it */
#define TVR_ID_EXTRA 202 /* any small control (a check box, say): put at the row's left end */
/* The buttons are IDOK (1) and IDCANCEL (2). */
#define TVR_ICON_INFORMATION 0 /* IDI_INFORMATION (IDI_ASTERISK) */
#define TVR_ICON_EXCLAMATION 1 /* IDI_EXCLAMATION (IDI_WARNING) */
#define TVR_ICON_HAND 2        /* IDI_HAND (IDI_ERROR) */
#define TVR_ICON_QUESTION 3    /* IDI_QUESTION */
#define TVR_BUTTONS_ONE 1      /* button 1 (IDOK) only; control 2 is left untouched */
#define TVR_BUTTONS_TWO 2      /* buttons 1 and 2; any value other than 1 means two */

/* TVRFindModem's dwFlags. */
#define TVR_FIND_IN_TURN 1 /* one port at a time, COM1 to COM4, as the scan does */

/* A resource script may include this header for the constants above; the declarations
 * below are C, which a resource compiler does not read. */
#ifndef RC_INVOKED

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinal 1. Opens lpszPortName (for example "COM2") at dwBaudRate, 8 data bits, no
 * parity, one stop bit. With bSendCommand non-zero it sends lpszCommand (a carriage
 * return is added) and waits up to 3000 ms for any byte. Returns 1 when the port is
 * usable (and answered, if asked); 0 otherwise. Two answers that surprise:
 *  - 1 when another program holds the port: it exists and is in use;
 *  - 0 at once, without touching the port, when bSendCommand is non-zero and
 *    lpszCommand is NULL or longer than 254 characters.
 * A NULL lpszPortName gives 0 and opens nothing. */
int __cdecl TVRCheckCommParams(LPCSTR lpszPortName, DWORD dwBaudRate, BOOL bSendCommand,
                               LPCSTR lpszCommand);

/* Ordinal 2. Lays out the caller's message dialog hDlg around lpszText (NULL is laid
 * out as an empty text), on the thread that owns the dialog, for example in WM_INITDIALOG
 * (then return FALSE from it, or the system moves the focus again):
 *  - puts icon lIconType (TVR_ICON_...) into control 200; any other value, negative ones
 *    included, leaves control 200 as it is;
 *  - word-wraps the text within control 201's current width and fits control 201 to
 *    it, so that every line shows in the control's own font, and writes the text into
 *    it;
 *  - centres button 1 (lButtonMode TVR_BUTTONS_ONE) or buttons 1 and 2 (any other
 *    value) in a row under the text, both buttons taking button 1's size, and puts
 *    control 202 at the row's left end. A row that does not fit across (under a short
 *    text: a button left or right of the dialog, on control 202 or on the other button)
 *    is mended: its buttons move right of control 202 where they lie left of the
 *    dialog or on control 202, and the dialog widens to hold them. A button or control
 *    202 that would lie on the icon sends the row down to 10 pixels below the icon.
 *    Where the row fits across, nothing moves across: only the row and the dialog's
 *    height change;
 *  - resizes the dialog to the text and the row and re-centres it on the rectangle it
 *    had before the call;
 *  - gives the keyboard focus to control nIDFocus (none if there is no such control).
 * Every control is optional: without 201 nothing moves or changes size (the icon and
 * the focus are still set); without 200 no icon is set; without 202 the row is the
 * buttons alone; a missing button leaves the other one centred alone (one-button mode
 * without button 1: no button in the row). In one-button mode control 2 is neither
 * moved nor hidden: a visible button 2 keeps its place, which after the resize may lie
 * outside the dialog's client area, unseen yet enabled and reachable with Tab (Space
 * then sends IDCANCEL). In that mode give the template no button 2, or hide it
 * (ShowWindow(GetDlgItem(hDlg, IDCANCEL), SW_HIDE)) before the call.
 * Returns what SetFocus returns: the window that had the keyboard focus before, or NULL
 * (no window had it, or SetFocus failed). It is not a success flag: the layout itself
 * reports nothing. */
HWND __cdecl TVRInitTextDialog(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode,
                               int nIDFocus);

/* Ordinal 6. TVRInitTextDialog for a UTF-16 text (NULL is laid out as an empty text):
 * the same layout, controls, mends and result, with the text measured and written by
 * the wide-character functions, so that a message outside the machine's ANSI code page
 * (from a Unicode installer, say) shows whole. */
HWND __cdecl TVRInitTextDialogW(HWND hDlg, LPCWSTR lpszText, LONG lIconType, LONG lButtonMode,
                                int nIDFocus);

/* Ordinal 3. Asks the telephony service (TAPI32.DLL, loaded for the call from the
 * system folder only, never from the setup program's folder) for a data modem.
 * Returns 2 when one is configured for 9600 bit/s or more, 1 when data modems are
 * listed but none is that fast, 0 when there is none or telephony can't be used.
 * lpszPortName must hold 76 bytes; it receives the port name of the modem examined.
 * When no name can be written (result 0, and 1 when no name could be read) the buffer
 * is left exactly as it was: clear it before the call. With lpszPortName NULL the
 * answer is the same and no port name is asked for or written. */
int __cdecl TVRModemAvailable(char *lpszPortName);

/* Ordinal 4. Tries COM1 to COM4 in turn with "ATE0V1" and "AT" at 2400 bit/s.
 * Returns 1 and stores the port number (1 to 4) in *lpPortNumber for the first port
 * that answers; returns 0 and stores 0 when none does. With lpPortNumber NULL the
 * scan runs all the same and returns its answer, and no port number is written. A
 * silent opened port costs about 8 seconds. */
int __cdecl TVRScanForModem(int *lpPortNumber);

/* Ordinal 5. The scan's answer (TVRScanForModem: the lowest of COM1 to COM4 whose
 * device answers "AT", each port probed exactly as the scan probes it), found faster
 * and without freezing the setup program's window:
 *  - dwFlags 0: the four ports are probed at once, each on a thread of the call's own.
 *    The answer is known as soon as a port answers and every lower-numbered port has
 *    finished without an answer; the probes still running are then ended, their ports
 *    closed. A modem on COM1 answers in about 1.6 s; four silent ports take about one
 *    silent port's 8 s, where the scan takes 32 s.
 *  - dwFlags TVR_FIND_IN_TURN: one port at a time, COM1 to COM4, with the scan's side
 *    effects: no port after the answering one is opened.
 * With hwndOwner non-NULL the call is modal, as MessageBox is: it disables the owner,
 * shows a small window owned by it and centred on it, with lpszMessage (NULL: an
 * English text naming COM1 to COM4), a line per port and a Cancel button with the
 * focus, and pumps the calling thread's messages until the search ends, so that the
 * setup program repaints and is never shown as not responding. It then enables the
 * owner again and destroys its window, which leaves the owner active. Cancel, Esc or
 * closing the window ends the search within 500 ms. A WM_QUIT that arrives meanwhile
 * ends it too, and is posted again before the call returns.
 * With hwndOwner NULL there is no window and no message pumping (silent installs,
 * custom actions): the search alone.
 * Returns 1 and stores the port number (1 to 4) in *lpPortNumber; 0 and stores 0 when
 * no port answers; -1 and stores 0 when the search was cancelled, or could not run (no
 * thread or event could be made), so that -1 never reads as "no modem". lpPortNumber
 * may be NULL. Every thread the call started has ended before it returns, and no
 * handle, window or GDI object outlives it: FreeLibrary right after the call is safe.
 * One call at a time, like the other functions: a second TVRFindModem made while one
 * runs (from another thread) is refused with -1 at once, touching no port and showing
 * nothing, rather than probing ports the first call holds open and calling them
 * silent. */
int __cdecl TVRFindModem(HWND hwndOwner, LPCWSTR lpszMessage, int *lpPortNumber, DWORD dwFlags);

typedef int(__cdecl *PFN_TVRCHECKCOMMPARAMS)(LPCSTR, DWORD, BOOL, LPCSTR);
typedef HWND(__cdecl *PFN_TVRINITTEXTDIALOG)(HWND, LPCSTR, LONG, LONG, int);
typedef HWND(__cdecl *PFN_TVRINITTEXTDIALOGW)(HWND, LPCWSTR, LONG, LONG, int);
typedef int(__cdecl *PFN_TVRMODEMAVAILABLE)(char *);
typedef int(__cdecl *PFN_TVRSCANFORMODEM)(int *);
typedef int(__cdecl *PFN_TVRFINDMODEM)(HWND, LPCWSTR, int *, DWORD);

/* Ordinals 7, 8 and 9: Windows Installer custom actions, UINT __stdcall Action(MSIHANDLE)
 * (hInstall is an MSIHANDLE, which is an unsigned long like DWORD), exported undecorated
 * in both DLLs: a package names them in its CustomAction's DllEntry, with the DLL of the
 * package's own kind in its Binary table (x86 with an x86 package, x64 with an x64 one).
 * Schedule them as immediate actions (the default; never deferred, where properties
 * cannot be read or set), after CostFinalize in InstallExecuteSequence or from the user
 * interface sequence, before the properties they set are used. Each reads and sets public
 * properties, writes one line starting "telvarid: " to the installer's log saying what it
 * asked and found, and returns ERROR_SUCCESS whatever the answer: no modem, or an input
 * it cannot use (which the log line names), is an answer of 0, not a failed installation.
 * Only when msi.dll cannot be loaded from the system folder does an action return
 * ERROR_INSTALL_FAILURE, having set nothing. msi.dll is loaded while an action runs,
 * from the system folder only; a property set to nothing is removed, so a port that is
 * not found leaves its property unset.
 *
 * TVRMsiFindModem (7): TVRFindModem, the four ports at once, without a window.
 *   sets TVR_FIND_RESULT  "1" when a modem answers on COM1 to COM4, "0" when none
 *                         does, "-1" when the search could not run
 *        TVR_FIND_PORT    its port ("COM3"), or unset
 * TVRMsiCheckPort (8): TVRCheckCommParams on the package's port, speed and command.
 *   reads TVR_CHECK_PORT     the port, "COM2" or "\\.\COM12" (required)
 *         TVR_CHECK_SPEED    bit/s, digits only, 1 to 4294967295 (required)
 *         TVR_CHECK_COMMAND  a command to send, at most 254 characters; unset: none sent
 *   sets  TVR_CHECK_RESULT   "1" or "0", as TVRCheckCommParams answers; "0" without
 *                            touching the port when a property above is missing or unusable
 * TVRMsiModemAvailable (9): TVRModemAvailable.
 *   sets TVR_TELEPHONY_RESULT  "2", "1" or "0", as TVRModemAvailable answers
 *        TVR_TELEPHONY_PORT    the port name it reports, or unset */
UINT __stdcall TVRMsiFindModem(DWORD hInstall);
UINT __stdcall TVRMsiCheckPort(DWORD hInstall);
UINT __stdcall TVRMsiModemAvailable(DWORD hInstall);

typedef UINT(__stdcall *PFN_TVRMSIACTION)(DWORD);

#ifdef __cplusplus
}
#endif

#endif /* RC_INVOKED */

#endif /* TELVARID_H */
