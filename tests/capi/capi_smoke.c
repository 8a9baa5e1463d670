/* A user's program in plain C: it includes only QmDC.h, opens a simulated
 * session, reads what the utility functions answer and closes. Built as C89
 * and as C11; returns 0 only when every check holds. */
#include <stdio.h>
#include <string.h>

#include "QmDC.h"

static int failures = 0;

/* Every exported function, so that each prototype is compiled and linked. */
typedef void (*AnyFunction)(void);
static const AnyFunction functions[] = {
    (AnyFunction)QmDC_init, (AnyFunction)QmDC_InitWithOptions, (AnyFunction)QmDC_close,
    (AnyFunction)QmDC_GetError, (AnyFunction)QmDC_ClearError, (AnyFunction)QmDC_error_message,
    (AnyFunction)QmDC_LockSession, (AnyFunction)QmDC_UnlockSession, (AnyFunction)QmDC_reset,
    (AnyFunction)QmDC_ResetWithDefaults, (AnyFunction)QmDC_Disable, (AnyFunction)QmDC_self_test,
    (AnyFunction)QmDC_revision_query, (AnyFunction)QmDC_error_query,
    (AnyFunction)QmDC_GetNextError, (AnyFunction)QmDC_ClearStatus,
    (AnyFunction)QmDC_GetAttributeViInt32, (AnyFunction)QmDC_GetAttributeViReal64,
    (AnyFunction)QmDC_GetAttributeViBoolean, (AnyFunction)QmDC_GetAttributeViSession,
    (AnyFunction)QmDC_GetAttributeViString, (AnyFunction)QmDC_SetAttributeViInt32,
    (AnyFunction)QmDC_SetAttributeViReal64, (AnyFunction)QmDC_SetAttributeViBoolean,
    (AnyFunction)QmDC_SetAttributeViSession, (AnyFunction)QmDC_SetAttributeViString,
    (AnyFunction)QmDC_InvalidateAllAttributes, (AnyFunction)QmDC_GetNextCoercionRecord,
    (AnyFunction)QmDC_GetNextInterchangeWarning, (AnyFunction)QmDC_ClearInterchangeWarnings,
    (AnyFunction)QmDC_ResetInterchangeCheck, (AnyFunction)QmDC_GetChannelName,
    (AnyFunction)QmDC_ConfigureOutputEnabled, (AnyFunction)QmDC_ConfigureOutputRange,
    (AnyFunction)QmDC_ConfigureCurrentLimit, (AnyFunction)QmDC_ConfigureOVP,
    (AnyFunction)QmDC_ConfigureVoltageLevel, (AnyFunction)QmDC_ResetOutputProtection,
    (AnyFunction)QmDC_QueryMaxCurrentLimit, (AnyFunction)QmDC_QueryMaxVoltageLevel,
    (AnyFunction)QmDC_QueryOutputState, (AnyFunction)QmDC_Measure,
    (AnyFunction)QmDC_ConfigureTriggerSource, (AnyFunction)QmDC_ConfigureTriggeredVoltageLevel,
    (AnyFunction)QmDC_ConfigureTriggeredCurrentLimit, (AnyFunction)QmDC_Abort,
    (AnyFunction)QmDC_Initiate, (AnyFunction)QmDC_SendSoftwareTrigger,
    (AnyFunction)QmDC_MeasureVoltage, (AnyFunction)QmDC_MeasureCurrent,
    (AnyFunction)QmDC_SetMaxVoltageLevel, (AnyFunction)QmDC_SetMinVoltageLevel,
    (AnyFunction)QmDC_SetMaxCurrentLevel, (AnyFunction)QmDC_SetMinCurrentLevel,
    (AnyFunction)QmDC_SetMaxPowerLevel, (AnyFunction)QmDC_SetMinPowerLevel,
    (AnyFunction)QmDC_CalculateRemoteSenseResistance, (AnyFunction)QmDC_ConfigureCurrentCalibration,
    (AnyFunction)QmDC_ConfigureVoltageCalibration, (AnyFunction)QmDC_SaveState,
    (AnyFunction)QmDC_SetOperationComplete, (AnyFunction)QmDC_StatusPreset,
    (AnyFunction)QmDC_ClearErrors, (AnyFunction)QmDC_ClearSelfTestResults,
#if defined(_VI_INT64_UINT64_DEFINED)
    (AnyFunction)QmDC_viWrite, (AnyFunction)QmDC_viRead,
#endif
};

