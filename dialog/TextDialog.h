// The steps of TVRInitTextDialog, each in its own file. Internal to the library: only
// TVRInitTextDialog is exported.
#ifndef TVR_DIALOG_TEXTDIALOG_H
#define TVR_DIALOG_TEXTDIALOG_H

#include <windows.h>

// Puts the predefined system icon for lIconType (0 to 3) into control 200; any other
// value, or no icon from the system, leaves the control untouched.
void SetTextDialogIcon(HWND hDlg, LONG lIconType);

// Measures lpszText inside control 201's width, fits control 201 to it, writes the text,
// lines the buttons and control 202 up under it, and resizes the dialog centred on its
// former place. Without control 201 or a device context for it nothing moves.
void SizeTextDialog(HWND hDlg, LPCSTR lpszText, LONG lButtonMode);

#endif // TVR_DIALOG_TEXTDIALOG_H
