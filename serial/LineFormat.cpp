#include "serial/LineFormat.h"

static const BYTE kDataBits = 8; // 8N1: what every Hayes modem autobauds to

void SetLineFormat(DCB *lpDcb, DWORD dwBaudRate)
{
    lpDcb->BaudRate = dwBaudRate;
    lpDcb->ByteSize = kDataBits;
    lpDcb->Parity = NOPARITY;
    lpDcb->StopBits = ONESTOPBIT;
}
