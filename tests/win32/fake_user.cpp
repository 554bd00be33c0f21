#include "fake_user.h"

#include "fake_platform.h"

#include <map>
#include <vector>

namespace fake {
namespace {

struct Window {
    std::string strName;
    HWND hParent;
    int nID;
    RECT rPos; // in the parent's client coordinates; screen coordinates for a top-level window
    int dxClient;
    int dyClient;
    std::string strText;
    HANDLE hImage;
    HFONT hFont; // what WM_GETFONT answers
};

// The extent within a bound narrower than cxNarrowerThan.
struct Wrap {
    LONG cxNarrowerThan;
    LONG cxText;
    LONG cyText;
};

struct Font {
    std::string strName;
    LONG cxText; // the extent DrawTextA measures in this font
    LONG cyText;
    std::vector<Wrap> wraps;
};

const uintptr_t uWindowBase = 0x50000; // fake HWND values: base + 16 * index
const uintptr_t uIconBase = 0x90000;   // fake HICON values: base + icon number
const uintptr_t uFontBase = 0xA0000;   // fake HFONT values: base + 16 * index; index 0 is the system font

struct UserState {
    std::vector<Window> windows;
    std::map<int, int> metrics;
    std::vector<Font> fonts{Font{"system", 250, 39, {}}};
    int nScale = 1;
    int nOrigin = 0;
    HWND hFocus = nullptr;
    std::map<HDC, HWND> dcs;
    std::map<HDC, HFONT> dcFonts; // the font each open DC holds
    std::vector<std::string> fontsAtRelease;
    bool bFailedRect = false; // a failed GetWindowRect writes rFailedRect
    RECT rFailedRect = {0, 0, 0, 0};
    bool bFailedDrawText = false; // a failed DrawTextA writes rFailedDrawText
    RECT rFailedDrawText = {0, 0, 0, 0};
};

// Coordinates are formed at 64 bits and clamped back to a LONG, so extreme rectangles
// handed to the double cannot overflow in its own arithmetic.
LONG Clamp(long long ll)
{
    if (ll > 2147483647LL)
        return 2147483647;
    if (ll < -2147483647LL - 1)
        return -2147483647 - 1;
    return static_cast<LONG>(ll);
}

RECT Offset(const RECT &r, long long dx, long long dy)
{
    return RECT{Clamp(r.left + dx), Clamp(r.top + dy), Clamp(r.right + dx), Clamp(r.bottom + dy)};
}

UserState &U()
{
    static UserState *s = new UserState; // never destroyed, like the core state
    return *s;
}

void ResetUser()
{
    UserState &u = U();
    u = UserState();
    u.metrics[SM_CXDLGFRAME] = 3;
    u.metrics[SM_CYDLGFRAME] = 3;
    u.metrics[SM_CYMENU] = 19;
    u.metrics[SM_CYCAPTION] = 24;
}

struct Registrar {
    Registrar()
    {
        AddResetHook(ResetUser);
        ResetUser();
    }
} g_registrar;

Font *FindFont(HGDIOBJ h)
{
    uintptr_t u = reinterpret_cast<uintptr_t>(h);
    if (u < uFontBase || (u - uFontBase) % 16 != 0)
        return nullptr;
    size_t i = (u - uFontBase) / 16;
    return i < U().fonts.size() ? &U().fonts[i] : nullptr;
}

std::string FontName(HGDIOBJ h)
{
    const Font *f = FindFont(h);
    return f ? "font:" + f->strName : (h ? Ptr(h) : "NULL");
}

Window *Find(HWND hWnd)
{
    uintptr_t u = reinterpret_cast<uintptr_t>(hWnd);
    if (u < uWindowBase || (u - uWindowBase) % 16 != 0)
        return nullptr;
    size_t i = (u - uWindowBase) / 16;
    return i < U().windows.size() ? &U().windows[i] : nullptr;
}

// Screen position of the window's client area origin.
POINT ClientOrigin(HWND hWnd);

RECT ScreenRect(HWND hWnd)
{
    const Window *w = Find(hWnd);
    if (!w->hParent)
        return w->rPos;
    POINT pt = ClientOrigin(w->hParent);
    return Offset(w->rPos, pt.x, pt.y);
}

POINT ClientOrigin(HWND hWnd)
{
    RECT r = ScreenRect(hWnd);
    const Window *w = Find(hWnd);
    return POINT{Clamp(static_cast<long long>(r.left) + w->dxClient),
                 Clamp(static_cast<long long>(r.top) + w->dyClient)};
}

std::string Name(HWND hWnd)
{
    if (!hWnd)
        return "NULL";
    const Window *w = Find(hWnd);
    return w ? w->strName : Ptr(hWnd);
}

std::string IconName(LPARAM l)
{
    uintptr_t u = static_cast<uintptr_t>(l);
    if (u >= uIconBase + 32512 && u <= uIconBase + 32518)
        return "icon:" + std::to_string(u - uIconBase);
    return Hex(u);
}

std::string Num(long long v) { return std::to_string(v); }

std::string RectText(const RECT *pr)
{
    return "{" + Num(pr->left) + "," + Num(pr->top) + "," + Num(pr->right) + "," + Num(pr->bottom) + "}";
}

std::string PointsText(const POINT *ppt, int c)
{
    std::string s = "{";
    for (int i = 0; i < c; ++i)
        s += (i ? ";" : "") + Num(ppt[i].x) + "," + Num(ppt[i].y);
    return s + "}";
}

std::string DCName(HDC hdc) { return IsOpenHandle(hdc) ? HandleName(hdc) : Ptr(hdc); }

} // namespace

HWND NewWindow(const char *pszName, HWND hParent, int nID, RECT rWindow, int dxClient, int dyClient)
{
    UserState &u = U();
    HWND hWnd = reinterpret_cast<HWND>(uWindowBase + 16 * u.windows.size());
    RECT rPos = rWindow;
    if (hParent) {
        POINT pt = ClientOrigin(hParent);
        rPos = Offset(rWindow, -static_cast<long long>(pt.x), -static_cast<long long>(pt.y));
    }
    u.windows.push_back(Window{pszName, hParent, nID, rPos, dxClient, dyClient, "", nullptr, nullptr});
    return hWnd;
}

RECT WindowRectOf(HWND hWnd) { return ScreenRect(hWnd); }
std::string WindowTextOf(HWND hWnd) { return Find(hWnd)->strText; }

std::string Utf8Of(const WCHAR *pszText)
{
    std::string str;
    for (const WCHAR *p = pszText; *p != 0; ++p) {
        unsigned long c = *p;
        // A surrogate pair makes one code point; a lone surrogate is kept as it is.
        if (c >= 0xD800 && c < 0xDC00 && p[1] >= 0xDC00 && p[1] < 0xE000) {
            c = 0x10000 + ((c - 0xD800) << 10) + (p[1] - 0xDC00);
            ++p;
        }
        if (c < 0x80) {
            str += static_cast<char>(c);
        } else if (c < 0x800) {
            str += static_cast<char>(0xC0 | (c >> 6));
            str += static_cast<char>(0x80 | (c & 0x3F));
        } else if (c < 0x10000) {
            str += static_cast<char>(0xE0 | (c >> 12));
            str += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            str += static_cast<char>(0x80 | (c & 0x3F));
        } else {
            str += static_cast<char>(0xF0 | (c >> 18));
            str += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
            str += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
            str += static_cast<char>(0x80 | (c & 0x3F));
        }
    }
    return str;
}
HANDLE ImageOf(HWND hWnd) { return Find(hWnd)->hImage; }
void SetImage(HWND hWnd, HANDLE hImage) { Find(hWnd)->hImage = hImage; }
HWND FocusWindow() { return U().hFocus; }
void SetFocusWindow(HWND hWnd) { U().hFocus = hWnd; }
void SetSystemMetric(int nIndex, int nValue) { U().metrics[nIndex] = nValue; }

void SetTextExtent(LONG cxLogical, LONG cyLogical)
{
    U().fonts[0].cxText = cxLogical;
    U().fonts[0].cyText = cyLogical;
}

HFONT NewFont(const char *pszName, LONG cxLogical, LONG cyLogical)
{
    U().fonts.push_back(Font{pszName, cxLogical, cyLogical, {}});
    return reinterpret_cast<HFONT>(uFontBase + 16 * (U().fonts.size() - 1));
}

void SetFontWrap(HFONT hFont, LONG cxNarrowerThan, LONG cxLogical, LONG cyLogical)
{
    FindFont(hFont)->wraps.push_back(Wrap{cxNarrowerThan, cxLogical, cyLogical});
}

HFONT SystemFont() { return reinterpret_cast<HFONT>(uFontBase); }
void SetWindowFont(HWND hWnd, HFONT hFont) { Find(hWnd)->hFont = hFont; }
std::vector<std::string> FontsAtRelease() { return U().fontsAtRelease; }

void SetMapping(int nScale, int nOrigin)
{
    U().nScale = nScale;
    U().nOrigin = nOrigin;
}

HICON SystemIcon(int n)
{
    if (n < 32512 || n > 32518)
        return nullptr;
    return reinterpret_cast<HICON>(uIconBase + static_cast<uintptr_t>(n));
}

size_t OpenDCCount() { return U().dcs.size(); }

void SetFailedDrawTextRect(RECT rLeft)
{
    U().bFailedDrawText = true;
    U().rFailedDrawText = rLeft;
}

void SetFailedWindowRect(RECT rLeft)
{
    U().bFailedRect = true;
    U().rFailedRect = rLeft;
}

} // namespace fake

