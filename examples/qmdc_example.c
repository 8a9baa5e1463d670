/* Opens a session on a supply (or in simulation), asks it who it is, runs the
 * self-test, reads the error queue and closes.
 *
 *   qmdc-example <resource or logical name> [option string]
 */
#include <stdio.h>

#include "QmDC.h"

/* Prints the failure of a call and says whether it failed. */
static int failed(ViSession vi, ViStatus status, const char* what) {
    ViChar description[1024];
    ViStatus code = 0;
    if (status >= 0) return 0;
    QmDC_GetError(vi, &code, sizeof description, description);
    fprintf(stderr, "%s failed (0x%08lX): %s\n", what, (unsigned long)(ViUInt32)status,
            description);
    return 1;
}

int main(int argc, char* argv[]) {
    ViSession vi = VI_NULL;
    ViChar driverRevision[256], instrumentRevision[256], message[256];
    ViInt16 selfTest = 0;
    ViInt32 errorCode = 0;
    ViStatus status;

    if (argc < 2) {
        fprintf(stderr, "usage: %s <resource> [option string]\n", argv[0]);
        return 2;
    }
    status = QmDC_InitWithOptions(argv[1], VI_TRUE, VI_TRUE, argc > 2 ? argv[2] : "", &vi);
    if (failed(VI_NULL, status, "init")) return 1;

    status = QmDC_revision_query(vi, driverRevision, instrumentRevision);
    if (!failed(vi, status, "revision query")) {
        printf("driver revision     %s\n", driverRevision);
        printf("firmware revision   %s\n", instrumentRevision);
    }
    status = QmDC_self_test(vi, &selfTest, message);
    if (!failed(vi, status, "self-test")) printf("self-test           %d, %s\n", selfTest, message);
    status = QmDC_error_query(vi, &errorCode, message);
    if (!failed(vi, status, "error query"))
        printf("error queue         %ld, %s\n", (long)errorCode, message);

    status = QmDC_close(vi);
    return failed(VI_NULL, status, "close");
}
