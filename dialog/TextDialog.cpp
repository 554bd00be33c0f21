// TVRInitTextDialog: icon, layout, focus, each step whatever the one before did.
#include <windows.h>

#include "TextDialog.h"
#include "frame/telvarid.h"

extern "C" HWND __cdecl TVRInitTextDialog(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode,
                                          int nIDFocus)
{
    SetTextDialogIcon(hDlg, lIconType);
    SizeTextDialog(hDlg, lpszText, lButtonMode);
    // A missing control gives a null handle, which SetFocus takes as "no focus"; the
    // caller gets whatever SetFocus answers either way.
    return SetFocus(GetDlgItem(hDlg, nIDFocus));
}
