// SetTextDialogIcon: one of four shared system icons into the dialog's icon control.
#include <windows.h>

#include "DialogGeometry.h"
#include "TextDialog.h"

// Icon numbers of the predefined system icons, indexed by icon type.
static const WORD g_rgwIconNumbers[] = {
    32516, // 0: IDI_ASTERISK (information)
    32515, // 1: IDI_EXCLAMATION (warning)
    32513, // 2: IDI_HAND (error)
    32514, // 3: IDI_QUESTION
};

static const DWORD dwIconTypeCount = sizeof g_rgwIconNumbers / sizeof g_rgwIconNumbers[0];

void SetTextDialogIcon(HWND hDlg, LONG lIconType)
{
    // Taken as unsigned, so negative types fall outside the table with the large ones.
    const DWORD dwIconType = static_cast<DWORD>(lIconType);
    if (dwIconType >= dwIconTypeCount)
        return;
    // A shared icon owned by the system: it is never destroyed here.
    HICON hIcon = LoadIconA(NULL, MAKEINTRESOURCEA(g_rgwIconNumbers[dwIconType]));
    if (hIcon == NULL)
        return;
    // The control's previous image, which the message returns, is not ours to release.
    SendDlgItemMessageA(hDlg, TVR_ID_ICON, STM_SETIMAGE, IMAGE_ICON, reinterpret_cast<LPARAM>(hIcon));
}