using fake::U;

HWND WINAPI GetDlgItem(HWND hDlg, int nIDDlgItem)
{
    fake::RecordCall("GetDlgItem(" + fake::Name(hDlg) + ", " + fake::Num(nIDDlgItem) + ")");
    if (fake::TakeFailure("GetDlgItem") || !hDlg)
        return nullptr;
    for (size_t i = 0; i < U().windows.size(); ++i)
        if (U().windows[i].hParent == hDlg && U().windows[i].nID == nIDDlgItem)
            return reinterpret_cast<HWND>(fake::uWindowBase + 16 * i);
    return nullptr;
}

HWND WINAPI SetFocus(HWND hWnd)
{
    fake::RecordCall("SetFocus(" + fake::Name(hWnd) + ")");
    if (fake::TakeFailure("SetFocus"))
        return nullptr;
    HWND hPrevious = U().hFocus;
    U().hFocus = hWnd;
    return hPrevious;
}

HICON WINAPI LoadIconA(HINSTANCE hInstance, LPCSTR lpIconName)
{
    uintptr_t u = reinterpret_cast<uintptr_t>(lpIconName);
    fake::RecordCall("LoadIconA(" + fake::Ptr(hInstance) + ", " + (u < 0x10000 ? fake::Num(u) : "\"string\"") + ")");
    if (fake::TakeFailure("LoadIconA") || hInstance || u >= 0x10000)
        return nullptr;
    return fake::SystemIcon(static_cast<int>(u));
}

