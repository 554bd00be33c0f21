// TvrModem.dll, the library's NSIS plug-in: each export is a plug-in function that a
// script calls as TvrModem::NAME. NSIS pushes a call's arguments so that the first one
// is on top; each function pops exactly its arguments, in order, and pushes exactly its
// answers, in the order given, whatever happens: a script's stack stays balanced on
// every path. Texts cross the stack in the installer's character set (8-bit in the
// x86-ansi flavour, UTF-16 in x86-unicode and amd64-unicode): NSIS's plug-in library,
// built per flavour, converts, so this file is the same in every flavour.
//
//   TvrModem::Scan
//     pops nothing; pushes the port ("COM1" to "COM4", or ""), then the result
//     ("1": a modem answered on that port, "0": none did)
//   TvrModem::CheckPort PORT SPEED COMMAND
//     pops PORT ("COM3"), SPEED (decimal digits: "9600") and COMMAND ("AT", or "" to
//     send none); pushes the result ("1": the port takes the speed and answered the
//     command if one was given, "0": not), or "error" with the error flag set when an
//     argument is missing or SPEED is not a number (no port is touched then)
//   TvrModem::Find MESSAGE
//     pops MESSAGE (shown in the search's window above the ports; "" for the library's
//     own text); pushes the port ("COM1" to "COM4", or ""), then the result ("1": a
//     modem answered on that port, "0": none did, "cancel": the user cancelled the
//     search, or it could not run). The search's window is modal on the installer's
//     window; in a silent install there is none, and the search runs alone. Called from
//     a page callback it keeps the installer's window answering: it pumps its messages.
//   TvrModem::ModemAvailable
//     pops nothing; pushes the port name of the modem the telephony service lists (or
//     ""), then the result ("2": a data modem at 9600 bit/s or more, "1": data modems,
//     none that fast, "0": none, or no telephony)
//
// A missing argument is one the stack does not hold: the script pushed fewer than the
// function pops. An argument the script forgot while its own stack holds other values
// cannot be told apart: that value is taken, as NSIS does for every plug-in.
//
// NSIS loads the plug-in for a call and frees it after (no unload callback is asked
// for): each function leaves no thread, handle or heap block behind, and the library's
// exports it calls load TAPI32.DLL from the system folder only.
#include <windows.h>
#include <stdlib.h>

#include <nsis/pluginapi.h>

#include "PluginAnswers.h"

namespace {

// Arguments are read into blocks of NSIS's string size, the most a stack entry holds.
struct ArgumentBlock {
    char *psz;
};

// Pops one argument as 8-bit text into pArg (allocated here, g_stringsize bytes plus a
// zero, so that no entry is cut short inside NSIS's own conversion). Returns FALSE, with
// pArg->psz NULL, when the stack is empty, or when no memory could be had: the entry is
// then taken off all the same, as popstring would (NSIS allocates each entry with
// GlobalAlloc), so that the stack is exactly as long as the contract says.
BOOL PopArgument(ArgumentBlock *pArg)
{
    pArg->psz = static_cast<char *>(malloc(g_stringsize + 1));
    if (pArg->psz == NULL) {
        stack_t *pTop = g_stacktop != NULL ? *g_stacktop : NULL;
        if (pTop != NULL) {
            *g_stacktop = pTop->next;
            GlobalFree(pTop);
        }
        return FALSE;
    }
    pArg->psz[0] = 0;
    if (PopStringA(pArg->psz) != 0) {
        free(pArg->psz);
        pArg->psz = NULL;
        return FALSE;
    }
    return TRUE;
}

// Pops one argument as UTF-16 into a block of g_stringsize characters plus a zero;
// NULL when the stack is empty or no memory could be had (the entry taken off all the
// same, as PopArgument does).
WCHAR *PopWideArgument()
{
    WCHAR *psz = static_cast<WCHAR *>(malloc((g_stringsize + 1) * sizeof(WCHAR)));
    if (psz == NULL) {
        stack_t *pTop = g_stacktop != NULL ? *g_stacktop : NULL;
        if (pTop != NULL) {
            *g_stacktop = pTop->next;
            GlobalFree(pTop);
        }
        return NULL;
    }
    psz[0] = 0;
    if (PopStringW(psz) != 0) {
        free(psz);
        return NULL;
    }
    return psz;
}

void FreeArgument(ArgumentBlock *pArg)
{
    free(pArg->psz);
    pArg->psz = NULL;
}

void PushAnswer(const PluginAnswer *pAnswer, BOOL bWithPort, extra_parameters *pExtra)
{
    if (bWithPort)
        PushStringA(pAnswer->szPort);
    PushStringA(pAnswer->szResult);
    if (pAnswer->bError && pExtra != NULL && pExtra->exec_flags != NULL)
        pExtra->exec_flags->exec_error = 1;
}

} // namespace

extern "C" void __cdecl Scan(HWND hwndParent, int string_size, LPTSTR variables, stack_t **stacktop,
                             extra_parameters *extra)
{
    (void)hwndParent;
    EXDLL_INIT();
    PluginAnswer answer;
    AnswerScan(&answer);
    PushAnswer(&answer, TRUE, extra);
}

extern "C" void __cdecl CheckPort(HWND hwndParent, int string_size, LPTSTR variables, stack_t **stacktop,
                                  extra_parameters *extra)
{
    (void)hwndParent;
    EXDLL_INIT();
    ArgumentBlock port, speed, command;
    PopArgument(&port);
    PopArgument(&speed);
    PopArgument(&command);
    PluginAnswer answer;
    AnswerCheckPort(port.psz, speed.psz, command.psz, &answer);
    FreeArgument(&port);
    FreeArgument(&speed);
    FreeArgument(&command);
    PushAnswer(&answer, FALSE, extra);
}

extern "C" void __cdecl ModemAvailable(HWND hwndParent, int string_size, LPTSTR variables, stack_t **stacktop,
                                       extra_parameters *extra)
{
    (void)hwndParent;
    EXDLL_INIT();
    PluginAnswer answer;
    AnswerModemAvailable(&answer);
    PushAnswer(&answer, TRUE, extra);
}

extern "C" void __cdecl Find(HWND hwndParent, int string_size, LPTSTR variables, stack_t **stacktop,
                             extra_parameters *extra)
{
    EXDLL_INIT();
    // A missing message is the library's own text, like an empty one: the find needs
    // none, and the stack is balanced either way.
    WCHAR *pszMessage = PopWideArgument();
    const BOOL bSilent = extra != NULL && extra->exec_flags != NULL && extra->exec_flags->silent;
    PluginAnswer answer;
    AnswerFind(bSilent ? NULL : hwndParent, pszMessage != NULL && pszMessage[0] != 0 ? pszMessage : NULL, &answer);
    free(pszMessage);
    PushAnswer(&answer, TRUE, extra);
}
