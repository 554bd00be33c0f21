/* Identifiers of modemsetup.rc. TVRInitTextDialog finds the controls of a message dialog
 * by these numbers: 200, 201, 202, and the push buttons IDOK (1) and IDCANCEL (2). */
#ifndef MODEMSETUP_RESOURCE_H
#define MODEMSETUP_RESOURCE_H

#define IDD_MODEM_MESSAGE 100 /* the message dialog */
#define IDC_MSG_ICON 200      /* an SS_ICON static: TVRInitTextDialog puts the icon in */
#define IDC_MSG_TEXT 201      /* the text static: fitted to the message */
#define IDC_MSG_OPTION 202    /* one more control, placed at the left of the button row */

#endif