LRESULT WINAPI SendDlgItemMessageA(HWND hDlg, int nIDDlgItem, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    fake::RecordCall("SendDlgItemMessageA(" + fake::Name(hDlg) + ", " + fake::Num(nIDDlgItem) + ", " +
                     fake::Num(Msg) + ", " + fake::Num(wParam) + ", " + fake::IconName(lParam) + ")");
    if (fake::TakeFailure("SendDlgItemMessageA"))
        return 0;
    for (fake::Window &w : U().windows) {
        if (w.hParent == hDlg && w.nID == nIDDlgItem) {
            if (Msg != STM_SETIMAGE)
                return 0;
            HANDLE hOld = w.hImage;
            w.hImage = reinterpret_cast<HANDLE>(lParam);
            return reinterpret_cast<LRESULT>(hOld);
        }
    }
    return 0;
}

HDC WINAPI GetDC(HWND hWnd)
{
    fake::RecordCall("GetDC(" + fake::Name(hWnd) + ")");
    if (fake::TakeFailure("GetDC"))
        return nullptr;
    HDC hdc = static_cast<HDC>(fake::NewHandle("DC of " + fake::Name(hWnd)));
    U().dcs[hdc] = hWnd;
    U().dcFonts[hdc] = fake::SystemFont();
    return hdc;
}

int WINAPI ReleaseDC(HWND hWnd, HDC hDC)
{
    fake::RecordCall("ReleaseDC(" + fake::Name(hWnd) + ", " + fake::DCName(hDC) + ")");
    auto it = U().dcs.find(hDC);
    if (it == U().dcs.end() || it->second != hWnd)
        return 0;
    U().fontsAtRelease.push_back(fake::FontName(U().dcFonts[hDC]));
    U().dcs.erase(it);
    U().dcFonts.erase(hDC);
    fake::CloseFakeHandle(hDC);
    return 1;
}

