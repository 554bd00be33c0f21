// Not built yet: the dialog layout answers null without touching the dialog.
#include <windows.h>

extern "C" HWND __cdecl TVRInitTextDialog(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode,
                                          int nIDFocus)
{
    (void)hDlg;
    (void)lpszText;
    (void)lIconType;
    (void)lButtonMode;
    (void)nIDFocus;
    return NULL;
}
