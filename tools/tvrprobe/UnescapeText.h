// Message texts on a command line: "\n" and "\t" stand for a line break and a tab, so a
// shell can pass a multi-line message in one argument. Shared by tvrprobe's "dialog"
// verb and the Wine test host.
#ifndef TVR_TOOLS_UNESCAPE_TEXT_H
#define TVR_TOOLS_UNESCAPE_TEXT_H

// Rewrites psz in place: each "\n" becomes a line break and each "\t" a tab; every other
// character, a lone backslash included, is kept as it is.
inline void UnescapeText(char *psz)
{
    char *pOut = psz;
    for (const char *p = psz; *p; ++p) {
        if (p[0] == '\\' && (p[1] == 'n' || p[1] == 't')) {
            *pOut++ = p[1] == 'n' ? '\n' : '\t';
            ++p;
        } else {
            *pOut++ = *p;
        }
    }
    *pOut = 0;
}

#endif // TVR_TOOLS_UNESCAPE_TEXT_H
