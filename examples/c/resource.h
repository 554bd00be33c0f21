/* Identifiers of modemsetup.rc. TVRInitTextDialog finds the controls of a message dialog
 * by the numbers that telvarid.h names: TVR_ID_ICON (200), TVR_ID_TEXT (201),
 * TVR_ID_EXTRA (202), and the push buttons IDOK (1) and IDCANCEL (2). */
#ifndef MODEMSETUP_RESOURCE_H
#define MODEMSETUP_RESOURCE_H

#include "telvarid.h"

#define IDD_MODEM_MESSAGE 100          /* the message dialog */
#define IDC_MSG_ICON TVR_ID_ICON      /* an SS_ICON static: TVRInitTextDialog puts the icon in */
#define IDC_MSG_TEXT TVR_ID_TEXT      /* the text static: fitted to the message */
#define IDC_MSG_OPTION TVR_ID_EXTRA   /* one more control, placed at the left of the button row */

#endif
