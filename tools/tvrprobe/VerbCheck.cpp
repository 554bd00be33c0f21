// "check": asks telvarid.dll whether a port takes a line speed and, when a command is
// given, whether the device on it answers that command.
//
// The library answers both questions with one result, so that a command that goes
// unanswered looks the same as a port that can't be used. The verb asks twice to
// tell them apart: first without the command, then with it.
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "Verbs.h"

// The longest command telvarid.dll sends: its 256-byte line holds the command, a
// carriage return and the terminating zero. It refuses longer ones with result 0.
static const size_t kMaxCommandChars = 254;

static int RunCheck(const TelvaridApi *pApi, int argc, char **argv)
{
    char *pszEnd = nullptr;
    unsigned long ulSpeed = argc >= 2 ? strtoul(argv[1], &pszEnd, 10) : 0;
    if (argc < 2 || argc > 3 || ulSpeed == 0 || *pszEnd != 0) {
        fprintf(stderr, "usage: tvrprobe check PORT SPEED [COMMAND]   e.g. tvrprobe check COM3 9600 AT\n");
        return 2;
    }
    const char *pszPort = argv[0];
    DWORD dwSpeed = static_cast<DWORD>(ulSpeed);
    if (!pApi->pfnCheckCommParams(pszPort, dwSpeed, FALSE, nullptr)) {
        printf("%s can't be used at %lu bit/s: it does not exist or refused the setting.\n", pszPort, ulSpeed);
        return 1;
    }
    printf("%s is usable at %lu bit/s, 8 data bits, no parity, one stop bit (or another program "
           "holds it).\n", pszPort, ulSpeed);
    if (argc < 3)
        return 0;
    fflush(stdout);
    size_t cchCommand = strlen(argv[2]);
    if (cchCommand > kMaxCommandChars) {
        // The library would answer 0, which would read as a silent device.
        printf("The command is too long (%lu characters): telvarid.dll refuses commands longer "
               "than %lu characters and sends nothing.\n",
               static_cast<unsigned long>(cchCommand), static_cast<unsigned long>(kMaxCommandChars));
        return 1;
    }
    if (pApi->pfnCheckCommParams(pszPort, dwSpeed, TRUE, argv[2])) {
        // A port held by another program also gives 1, with nothing sent.
        printf("The device on %s answered \"%s\" (or another program holds %s, so nothing was "
               "sent).\n", pszPort, argv[2], pszPort);
        return 0;
    }
    printf("The device on %s did not answer \"%s\" within 3 seconds.\n", pszPort, argv[2]);
    return 1;
}

TVR_PROBE_VERB(check, "check", "PORT SPEED [COMMAND]",
               "tells whether PORT takes SPEED bit/s (8N1) and whether its device answers COMMAND", RunCheck);
