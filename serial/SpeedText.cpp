#include "serial/SpeedText.h"

bool ParseSpeed(const char *pszText, DWORD *pdwSpeed)
{
    if (pszText == NULL || *pszText == '\0')
        return false;
    unsigned long long qwValue = 0;
    for (const char *psz = pszText; *psz != '\0'; ++psz) {
        if (*psz < '0' || *psz > '9')
            return false;
        qwValue = qwValue * 10 + static_cast<unsigned>(*psz - '0');
        // Checked at every digit, so that no number of digits can overflow.
        if (qwValue > 0xFFFFFFFFull)
            return false;
    }
    if (qwValue == 0)
        return false;
    *pdwSpeed = static_cast<DWORD>(qwValue);
    return true;
}