/* Every attribute with the type of its typed functions: 'I' ViInt32, 'R'
 * ViReal64, 'B' ViBoolean, 'S' ViSession, 'T' ViString. */
static const struct {
    ViAttr id;
    char type;
} attributes[] = {
    {QMDC_ATTR_RANGE_CHECK, 'B'}, {QMDC_ATTR_QUERY_INSTRUMENT_STATUS, 'B'},
    {QMDC_ATTR_CACHE, 'B'}, {QMDC_ATTR_SIMULATE, 'B'}, {QMDC_ATTR_RECORD_COERCIONS, 'B'},
    {QMDC_ATTR_DRIVER_SETUP, 'T'}, {QMDC_ATTR_INTERCHANGE_CHECK, 'B'},
    {QMDC_ATTR_CHANNEL_COUNT, 'I'}, {QMDC_ATTR_SPECIFIC_DRIVER_PREFIX, 'T'},
    {QMDC_ATTR_IO_RESOURCE_DESCRIPTOR, 'T'}, {QMDC_ATTR_LOGICAL_NAME, 'T'},
    {QMDC_ATTR_SUPPORTED_INSTRUMENT_MODELS, 'T'}, {QMDC_ATTR_GROUP_CAPABILITIES, 'T'},
    {QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION, 'T'}, {QMDC_ATTR_INSTRUMENT_MANUFACTURER, 'T'},
    {QMDC_ATTR_INSTRUMENT_MODEL, 'T'}, {QMDC_ATTR_SPECIFIC_DRIVER_VENDOR, 'T'},
    {QMDC_ATTR_SPECIFIC_DRIVER_DESCRIPTION, 'T'},
    {QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION, 'I'},
    {QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION, 'I'},
    {QMDC_ATTR_SPECIFIC_DRIVER_REVISION, 'T'}, {QMDC_ATTR_VOLTAGE_LEVEL, 'R'},
    {QMDC_ATTR_OVP_ENABLED, 'B'}, {QMDC_ATTR_OVP_LIMIT, 'R'},
    {QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR, 'I'}, {QMDC_ATTR_CURRENT_LIMIT, 'R'},
    {QMDC_ATTR_OUTPUT_ENABLED, 'B'}, {QMDC_ATTR_TRIGGER_SOURCE, 'I'},
    {QMDC_ATTR_TRIGGERED_CURRENT_LIMIT, 'R'}, {QMDC_ATTR_TRIGGERED_VOLTAGE_LEVEL, 'R'},
    {QMDC_ATTR_SYSTEM_IO_SESSION, 'S'}, {QMDC_ATTR_SYSTEM_IO_TIMEOUT, 'I'},
    {QMDC_ATTR_OPERATION_CONDITION_REGISTER, 'I'}, {QMDC_ATTR_AUTO_START_ENABLED, 'B'},
    {QMDC_ATTR_CURRENT_LEVEL, 'R'}, {QMDC_ATTR_OVER_CURRENT_PROTECTION_LEVEL, 'R'},
    {QMDC_ATTR_POWER_LEVEL, 'R'}, {QMDC_ATTR_OVER_POWER_PROTECTION_LEVEL, 'R'},
    {QMDC_ATTR_REMOTE_SENSE_ENABLED, 'B'}, {QMDC_ATTR_REMOTE_SENSE_RESISTANCE, 'R'},
    {QMDC_ATTR_REMOTE_SENSE_CALCULATION_STATUS, 'I'},
    {QMDC_ATTR_OPERATION_ENABLE_REGISTER, 'I'}, {QMDC_ATTR_OPERATION_EVENT_REGISTER, 'I'},
    {QMDC_ATTR_QUESTIONABLE_CONDITION_REGISTER, 'I'},
    {QMDC_ATTR_QUESTIONABLE_ENABLE_REGISTER, 'I'}, {QMDC_ATTR_QUESTIONABLE_EVENT_REGISTER, 'I'},
    {QMDC_ATTR_HARDWARE_ENABLE_REGISTER, 'I'}, {QMDC_ATTR_TEMPERATURE_ENABLE_REGISTER, 'I'},
    {QMDC_ATTR_HARDWARE_CONDITION_REGISTER, 'I'}, {QMDC_ATTR_HARDWARE_EVENT_REGISTER, 'I'},
    {QMDC_ATTR_TEMPERATURE_CONDITION_REGISTER, 'I'},
    {QMDC_ATTR_TEMPERATURE_EVENT_REGISTER, 'I'},
    {QMDC_ATTR_STANDARD_EVENT_ENABLE_REGISTER, 'I'},
    {QMDC_ATTR_STANDARD_EVENT_EVENT_REGISTER, 'I'}, {QMDC_ATTR_STATUS_BYTE_ENABLE_REGISTER, 'I'},
    {QMDC_ATTR_STATUS_BYTE_EVENT_REGISTER, 'I'}, {QMDC_ATTR_ANALOG_OUTPUT_MODE, 'I'},
    {QMDC_ATTR_DEVICE_CAPABILITIES, 'T'}, {QMDC_ATTR_CONTROL_SOURCE, 'I'},
    {QMDC_ATTR_LAST_SELF_TEST_RESULT, 'T'}, {QMDC_ATTR_SCPI_VERSION, 'T'},
    {QMDC_ATTR_ANALOG_VOLTAGE_SCALING_LEVEL, 'I'}, {QMDC_ATTR_ANALOG_CURRENT_SCALING_LEVEL, 'I'},
    {QMDC_ATTR_ERROR_CONDITION, 'I'}, {QMDC_ATTR_ERROR_COUNT, 'I'},
};

