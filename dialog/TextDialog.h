// The steps of TVRInitTextDialog and TVRInitTextDialogW, each in its own file. Internal to
// the library: only the two entries are exported.
#ifndef TVR_DIALOG_TEXTDIALOG_H
#define TVR_DIALOG_TEXTDIALOG_H

#include <windows.h>

// Puts the predefined system icon for lIconType (0 to 3) into control 200; any other
// value, or no icon from the system, leaves the control untouched.
void SetTextDialogIcon(HWND hDlg, LONG lIconType);

// The message in the caller's character set: exactly one of the two is set. Only the
// measuring and the writing of the text read it; the layout never depends on which.
struct DialogText {
    LPCSTR pszAnsi;  // 8-bit text in the ANSI code page, or NULL
    LPCWSTR pszWide; // UTF-16 text, or NULL
};

// Measures the text inside control 201's width, fits control 201 to it, writes the text,
// lines the buttons and control 202 up under it, and resizes the dialog centred on its
// former place. Without control 201 or a device context for it nothing moves.
void SizeTextDialog(HWND hDlg, const DialogText *pText, LONG lButtonMode);

#endif // TVR_DIALOG_TEXTDIALOG_H