BOOL WINAPI GetClientRect(HWND hWnd, LPRECT lpRect)
{
    fake::RecordCall("GetClientRect(" + fake::Name(hWnd) + ")");
    const fake::Window *w = fake::Find(hWnd);
    if (fake::TakeFailure("GetClientRect") || !w)
        return FALSE;
    const RECT &r = w->rPos;
    const long long llWidth = static_cast<long long>(r.right) - r.left;
    const long long llHeight = static_cast<long long>(r.bottom) - r.top;
    *lpRect = RECT{0, 0, fake::Clamp(llWidth - 2LL * w->dxClient),
                   fake::Clamp(llHeight - w->dyClient - w->dxClient)};
    return TRUE;
}

BOOL WINAPI GetWindowRect(HWND hWnd, LPRECT lpRect)
{
    fake::RecordCall("GetWindowRect(" + fake::Name(hWnd) + ")");
    if (fake::TakeFailure("GetWindowRect") || !fake::Find(hWnd)) {
        if (U().bFailedRect && lpRect)
            *lpRect = U().rFailedRect;
        return FALSE;
    }
    *lpRect = fake::ScreenRect(hWnd);
    return TRUE;
}

// DrawTextA and DrawTextW measure alike: the extent is the font's, whatever the text.
static int MeasureText(const char *pszName, const std::string &strText, HDC hdc, int cchText, LPRECT lprc,
                       UINT format)
{
    fake::RecordCall(std::string(pszName) + "(" + fake::DCName(hdc) + ", \"" + strText + "\", " + fake::Num(cchText) +
                     ", " + fake::RectText(lprc) + ", " + fake::Num(format) + ")");
    if (fake::TakeFailure(pszName) || U().dcs.count(hdc) == 0) {
        if (U().bFailedDrawText && lprc)
            *lprc = U().rFailedDrawText;
        return 0;
    }
    const fake::Font *f = fake::FindFont(U().dcFonts[hdc]);
    LONG cx = f->cxText;
    LONG cy = f->cyText;
    const long long llBound = static_cast<long long>(lprc->right) - lprc->left;
    const fake::Wrap *pWrap = nullptr;
    for (const fake::Wrap &w : f->wraps)
        if (llBound < w.cxNarrowerThan && (!pWrap || w.cxNarrowerThan < pWrap->cxNarrowerThan))
            pWrap = &w;
    if (pWrap) {
        cx = pWrap->cxText;
        cy = pWrap->cyText;
    }
    if (format & DT_CALCRECT) {
        lprc->right = fake::Clamp(static_cast<long long>(lprc->left) + cx);
        lprc->bottom = fake::Clamp(static_cast<long long>(lprc->top) + cy);
    }
    return cy;
}

int WINAPI DrawTextA(HDC hdc, LPCSTR lpchText, int cchText, LPRECT lprc, UINT format)
{
    return MeasureText("DrawTextA", lpchText ? lpchText : "(null)", hdc, cchText, lprc, format);
}

int WINAPI DrawTextW(HDC hdc, LPCWSTR lpchText, int cchText, LPRECT lprc, UINT format)
{
    return MeasureText("DrawTextW", lpchText ? fake::Utf8Of(lpchText) : "(null)", hdc, cchText, lprc, format);
}

int WINAPI GetSystemMetrics(int nIndex)
{
    fake::RecordCall("GetSystemMetrics(" + fake::Num(nIndex) + ")");
    auto it = U().metrics.find(nIndex);
    return it == U().metrics.end() ? 0 : it->second;
}

