/* What the Winsock transports of our visa32.dll must do, checked under wine
 * against the Linux emulator: a query, the TCPIP attributes, a refused
 * connection and a serial resource, a timeout that is honoured, viClose
 * from another thread ending a read that waits without a time limit, and on
 * HiSLIP a service request taken from the event queue.
 *
 *   visa32_check <TCPIP resource (SOCKET or HiSLIP) of a running qmdc-emulator>
 *
 * Prints one line per check and returns 0 only when all of them hold. */
#include <stdio.h>
#include <string.h>
#include <windows.h>

#include "visa.h"

static int failures = 0;

static void check(int condition, const char* what) {
    printf("%s: %s\n", condition ? "ok" : "FAILED", what);
    if (!condition) ++failures;
}

static ViSession Open(ViSession rm, const char* resource, ViStatus* status) {
    ViSession vi = VI_NULL;
    *status = viOpen(rm, (ViConstRsrc)resource, VI_NULL, 2000, &vi);
    return vi;
}

typedef struct {
    ViSession vi;
    ViStatus status;
} BlockedRead;

static DWORD WINAPI ReadForever(LPVOID arg) {
    BlockedRead* read = (BlockedRead*)arg;
    ViByte buffer[64];
    ViUInt32 count = 0;
    read->status = viRead(read->vi, buffer, sizeof buffer, &count);
    return 0;
}

/* viClose from this thread while another waits in viRead with an infinite
 * timeout: the read must end at once with VI_ERROR_ABORT. */
static void CheckCloseEndsRead(ViSession rm, const char* resource) {
    ViStatus status;
    BlockedRead read;
    HANDLE thread;
    DWORD waited;
    read.vi = Open(rm, resource, &status);
    read.status = VI_SUCCESS;
    check(status == VI_SUCCESS, "open for the blocked read");
    if (status != VI_SUCCESS) return;
    viSetAttribute(read.vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE);
    thread = CreateThread(NULL, 0, ReadForever, &read, 0, NULL);
    Sleep(300); /* let it block */
    check(viClose(read.vi) == VI_SUCCESS, "viClose while a read waits");
    waited = WaitForSingleObject(thread, 5000);
    check(waited == WAIT_OBJECT_0, "the waiting read returned within 5 s of viClose");
    check(read.status == VI_ERROR_ABORT, "the waiting read gave VI_ERROR_ABORT");
    CloseHandle(thread);
}

/* HiSLIP's AsyncServiceRequest, watched by the Winsock wait of the
 * transport: operation complete with its event enabled for service. */
static void CheckServiceRequest(ViSession rm, const char* resource) {
    ViStatus status;
    ViEventType type = 0;
    ViEvent context = VI_NULL;
    ViUInt16 stb = 0;
    ViSession vi = Open(rm, resource, &status);
    check(status == VI_SUCCESS, "open for service requests");
    if (status != VI_SUCCESS) return;
    check(viEnableEvent(vi, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL) == VI_SUCCESS,
          "viEnableEvent for service requests");
    viPrintf(vi, "*CLS;*ESE 1;*SRE 32\n");
    viPrintf(vi, "*OPC\n");
    status = viWaitOnEvent(vi, VI_EVENT_SERVICE_REQ, 2000, &type, &context);
    check(status == VI_SUCCESS && type == VI_EVENT_SERVICE_REQ,
          "viWaitOnEvent takes the service request");
    if (status == VI_SUCCESS) viClose(context);
    check(viReadSTB(vi, &stb) == VI_SUCCESS && (stb & 0x40) != 0,
          "the status byte says the instrument requests service");
    check(viClose(vi) == VI_SUCCESS, "viClose with service requests enabled");
}

int main(int argc, char* argv[]) {
    ViSession rm = VI_NULL, vi;
    ViStatus status;
    ViChar text[256];
    ViUInt16 port = 0;
    ViBoolean on = VI_FALSE;
    ViByte buffer[64];
    ViUInt32 count = 0;
    DWORD start, elapsed;

    if (argc < 2) {
        fprintf(stderr, "usage: %s <TCPIP resource of a running qmdc-emulator>\n", argv[0]);
        return 2;
    }
    check(viOpenDefaultRM(&rm) == VI_SUCCESS, "viOpenDefaultRM");

    vi = Open(rm, argv[1], &status);
    check(status == VI_SUCCESS, "viOpen of the emulator");
    if (status == VI_SUCCESS) {
        text[0] = '\0';
        status = viQueryf(vi, "*IDN?\n", "%255[^\n]", text);
        check(status == VI_SUCCESS && strstr(text, "Orvane") != NULL, "*IDN? answers Orvane");
        printf("    %s\n", text);

        check(viGetAttribute(vi, VI_ATTR_TCPIP_ADDR, text) == VI_SUCCESS &&
                  strcmp(text, "127.0.0.1") == 0,
              "VI_ATTR_TCPIP_ADDR is the peer's address");
        check(viGetAttribute(vi, VI_ATTR_TCPIP_PORT, &port) == VI_SUCCESS && port != 0,
              "VI_ATTR_TCPIP_PORT");
        check(viGetAttribute(vi, VI_ATTR_TCPIP_NODELAY, &on) == VI_SUCCESS && on == VI_TRUE,
              "VI_ATTR_TCPIP_NODELAY is on at open");
        check(viSetAttribute(vi, VI_ATTR_TCPIP_KEEPALIVE, VI_TRUE) == VI_SUCCESS &&
                  viGetAttribute(vi, VI_ATTR_TCPIP_KEEPALIVE, &on) == VI_SUCCESS && on == VI_TRUE,
              "VI_ATTR_TCPIP_KEEPALIVE set and read back from the socket");

        /* Nothing was asked, so nothing comes: the read ends at the timeout. */
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 300);
        start = GetTickCount();
        status = viRead(vi, buffer, sizeof buffer, &count);
        elapsed = GetTickCount() - start;
        check(status == VI_ERROR_TMO && count == 0, "a read with nothing to read times out");
        check(elapsed >= 250 && elapsed < 2000, "after about its 300 ms");
        viClose(vi);
    }

    Open(rm, "TCPIP0::127.0.0.1::1::SOCKET", &status);
    check(status == VI_ERROR_RSRC_NFOUND, "a refused connection gives VI_ERROR_RSRC_NFOUND");
    Open(rm, "ASRL1::INSTR", &status);
    check(status == VI_ERROR_RSRC_NFOUND, "a serial line gives VI_ERROR_RSRC_NFOUND on Windows");
    Open(rm, "TCPIP0::127.0.0.1", &status);
    /* A TCPIP name without port or SOCKET is a VXI-11 instrument: no ONC RPC
     * library on Windows. */
    check(status == VI_ERROR_LIBRARY_NFOUND, "a VXI-11 name gives VI_ERROR_LIBRARY_NFOUND");

    CheckCloseEndsRead(rm, argv[1]);
    if (strstr(argv[1], "hislip") != NULL) CheckServiceRequest(rm, argv[1]);
    check(viClose(rm) == VI_SUCCESS, "viClose of the resource manager");

    printf("%s\n", failures == 0 ? "visa32.dll: all checks passed" : "visa32.dll: checks failed");
    return failures == 0 ? 0 : 1;
}