/* The defined values, summed so that each macro is compiled. */
static const long definedValues =
    QMDC_VAL_CURRENT_REGULATE + QMDC_VAL_CURRENT_TRIP + QMDC_VAL_MEASURE_CURRENT +
    QMDC_VAL_MEASURE_VOLTAGE + QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE + QMDC_VAL_OUTPUT_CONSTANT_CURRENT +
    QMDC_VAL_OUTPUT_OVER_VOLTAGE + QMDC_VAL_OUTPUT_OVER_CURRENT + QMDC_VAL_OUTPUT_UNREGULATED +
    QMDC_VAL_REMOTE_SENSE_STATUS_DORMANT + QMDC_VAL_REMOTE_SENSE_STATUS_CALCULATING +
    QMDC_VAL_REMOTE_SENSE_STATUS_COMPLETE + QMDC_VAL_ANALOG_OUTPUT_MODE_DISABLED +
    QMDC_VAL_ANALOG_OUTPUT_MODE_PARALLEL + QMDC_VAL_ANALOG_OUTPUT_MODE_SERIES +
    QMDC_VAL_CONTROL_SOURCE_LOCAL + QMDC_VAL_CONTROL_SOURCE_REMOTE +
    QMDC_VAL_CONTROL_SOURCE_REMOTE_WITH_LOCK + QMDC_VAL_CONTROL_SOURCE_ANALOG_VOLTAGE +
    QMDC_VAL_CONTROL_SOURCE_ANALOG_CURRENT + QMDC_VAL_CONTROL_SOURCE_ANALOG_DUAL +
    QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3 + QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5 +
    QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_10;

/* Reads an attribute with the typed Get of its type. */
static ViStatus Get(ViSession vi, ViAttr id, char type) {
    ViInt32 i;
    ViReal64 r;
    ViBoolean b;
    ViSession s;
    ViChar t[256];
    switch (type) {
        case 'I':
            return QmDC_GetAttributeViInt32(vi, "", id, &i);
        case 'R':
            return QmDC_GetAttributeViReal64(vi, "", id, &r);
        case 'B':
            return QmDC_GetAttributeViBoolean(vi, "", id, &b);
        case 'S':
            return QmDC_GetAttributeViSession(vi, "", id, &s);
        default:
            return QmDC_GetAttributeViString(vi, "", id, sizeof t, t);
    }
}

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

    {
        size_t n;
        char what[64];
        check(sizeof functions / sizeof functions[0] >= 64, "the functions");
        check(sizeof attributes / sizeof attributes[0] == 65, "65 attributes");
        check(definedValues == 36, "the defined values");
        for (n = 0; n < sizeof attributes / sizeof attributes[0]; ++n) {
            const ViStatus got = Get(vi, attributes[n].id, attributes[n].type);
            sprintf(what, "attribute %lu", (unsigned long)attributes[n].id);
            check(got != QMDC_ERROR_INVALID_ATTRIBUTE && got != QMDC_ERROR_TYPES_DO_NOT_MATCH,
                  what);
        }
    }

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