BOOL WINAPI SetWindowPos(HWND hWnd, HWND hWndInsertAfter, int X, int Y, int cx, int cy, UINT uFlags)
{
    fake::RecordCall("SetWindowPos(" + fake::Name(hWnd) + ", " + fake::Name(hWndInsertAfter) + ", " + fake::Num(X) +
                     ", " + fake::Num(Y) + ", " + fake::Num(cx) + ", " + fake::Num(cy) + ", " + fake::Num(uFlags) + ")");
    fake::Window *w = fake::Find(hWnd);
    if (fake::TakeFailure("SetWindowPos") || !w)
        return FALSE;
    RECT &r = w->rPos;
    if (!(uFlags & SWP_NOMOVE)) {
        const long long llCXOld = static_cast<long long>(r.right) - r.left;
        const long long llCYOld = static_cast<long long>(r.bottom) - r.top;
        r = RECT{X, Y, fake::Clamp(X + llCXOld), fake::Clamp(Y + llCYOld)};
    }
    if (!(uFlags & SWP_NOSIZE)) {
        r.right = fake::Clamp(static_cast<long long>(r.left) + cx);
        r.bottom = fake::Clamp(static_cast<long long>(r.top) + cy);
    }
    return TRUE;
}

// Both store the text as UTF-8, so a test reads either the same way.
static BOOL SetText(const char *pszName, HWND hWnd, const char *pszText)
{
    fake::RecordCall(std::string(pszName) + "(" + fake::Name(hWnd) + ", \"" + (pszText ? pszText : "(null)") + "\")");
    fake::Window *w = fake::Find(hWnd);
    if (fake::TakeFailure(pszName) || !w)
        return FALSE;
    w->strText = pszText ? pszText : "";
    return TRUE;
}

BOOL WINAPI SetWindowTextA(HWND hWnd, LPCSTR lpString)
{
    return SetText("SetWindowTextA", hWnd, lpString);
}

BOOL WINAPI SetWindowTextW(HWND hWnd, LPCWSTR lpString)
{
    const std::string strText = lpString ? fake::Utf8Of(lpString) : std::string();
    return SetText("SetWindowTextW", hWnd, lpString ? strText.c_str() : nullptr);
}

BOOL WINAPI DPtoLP(HDC hdc, LPPOINT lppt, int c)
{
    fake::RecordCall("DPtoLP(" + fake::DCName(hdc) + ", " + fake::PointsText(lppt, c) + ", " + fake::Num(c) + ")");
    if (fake::TakeFailure("DPtoLP") || U().dcs.count(hdc) == 0)
        return FALSE;
    for (int i = 0; i < c; ++i) {
        lppt[i].x = fake::Clamp(static_cast<long long>(lppt[i].x) * U().nScale + U().nOrigin);
        lppt[i].y = fake::Clamp(static_cast<long long>(lppt[i].y) * U().nScale + U().nOrigin);
    }
    return TRUE;
}

BOOL WINAPI LPtoDP(HDC hdc, LPPOINT lppt, int c)
{
    fake::RecordCall("LPtoDP(" + fake::DCName(hdc) + ", " + fake::PointsText(lppt, c) + ", " + fake::Num(c) + ")");
    if (fake::TakeFailure("LPtoDP") || U().dcs.count(hdc) == 0)
        return FALSE;
    for (int i = 0; i < c; ++i) {
        lppt[i].x = fake::Clamp((static_cast<long long>(lppt[i].x) - U().nOrigin) / U().nScale);
        lppt[i].y = fake::Clamp((static_cast<long long>(lppt[i].y) - U().nOrigin) / U().nScale);
    }
    return TRUE;
}

LRESULT WINAPI SendMessageA(HWND hWnd, UINT Msg, WPARAM wParam, LPARAM lParam)
{
    fake::RecordCall("SendMessageA(" + fake::Name(hWnd) + ", " + fake::Num(Msg) + ", " + fake::Num(wParam) + ", " +
                     fake::Num(lParam) + ")");
    const fake::Window *w = fake::Find(hWnd);
    if (fake::TakeFailure("SendMessageA") || !w)
        return 0;
    if (Msg == WM_GETFONT)
        return reinterpret_cast<LRESULT>(w->hFont);
    return 0;
}

HGDIOBJ WINAPI SelectObject(HDC hdc, HGDIOBJ h)
{
    fake::RecordCall("SelectObject(" + fake::DCName(hdc) + ", " + fake::FontName(h) + ")");
    if (fake::TakeFailure("SelectObject") || U().dcs.count(hdc) == 0 || !fake::FindFont(h))
        return nullptr;
    HFONT hOld = U().dcFonts[hdc];
    U().dcFonts[hdc] = static_cast<HFONT>(h);
    return hOld;
}
