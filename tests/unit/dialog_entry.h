// The entry a dialog case goes through: TVRInitTextDialog, or TVRInitTextDialogW when the
// run has TVR_DIALOG_ENTRY=wide (cmake/host.cmake registers the dialog cases a second
// time so). The cases are written for the 8-bit entry; ForEntry turns the names of its
// text functions into those of the entry under test.
#ifndef TVR_TEST_DIALOG_ENTRY_H
#define TVR_TEST_DIALOG_ENTRY_H

#include <gtest/gtest.h>

#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include "fake_platform.h"
#include "frame/telvarid.h"

inline bool WideEntry()
{
    const char *psz = getenv("TVR_DIALOG_ENTRY");
    return psz != nullptr && strcmp(psz, "wide") == 0;
}

// A call name, or a logged call, of the 8-bit entry as the entry under test makes it.
inline std::string ForEntry(std::string str)
{
    if (!WideEntry())
        return str;
    for (const char *psz : {"DrawTextA", "SetWindowTextA"}) {
        const std::string strFrom = psz;
        std::string strTo = strFrom;
        strTo.back() = 'W';
        for (size_t n = str.find(strFrom); n != std::string::npos; n = str.find(strFrom, n + 1))
            str.replace(n, strFrom.size(), strTo);
    }
    return str;
}

inline std::vector<std::string> ForEntry(std::vector<std::string> lines)
{
    for (std::string &str : lines)
        str = ForEntry(str);
    return lines;
}

// The entry under test, on an ASCII text (or NULL). Whichever it is, the text functions
// of the other character set are never called.
inline HWND InitUnderTest(HWND hDlg, LPCSTR lpszText, LONG lIconType, LONG lButtonMode, int nIDFocus)
{
    HWND hResult;
    if (WideEntry()) {
        std::u16string strWide;
        for (const char *p = lpszText; p != nullptr && *p != 0; ++p)
            strWide += static_cast<char16_t>(static_cast<unsigned char>(*p));
        hResult = TVRInitTextDialogW(hDlg, lpszText != nullptr ? strWide.c_str() : nullptr, lIconType, lButtonMode,
                                     nIDFocus);
    } else {
        hResult = TVRInitTextDialog(hDlg, lpszText, lIconType, lButtonMode, nIDFocus);
    }
    const char *const apszOther[] = {WideEntry() ? "DrawTextA" : "DrawTextW",
                                     WideEntry() ? "SetWindowTextA" : "SetWindowTextW"};
    for (const char *psz : apszOther)
        EXPECT_EQ(fake::CountCalls(psz), 0u) << psz;
    return hResult;
}

#endif // TVR_TEST_DIALOG_ENTRY_H
