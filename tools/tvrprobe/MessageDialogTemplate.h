// A message dialog like the ones setup programs hand to TVRInitTextDialog, built as a
// dialog template in memory (no resource file): icon control 200, text control 201,
// push buttons 1 and 2, and a small check box 202 at the bottom left. Shared by tvrprobe's
// "dialog" verb and the Wine test host.
#ifndef TVR_TOOLS_MESSAGE_DIALOG_TEMPLATE_H
#define TVR_TOOLS_MESSAGE_DIALOG_TEMPLATE_H

#include <windows.h>

class MessageDialogTemplate {
public:
    // The dialog's text control starts 150 dialog units wide; the buttons stand where a
    // resource editor would have put them, under a two-line text. wPointSize is the
    // dialog font's size: every control draws with it, and dialog units scale with it.
    explicit MessageDialogTemplate(WORD wPointSize = 8)
    {
        m_cw = 0;
        // DLGTEMPLATE
        AddDword(WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_MODALFRAME | DS_SETFONT);
        AddDword(0);
        AddWord(5); // controls
        AddShorts(40, 30, 200, 100);
        AddWord(0);                  // no menu
        AddWord(0);                  // the standard dialog class
        AddText(L"telvarid message"); // caption
        AddWord(wPointSize);         // point size of the font
        AddText(L"MS Shell Dlg");
        AddItem(SS_ICON | WS_CHILD | WS_VISIBLE, 8, 8, 21, 21, 200, 0x0082, L""); // 32 x 32 pixels
        AddItem(SS_LEFT | WS_CHILD | WS_VISIBLE, 38, 8, 150, 20, 201, 0x0082, L"");
        AddItem(BS_DEFPUSHBUTTON | WS_CHILD | WS_VISIBLE | WS_TABSTOP, 50, 70, 50, 14, IDOK, 0x0080, L"OK");
        AddItem(BS_PUSHBUTTON | WS_CHILD | WS_VISIBLE | WS_TABSTOP, 110, 70, 50, 14, IDCANCEL, 0x0080, L"Cancel");
        AddItem(BS_AUTOCHECKBOX | WS_CHILD | WS_VISIBLE | WS_TABSTOP, 8, 88, 30, 10, 202, 0x0080, L"Skip");
    }

    // A modeless dialog from the template; the caller shows and destroys it.
    HWND Create(HINSTANCE hInstance, DLGPROC pfnProc, LPARAM lParam) const
    {
        return CreateDialogIndirectParamW(hInstance, reinterpret_cast<LPCDLGTEMPLATEW>(m_rgw), NULL, pfnProc,
                                          lParam);
    }

private:
    void AddWord(WORD w) { m_rgw[m_cw++] = w; }
    void AddDword(DWORD dw)
    {
        AddWord(LOWORD(dw));
        AddWord(HIWORD(dw));
    }
    void AddShorts(short x, short y, short cx, short cy)
    {
        AddWord(static_cast<WORD>(x));
        AddWord(static_cast<WORD>(y));
        AddWord(static_cast<WORD>(cx));
        AddWord(static_cast<WORD>(cy));
    }
    void AddText(const wchar_t *pwsz)
    {
        do
            AddWord(static_cast<WORD>(*pwsz));
        while (*pwsz++);
    }
    // Each item starts on a DWORD boundary; the class is a predefined atom.
    void AddItem(DWORD dwStyle, short x, short y, short cx, short cy, WORD wID, WORD wClassAtom,
                 const wchar_t *pwszTitle)
    {
        if (m_cw % 2)
            AddWord(0);
        AddDword(dwStyle);
        AddDword(0);
        AddShorts(x, y, cx, cy);
        AddWord(wID);
        AddWord(0xFFFF);
        AddWord(wClassAtom);
        AddText(pwszTitle);
        AddWord(0); // no creation data
    }

    // Templates must be DWORD aligned: the array sits first in a DWORD-aligned object.
    alignas(4) WORD m_rgw[512];
    int m_cw;
};

#endif // TVR_TOOLS_MESSAGE_DIALOG_TEMPLATE_H
