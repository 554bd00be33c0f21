// TVRInitTextDialog: icon, layout, focus, each step whatever the one before did.
#include <windows.h>

#include "TextDialog.h"
#include "frame/telvarid.h"

extern "C" HWND __cdecl TVRInitTextDialog(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode,
                                          int nIDFocus)
{
    // No text lays the dialog out for an empty message, as "" would: the text is
    // measured and set, and neither the measuring nor the setting is handed a null
    // pointer, which would leave the outcome to how each platform function takes one.
    static const char kNoText[] = "";
    SetTextDialogIcon(hDlg, lIconType);
    SizeTextDialog(hDlg, lpszText != NULL ? lpszText : kNoText, lButtonMode);
    // A missing control gives a null handle, which SetFocus takes as "no focus"; the
    // caller gets whatever SetFocus answers either way.
    return SetFocus(GetDlgItem(hDlg, nIDFocus));
}
