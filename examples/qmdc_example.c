/* A bench session with a supply, through the public API only: who it is,
 * set it up (12 V, a 2 A current level and limit, over-voltage protection at
 * 15 V), switch the output on, measure, watch the regulation mode change when
 * the load changes, trip the over-voltage protection and reset it, read the
 * error queue and close. It prints a short report.
 *
 *   qmdc-example <resource or logical name> [option string]
 *
 * Against qmdc-emulator the load is changed with its EMUL:LOAD command through
 * direct I/O; in simulation (option "Simulate=1") that step is left out.
 */
#include <stdio.h>
#include <string.h>

#include "QmDC.h"

static ViSession vi = VI_NULL;
static int failures = 0;

/* Reports a failed call on stderr; returns whether it failed. */
static int failed(ViStatus status, const char* what) {
    ViChar description[1024];
    ViStatus code = 0;
    if (status >= 0) return 0;
    QmDC_GetError(vi, &code, sizeof description, description);
    fprintf(stderr, "%s failed (0x%08lX): %s\n", what, (unsigned long)(ViUInt32)status,
            description);
    ++failures;
    return 1;
}

static const char* RegulationText(void) {
    static const struct {
        ViInt32 state;
        const char* text;
    } states[] = {{QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE, "constant voltage"},
                  {QMDC_VAL_OUTPUT_CONSTANT_CURRENT, "constant current"},
                  {QMDC_VAL_OUTPUT_UNREGULATED, "unregulated"},
                  {QMDC_VAL_OUTPUT_OVER_VOLTAGE, "over-voltage protection tripped"},
                  {QMDC_VAL_OUTPUT_OVER_CURRENT, "over-current protection tripped"}};
    size_t i;
    for (i = 0; i < sizeof states / sizeof states[0]; ++i) {
        ViBoolean in = VI_FALSE;
        if (failed(QmDC_QueryOutputState(vi, "", states[i].state, &in), "output state")) break;
        if (in == VI_TRUE) return states[i].text;
    }
    return "output off";
}

/* One line: the measured output and its regulation mode. */
static void ReportOutput(const char* label) {
    ViReal64 volts = 0.0, amps = 0.0;
    ViBoolean on = VI_FALSE;
    if (failed(QmDC_Measure(vi, "", QMDC_VAL_MEASURE_VOLTAGE, &volts), "measure voltage") ||
        failed(QmDC_Measure(vi, "", QMDC_VAL_MEASURE_CURRENT, &amps), "measure current") ||
        failed(QmDC_GetAttributeViBoolean(vi, "", QMDC_ATTR_OUTPUT_ENABLED, &on), "output")) {
        return;
    }
    printf("%-16s%7.3f V %7.3f A   output %-3s  %s\n", label, volts, amps,
           on == VI_TRUE ? "on" : "off", RegulationText());
}

/* The emulator's load, through direct I/O. */
static void SetLoad(double ohms) {
    ViChar command[64];
    ViInt64 written = 0;
    sprintf(command, "EMUL:LOAD %g\n", ohms);
    failed(QmDC_viWrite(vi, (ViInt64)strlen(command), (ViByte*)command, &written), "load");
}

int main(int argc, char* argv[]) {
    ViChar text[256], model[256], manufacturer[256], firmware[256];
    ViReal64 maxVolts = 0.0, maxAmps = 0.0, powerAmps = 0.0;
    ViBoolean simulated = VI_FALSE;
    ViInt32 code = 0;

    if (argc < 2) {
        fprintf(stderr, "usage: %s <resource> [option string]\n", argv[0]);
        return 2;
    }
    if (failed(QmDC_InitWithOptions(argv[1], VI_TRUE, VI_TRUE, argc > 2 ? argv[2] : "", &vi),
               "init")) {
        return 1;
    }
    QmDC_GetAttributeViBoolean(vi, "", QMDC_ATTR_SIMULATE, &simulated);

    /* Who it is, and its ratings. */
    QmDC_GetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_MANUFACTURER, sizeof manufacturer,
                              manufacturer);
    QmDC_GetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_MODEL, sizeof model, model);
    QmDC_GetAttributeViString(vi, "", QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION, sizeof firmware,
                              firmware);
    QmDC_QueryMaxVoltageLevel(vi, "", 0.0, &maxVolts);
    QmDC_QueryMaxCurrentLimit(vi, "", 0.0, &maxAmps);
    QmDC_QueryMaxCurrentLimit(vi, "", maxVolts, &powerAmps);
    printf("%-16s%s %s, firmware %s%s\n", "Instrument", manufacturer, model, firmware,
           simulated == VI_TRUE ? " (simulated)" : "");
    printf("%-16s%g V, %g A, %g W\n", "Ratings", maxVolts, maxAmps, maxVolts * powerAmps);

    /* 12 V; the supply regulates the current at 2 A and trips above 2 A;
     * over-voltage protection at 15 V. */
    if (failed(QmDC_ConfigureVoltageLevel(vi, "", 12.0), "voltage") ||
        failed(QmDC_SetAttributeViReal64(vi, "", QMDC_ATTR_CURRENT_LEVEL, 2.0), "current level") ||
        failed(QmDC_ConfigureCurrentLimit(vi, "", QMDC_VAL_CURRENT_TRIP, 2.0), "current limit") ||
        failed(QmDC_ConfigureOVP(vi, "", VI_TRUE, 15.0), "OVP") ||
        failed(QmDC_ConfigureOutputEnabled(vi, "", VI_TRUE), "output on")) {
        QmDC_close(vi);
        return 1;
    }
    printf("%-16s12 V, current 2 A (trip above 2 A), OVP 15 V, output on\n", "Setup");

    if (simulated == VI_TRUE) {
        ReportOutput("Output");
    } else {
        SetLoad(10.0);
        ReportOutput("Load 10 ohm");
        SetLoad(4.0);
        ReportOutput("Load 4 ohm");
        SetLoad(10.0);
    }

    /* Lowering the protection below the output trips it. */
    if (!failed(QmDC_ConfigureOVP(vi, "", VI_TRUE, 10.0), "OVP 10 V")) ReportOutput("OVP at 10 V");
    if (!failed(QmDC_ConfigureOVP(vi, "", VI_TRUE, 15.0), "OVP 15 V") &&
        !failed(QmDC_ResetOutputProtection(vi, ""), "reset protection")) {
        ReportOutput("Reset, OVP 15 V");
    }

    if (!failed(QmDC_error_query(vi, &code, text), "error query")) {
        printf("%-16s%ld, %s\n", "Error queue", (long)code, text);
    }
    failed(QmDC_ConfigureOutputEnabled(vi, "", VI_FALSE), "output off");
    failed(QmDC_close(vi), "close");
    return failures == 0 ? 0 : 1;
}
