/*
 * telvarid.h - the interface of telvarid.dll for setup programs written in C or C++.
 *
 * All four functions use the cdecl calling convention and are exported undecorated, by
 * name and by ordinal (1 to 4). In the 32-bit DLL every argument and result is 32 bits
 * wide; in the 64-bit DLL the pointers and the HWND are 64 bits wide, as every pointer
 * is there, and the integers stay 32 bits. Call them from one thread at a time. Link
 * against libtelvarid.dll.a (MinGW) or telvarid.lib (Microsoft's linker), or load the
 * DLL at run time and resolve the names (or the ordinals) with GetProcAddress through
 * the PFN_ types below.
 */
#ifndef TELVARID_H
#define TELVARID_H

#include <windows.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Ordinal 1. Opens lpszPortName (for example "COM2") at dwBaudRate, 8 data bits, no
 * parity, one stop bit. With bSendCommand non-zero it sends lpszCommand (at most 254
 * characters; a carriage return is added) and waits up to 3000 ms for any byte.
 * Returns 1 when the port is usable (and answered, if asked), also when another
 * program holds the port; 0 otherwise. A NULL lpszPortName gives 0 and opens nothing. */
int __cdecl TVRCheckCommParams(LPCSTR lpszPortName, DWORD dwBaudRate, BOOL bSendCommand,
                               LPCSTR lpszCommand);

/* Ordinal 2. Lays out the caller's message dialog (controls 200 icon, 201 text,
 * 1 and 2 buttons, 202 extra) around lpszText, sets icon lIconType (0 information,
 * 1 exclamation, 2 hand, 3 question), one button when lButtonMode is 1 and two
 * otherwise, and gives the focus to control nIDFocus. Returns the window that had
 * the focus before, or NULL. Call it on the thread that owns the dialog. */
HWND __cdecl TVRInitTextDialog(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode,
                               int nIDFocus);

/* Ordinal 3. Asks the telephony service (TAPI32.DLL, loaded for the call from the
 * system folder only, never from the setup program's folder) for a data modem.
 * Returns 2 when one is configured for 9600 bit/s or more, 1 when data modems are
 * listed but none is that fast, 0 when there is none or telephony can't be used.
 * lpszPortName must hold 76 bytes; it receives the port name of the modem examined.
 * With lpszPortName NULL the answer is the same and no port name is asked for or
 * written. */
int __cdecl TVRModemAvailable(char *lpszPortName);

/* Ordinal 4. Tries COM1 to COM4 in turn with "ATE0V1" and "AT" at 2400 bit/s.
 * Returns 1 and stores the port number (1 to 4) in *lpPortNumber for the first port
 * that answers; returns 0 and stores 0 when none does. With lpPortNumber NULL the
 * scan runs all the same and returns its answer, and no port number is written. A
 * silent opened port costs about 8 seconds. */
int __cdecl TVRScanForModem(int *lpPortNumber);

typedef int(__cdecl *PFN_TVRCHECKCOMMPARAMS)(LPCSTR, DWORD, BOOL, LPCSTR);
typedef HWND(__cdecl *PFN_TVRINITTEXTDIALOG)(HWND, LPCSTR, LONG, LONG, int);
typedef int(__cdecl *PFN_TVRMODEMAVAILABLE)(char *);
typedef int(__cdecl *PFN_TVRSCANFORMODEM)(int *);

#ifdef __cplusplus
}
#endif

#endif /* TELVARID_H */
