// TVRInitTextDialog and TVRInitTextDialogW: icon, layout, focus, each step whatever the one
// before did. The two differ only in the character set of the text they hand on.
#include <windows.h>

#include "TextDialog.h"
#include "frame/telvarid.h"

static HWND InitTextDialog(HWND hDlg, const DialogText *pText, LONG lIconType, LONG lButtonMode, int nIDFocus)
{
    SetTextDialogIcon(hDlg, lIconType);
    SizeTextDialog(hDlg, pText, lButtonMode);
    // A missing control gives a null handle, which SetFocus takes as "no focus"; the
    // caller gets whatever SetFocus answers either way.
    return SetFocus(GetDlgItem(hDlg, nIDFocus));
}

// No text lays the dialog out for an empty message, as "" would: the text is measured
// and set, and neither the measuring nor the setting is handed a null pointer, which
// would leave the outcome to how each platform function takes one.
extern "C" HWND __cdecl TVRInitTextDialog(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode,
                                          int nIDFocus)
{
    static const char kNoText[] = "";
    const DialogText text = {lpszText != NULL ? lpszText : kNoText, NULL};
    return InitTextDialog(hDlg, &text, lIconType, lButtonMode, nIDFocus);
}

extern "C" HWND __cdecl TVRInitTextDialogW(HWND hDlg, LPCWSTR lpszText, LONG lIconType, LONG lButtonMode,
                                           int nIDFocus)
{
    static const WCHAR kNoText[] = {0};
    const DialogText text = {NULL, lpszText != NULL ? lpszText : kNoText};
    return InitTextDialog(hDlg, &text, lIconType, lButtonMode, nIDFocus);
}
