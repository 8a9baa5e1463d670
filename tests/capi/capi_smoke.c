/* A user's program in plain C: it includes only QmDC.h, opens a simulated
 * session, reads what the utility functions answer and closes. Built as C89
 * and as C11; returns 0 only when every check holds. */
#include <stdio.h>
#include <string.h>

#include "QmDC.h"

static int failures = 0;

static void check(int condition, const char* what) {
    if (!condition) {
        printf("FAILED: %s\n", what);
        ++failures;
    }
}

int main(void) {
    ViSession vi = VI_NULL;
    ViStatus status;
    ViChar text[256];
    ViChar instrument[256];
    ViInt16 result = -1;
    ViInt32 code = -1;
    ViStatus stored = 0;

    status = QmDC_InitWithOptions("TCPIP0::sim::5025::SOCKET", VI_TRUE, VI_TRUE,
                                  "Simulate=1, DriverSetup=Model:Bench 30-33 QM", &vi);
    check(status == VI_SUCCESS, "init in simulation");
    check(vi != VI_NULL, "a handle came back");

    check(QmDC_self_test(vi, &result, text) == VI_SUCCESS, "self test");
    check(result == 0 && strcmp(text, "Selftest passed") == 0, "self test answer");
    check(QmDC_revision_query(vi, text, instrument) == VI_SUCCESS, "revision query");
    check(strcmp(text, "1.0.0.0") == 0 && strcmp(instrument, "Sim1.0.0.0") == 0, "revisions");
    check(QmDC_error_query(vi, &code, text) == VI_SUCCESS, "error query");
    check(code == 0 && strcmp(text, "No error.") == 0, "error query answer");
    check(QmDC_Initiate(vi) == QMDC_ERROR_FUNCTION_NOT_SUPPORTED, "unsupported trigger");

    check(QmDC_error_query(vi, NULL, text) == QMDC_ERROR_NULL_POINTER, "null pointer");
    check(QmDC_GetError(vi, &stored, sizeof text, text) == VI_SUCCESS, "get error");
    check(stored == QMDC_ERROR_NULL_POINTER, "stored code");
    check(strcmp(text,
                 "Null pointer passed for function 'QmDC_error_query', parameter "
                 "'ErrorCode'.") == 0,
          "stored description");

    check(QmDC_error_message(VI_NULL, QMDC_ERROR_INSTRUMENT_STATUS, text) == VI_SUCCESS,
          "error message");
    check(strcmp(text,
                 "Instrument error detected.  Use ErrorQuery() to determine the "
                 "error(s).") == 0,
          "error message text");

    check(QmDC_close(vi) == VI_SUCCESS, "close");
    check(QmDC_close(vi) == QMDC_ERROR_INVALID_SESSION_HANDLE, "second close");

    /* A failed init leaves no handle; its description is on VI_NULL. */
    status = QmDC_InitWithOptions("TCPIP0::sim::5025::SOCKET", VI_FALSE, VI_FALSE, "Simulate=maybe",
                                  &vi);
    check(status == QMDC_ERROR_BAD_OPTION_VALUE && vi == VI_NULL, "failed init");
    check(QmDC_GetError(VI_NULL, &stored, sizeof text, text) == VI_SUCCESS, "error on VI_NULL");
    check(strcmp(text, "The 'maybe' value in the option string is unknown.") == 0,
          "failure description");

    printf("%d failed\n", failures);
    return failures == 0 ? 0 : 1;
}
