#include "serial/CommandText.h"

LONG BoundedTextLength(LPCSTR lpszText, LONG lLimit)
{
    if (lpszText == NULL)
        return -1;
    LONG lLength = 0;
    while (lLength <= lLimit && lpszText[lLength] != '\0')
        ++lLength;
    return lLength;
}
