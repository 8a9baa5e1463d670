/* A program of your own against an installed QmDC: opens a simulated session
 * (no instrument needed) and prints the model it simulates. scripts/
 * test-install.sh builds it both ways, with pkg-config and with
 * find_package(QmDC) (CMakeLists.txt beside it), and runs it. */
#include <stdio.h>

#include "QmDC.h"

/* The failed call's description: the session's, or this thread's failed init's (VI_NULL). */
static int Failed(ViSession vi, ViStatus status) {
    ViChar description[1024] = "";
    QmDC_GetError(vi, &status, sizeof description, description);
    fprintf(stderr, "consumer: 0x%08lX %s\n", (unsigned long)(ViUInt32)status, description);
    return 1;
}

int main(void) {
    ViSession vi = VI_NULL;
    ViChar model[256];
    ViStatus status = QmDC_InitWithOptions("TCPIP0::127.0.0.1::5025::SOCKET", VI_FALSE, VI_FALSE,
                                           "Simulate=1, DriverSetup=Model:Bench 50-20 QM", &vi);
    if (status < 0) return Failed(VI_NULL, status);
    status = QmDC_GetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_MODEL, sizeof model, model);
    if (status < 0) {
        Failed(vi, status);
        QmDC_close(vi);
        return 1;
    }
    printf("%s\n", model);
    return QmDC_close(vi) < 0;
}
