/*
 * QmDC.h - IVI-C specific driver for the Orvane QM family of programmable DC
 * power supplies with one output (bench and rack forms, e.g. "Rack 30-70 QM").
 *
 * Usable from C (C89 and later) and C++. Every function returns a ViStatus:
 * 0 success, negative error, positive warning. A failing call stores a
 * description on the session; read it with QmDC_GetError (with VI_NULL for a
 * failed init, from the same thread).
 */
#ifndef QMDC_HEADER
#define QMDC_HEADER

#include "visatype.h"

#if defined(__cplusplus)
extern "C" {
#endif

/* Exported functions use the IVI-C calling convention: __stdcall on 32-bit
 * Windows, the platform default elsewhere. */
#define QMDC_CALL _VI_FUNC

#if defined(_WIN32)
#if defined(QMDC_BUILDING)
#define QMDC_API __declspec(dllexport)
#else
#define QMDC_API __declspec(dllimport)
#endif
#elif defined(__GNUC__)
#define QMDC_API __attribute__((visibility("default")))
#else
#define QMDC_API
#endif

/*- Status codes -----------------------------------------------------------*/
#define QMDC_SUCCESS ((ViStatus)0x00000000L)
#define QMDC_WARN_NSUP_ID_QUERY ((ViStatus)0x3FFA0065L)
#define QMDC_WARN_NSUP_RESET ((ViStatus)0x3FFA0066L)
#define QMDC_WARN_NSUP_SELF_TEST ((ViStatus)0x3FFA0067L)
#define QMDC_WARN_NSUP_ERROR_QUERY ((ViStatus)0x3FFA0068L)
#define QMDC_WARN_NSUP_REV_QUERY ((ViStatus)0x3FFA0069L)

#define QMDC_ERROR_CANNOT_RECOVER ((ViStatus)0xBFFA0000L)
#define QMDC_ERROR_INSTRUMENT_STATUS ((ViStatus)0xBFFA0001L)
#define QMDC_ERROR_CANNOT_OPEN_FILE ((ViStatus)0xBFFA0002L)
#define QMDC_ERROR_READING_FILE ((ViStatus)0xBFFA0003L)
#define QMDC_ERROR_WRITING_FILE ((ViStatus)0xBFFA0004L)
#define QMDC_ERROR_INVALID_PATHNAME ((ViStatus)0xBFFA000BL)
#define QMDC_ERROR_INVALID_ATTRIBUTE ((ViStatus)0xBFFA000CL)
#define QMDC_ERROR_ATTR_NOT_WRITABLE ((ViStatus)0xBFFA000DL)
#define QMDC_ERROR_ATTR_NOT_READABLE ((ViStatus)0xBFFA000EL)
#define QMDC_ERROR_INVALID_VALUE ((ViStatus)0xBFFA0010L)
#define QMDC_ERROR_FUNCTION_NOT_SUPPORTED ((ViStatus)0xBFFA0011L)
#define QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED ((ViStatus)0xBFFA0012L)
#define QMDC_ERROR_VALUE_NOT_SUPPORTED ((ViStatus)0xBFFA0013L)
#define QMDC_ERROR_TYPES_DO_NOT_MATCH ((ViStatus)0xBFFA0015L)
#define QMDC_ERROR_NOT_INITIALIZED ((ViStatus)0xBFFA001DL)
#define QMDC_ERROR_UNKNOWN_CHANNEL_NAME ((ViStatus)0xBFFA0020L)
#define QMDC_ERROR_TOO_MANY_OPEN_FILES ((ViStatus)0xBFFA0023L)
#define QMDC_ERROR_CHANNEL_NAME_REQUIRED ((ViStatus)0xBFFA0044L)
#define QMDC_ERROR_MISSING_OPTION_NAME ((ViStatus)0xBFFA0049L)
#define QMDC_ERROR_MISSING_OPTION_VALUE ((ViStatus)0xBFFA004AL)
#define QMDC_ERROR_BAD_OPTION_NAME ((ViStatus)0xBFFA004BL)
#define QMDC_ERROR_BAD_OPTION_VALUE ((ViStatus)0xBFFA004CL)
#define QMDC_ERROR_OUT_OF_MEMORY ((ViStatus)0xBFFA0056L)
#define QMDC_ERROR_OPERATION_PENDING ((ViStatus)0xBFFA0057L)
#define QMDC_ERROR_NULL_POINTER ((ViStatus)0xBFFA0058L)
#define QMDC_ERROR_UNEXPECTED_RESPONSE ((ViStatus)0xBFFA0059L)
#define QMDC_ERROR_FILE_NOT_FOUND ((ViStatus)0xBFFA005BL)
#define QMDC_ERROR_INVALID_FILE_FORMAT ((ViStatus)0xBFFA005CL)
#define QMDC_ERROR_STATUS_NOT_AVAILABLE ((ViStatus)0xBFFA005DL)
#define QMDC_ERROR_ID_QUERY_FAILED ((ViStatus)0xBFFA005EL)
#define QMDC_ERROR_RESET_FAILED ((ViStatus)0xBFFA005FL)
#define QMDC_ERROR_RESOURCE_UNKNOWN ((ViStatus)0xBFFA0060L)
#define QMDC_ERROR_ALREADY_INITIALIZED ((ViStatus)0xBFFA0061L)
#define QMDC_ERROR_CANNOT_CHANGE_SIMULATION_STATE ((ViStatus)0xBFFA0062L)
#define QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR ((ViStatus)0xBFFA0063L)
#define QMDC_ERROR_INVALID_RANGE_IN_SELECTOR ((ViStatus)0xBFFA0064L)
#define QMDC_ERROR_UNKNOWN_NAME_IN_SELECTOR ((ViStatus)0xBFFA0065L)
#define QMDC_ERROR_BADLY_FORMED_SELECTOR ((ViStatus)0xBFFA0066L)
#define QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER ((ViStatus)0xBFFA0067L)
#define QMDC_ERROR_INVALID_SESSION_HANDLE ((ViStatus)0xBFFA1190L)
#define QMDC_ERROR_TRIGGER_NOT_SOFTWARE ((ViStatus)0xBFFA2001L)
#define QMDC_ERROR_IO_GENERAL ((ViStatus)0xBFFA4214L)
#define QMDC_ERROR_IO_TIMEOUT ((ViStatus)0xBFFA4215L)
/* Init also passes on, with the server's own description, the statuses of
 * the IVI configuration server (IviConfigServer.h) a caller can see:
 * 0xBFFA1200 the store could not be loaded (missing, malformed, not a
 * regular file, larger than 64 MiB), 0xBFFA1207 an entry the store lacks
 * (no software module "QmDC" for a plain resource name), and 0xBFFA0056 out
 * of memory.
 * A store named by IVICONFIGSERVERDEFAULT that cannot be loaded fails logical
 * names; plain resource names then use the master store (or, without one,
 * the built-in store). VISA statuses (visa.h) pass unchanged: after a
 * failed open the description gives the system's reason (VI_ERROR_ALLOC:
 * out of descriptors; a serial path that is no terminal says what it is). */

/*- Attributes ---------------------------------------------------------------
 * Read and written with the QmDC_GetAttribute<Type> / QmDC_SetAttribute<Type>
 * function of the attribute's type. R: read-only, R/W: read and write.
 * "Channel" attributes take a channel name ("CH1", or "" for the one output);
 * channel names are case-sensitive ("ch1" is refused).
 * The registers are read as numbers; the bits the driver relies on:
 *   operation condition: bit 9 (512) constant voltage, bit 10 (1024) constant
 *     current, bit 11 (2048) neither (power-limited or unregulated);
 *   questionable condition: bit 0 (1) over-voltage and bit 1 (2) over-current
 *     protection tripped (the emulator also sets bit 3 (8) over-power, and
 *     bit 4 (16) and bit 9 (512) as summaries of the temperature and hardware
 *     registers, whose bits the instrument defines);
 *   standard event (IEEE 488.2): bit 0 operation complete, 2 query error,
 *     3 device-dependent error, 4 execution error, 5 command error, 7 power
 *     on; with QueryInstrStatus on, bits 2 to 5 fail an operation with
 *     QMDC_ERROR_INSTRUMENT_STATUS;
 *   status byte (IEEE 488.2): bit 2 error queue not empty, 3 questionable
 *     summary, 5 standard event summary, 6 master summary, 7 operation
 *     summary.
 * An event register latches the rising edges of its condition register and
 * is cleared when read; an enable register selects the bits of its summary.
 */
/* IVI inherent attributes */
#define QMDC_ATTR_RANGE_CHECK (1050002L)                /* ViBoolean, R/W: the RangeCheck option of init */
#define QMDC_ATTR_QUERY_INSTRUMENT_STATUS (1050003L)    /* ViBoolean, R/W: "*ESR?" after each operation */
#define QMDC_ATTR_CACHE (1050004L)                      /* ViBoolean, R/W: the Cache option of init */
#define QMDC_ATTR_SIMULATE (1050005L)                   /* ViBoolean, R/W: the Simulate option of init: no instrument */
#define QMDC_ATTR_RECORD_COERCIONS (1050006L)           /* ViBoolean, R/W: the RecordCoercions option of init */
#define QMDC_ATTR_DRIVER_SETUP (1050007L)               /* ViString, R: the DriverSetup part of the option string */
#define QMDC_ATTR_INTERCHANGE_CHECK (1050021L)          /* ViBoolean, R/W: only VI_FALSE */
#define QMDC_ATTR_CHANNEL_COUNT (1050203L)              /* ViInt32, R: number of outputs (1) */
#define QMDC_ATTR_SPECIFIC_DRIVER_PREFIX (1050302L)     /* ViString, R: "QmDC" */
#define QMDC_ATTR_IO_RESOURCE_DESCRIPTOR (1050304L)     /* ViString, R: the VISA resource name the session opened */
#define QMDC_ATTR_LOGICAL_NAME (1050305L)               /* ViString, R: the logical name init was given, else "" */
#define QMDC_ATTR_SUPPORTED_INSTRUMENT_MODELS (1050327L) /* ViString, R: the models the driver knows, comma-separated */
#define QMDC_ATTR_GROUP_CAPABILITIES (1050401L)         /* ViString, R: the IviDCPwr groups the driver implements */
#define QMDC_ATTR_INSTRUMENT_FIRMWARE_REVISION (1050510L) /* ViString, R: from the *IDN? answer */
#define QMDC_ATTR_INSTRUMENT_MANUFACTURER (1050511L)    /* ViString, R: from the *IDN? answer */
#define QMDC_ATTR_INSTRUMENT_MODEL (1050512L)           /* ViString, R: from the *IDN? answer ("Rack 30-70 QM") */
#define QMDC_ATTR_SPECIFIC_DRIVER_VENDOR (1050513L)     /* ViString, R: who wrote the driver */
#define QMDC_ATTR_SPECIFIC_DRIVER_DESCRIPTION (1050514L) /* ViString, R: what the driver is */
#define QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MAJOR_VERSION (1050515L) /* ViInt32, R: major version of the IviDCPwr class the driver follows */
#define QMDC_ATTR_SPECIFIC_DRIVER_CLASS_SPEC_MINOR_VERSION (1050516L) /* ViInt32, R: minor version of the IviDCPwr class the driver follows */
#define QMDC_ATTR_SPECIFIC_DRIVER_REVISION (1050551L)   /* ViString, R: the driver's own revision */

/* IviDCPwr class attributes (channel attributes) */
#define QMDC_ATTR_VOLTAGE_LEVEL (1250001L)          /* ViReal64, R/W, volts: the output voltage in constant-voltage regulation (VOLT) */
#define QMDC_ATTR_OVP_ENABLED (1250002L)            /* ViBoolean, R/W: always VI_TRUE */
#define QMDC_ATTR_OVP_LIMIT (1250003L)              /* ViReal64, R/W, volts: the over-voltage protection trips above it (VOLT:PROT) */
#define QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR (1250004L) /* ViInt32, R/W: QMDC_VAL_CURRENT_TRIP only */
#define QMDC_ATTR_CURRENT_LIMIT (1250005L)          /* ViReal64, R/W, amperes (over-current level); takes any channel name */
#define QMDC_ATTR_OUTPUT_ENABLED (1250006L)         /* ViBoolean, R/W: the output is switched on (OUTP) */
#define QMDC_ATTR_TRIGGER_SOURCE (1250101L)         /* ViInt32, R/W: not supported (reading or writing fails) */
#define QMDC_ATTR_TRIGGERED_CURRENT_LIMIT (1250102L) /* ViReal64, R/W: not supported (reading or writing fails) */
#define QMDC_ATTR_TRIGGERED_VOLTAGE_LEVEL (1250103L) /* ViReal64, R/W: not supported (reading or writing fails) */

/* Instrument-specific attributes */
#define QMDC_ATTR_SYSTEM_IO_SESSION (1150001L)          /* ViSession, R: the VISA session */
#define QMDC_ATTR_SYSTEM_IO_TIMEOUT (1150002L)          /* ViInt32, R/W, milliseconds (2000 after init) */
#define QMDC_ATTR_OPERATION_CONDITION_REGISTER (1150003L) /* ViInt32, R: STAT:OPER:COND? */
#define QMDC_ATTR_AUTO_START_ENABLED (1150004L)         /* ViBoolean, R/W: output on at power-up */
#define QMDC_ATTR_CURRENT_LEVEL (1150006L)              /* ViReal64, R/W, amperes: the current in constant-current regulation (CURR) */
#define QMDC_ATTR_OVER_CURRENT_PROTECTION_LEVEL (1150007L) /* ViReal64, R/W, amperes: the over-current protection trips above it (CURR:PROT) */
#define QMDC_ATTR_POWER_LEVEL (1150008L)                /* ViReal64, R/W, watts: the power in constant-power regulation (POW) */
#define QMDC_ATTR_OVER_POWER_PROTECTION_LEVEL (1150009L) /* ViReal64, R/W, watts: the over-power protection trips above it (POW:PROT) */
#define QMDC_ATTR_REMOTE_SENSE_ENABLED (1150010L)       /* ViBoolean, R/W: the voltage is sensed at the load (RSEN) */
#define QMDC_ATTR_REMOTE_SENSE_RESISTANCE (1150011L)    /* ViReal64, R/W, ohms: of the sense leads (RSEN:RES) */
#define QMDC_ATTR_REMOTE_SENSE_CALCULATION_STATUS (1150012L) /* ViInt32, R: the sense resistance calculation, QMDC_VAL_REMOTE_SENSE_STATUS_* */
#define QMDC_ATTR_OPERATION_ENABLE_REGISTER (1150013L)  /* ViInt32, R/W: STAT:OPER:ENAB */
#define QMDC_ATTR_OPERATION_EVENT_REGISTER (1150014L)   /* ViInt32, R: STAT:OPER? (reading clears it) */
#define QMDC_ATTR_QUESTIONABLE_CONDITION_REGISTER (1150015L) /* ViInt32, R: STAT:QUES:COND? */
#define QMDC_ATTR_QUESTIONABLE_ENABLE_REGISTER (1150016L) /* ViInt32, R/W: STAT:QUES:ENAB */
#define QMDC_ATTR_QUESTIONABLE_EVENT_REGISTER (1150017L) /* ViInt32, R: STAT:QUES? (reading clears it) */
#define QMDC_ATTR_HARDWARE_ENABLE_REGISTER (1150018L)   /* ViInt32, R/W: STAT:QUES:HARD:ENAB */
#define QMDC_ATTR_TEMPERATURE_ENABLE_REGISTER (1150019L) /* ViInt32, R/W: STAT:QUES:TEMP:ENAB */
#define QMDC_ATTR_HARDWARE_CONDITION_REGISTER (1150020L) /* ViInt32, R: STAT:QUES:HARD:COND? */
#define QMDC_ATTR_HARDWARE_EVENT_REGISTER (1150021L)    /* ViInt32, R: STAT:QUES:HARD? (reading clears it) */
#define QMDC_ATTR_TEMPERATURE_CONDITION_REGISTER (1150022L) /* ViInt32, R: STAT:QUES:TEMP:COND? */
#define QMDC_ATTR_TEMPERATURE_EVENT_REGISTER (1150023L) /* ViInt32, R: STAT:QUES:TEMP? (reading clears it) */
#define QMDC_ATTR_STANDARD_EVENT_ENABLE_REGISTER (1150024L) /* ViInt32, R/W: *ESE */
#define QMDC_ATTR_STANDARD_EVENT_EVENT_REGISTER (1150025L) /* ViInt32, R: *ESR? (clears it) */
#define QMDC_ATTR_STATUS_BYTE_ENABLE_REGISTER (1150026L) /* ViInt32, R/W: *SRE */
#define QMDC_ATTR_STATUS_BYTE_EVENT_REGISTER (1150027L) /* ViInt32, R: *STB? */
#define QMDC_ATTR_ANALOG_OUTPUT_MODE (1150028L)         /* ViInt32, R/W: analog programming of parallel or series units (SYST:MOD:AOUT), QMDC_VAL_ANALOG_OUTPUT_MODE_* */
#define QMDC_ATTR_DEVICE_CAPABILITIES (1150029L)        /* ViString, R: SYST:CAP? */
#define QMDC_ATTR_CONTROL_SOURCE (1150030L)             /* ViInt32, R/W: where the output is controlled from (SYST:MOD), QMDC_VAL_CONTROL_SOURCE_* */
#define QMDC_ATTR_LAST_SELF_TEST_RESULT (1150031L)      /* ViString, R: the last self-test's message (TEST:SELF:QUER?) */
#define QMDC_ATTR_SCPI_VERSION (1150033L)               /* ViString, R: SYST:VERS? */
#define QMDC_ATTR_ANALOG_VOLTAGE_SCALING_LEVEL (1150034L) /* ViInt32, R/W: full scale of the analog voltage input (SYST:MOD:ASC), QMDC_VAL_ANALOG_SCALING_LEVEL_* */
#define QMDC_ATTR_ANALOG_CURRENT_SCALING_LEVEL (1150035L) /* ViInt32, R/W: full scale of the analog current input (SYST:MOD:ASC), QMDC_VAL_ANALOG_SCALING_LEVEL_* */
#define QMDC_ATTR_ERROR_CONDITION (1150036L)            /* ViInt32, R: oldest error code queued */
#define QMDC_ATTR_ERROR_COUNT (1150037L)                /* ViInt32, R: errors queued */

/*- Defined values -----------------------------------------------------------*/
/* QMDC_ATTR_CURRENT_LIMIT_BEHAVIOR */
#define QMDC_VAL_CURRENT_REGULATE (0L)
#define QMDC_VAL_CURRENT_TRIP (1L)
/* QmDC_Measure, MeasurementType */
#define QMDC_VAL_MEASURE_CURRENT (0L)
#define QMDC_VAL_MEASURE_VOLTAGE (1L)
/* QmDC_QueryOutputState, OutputState */
#define QMDC_VAL_OUTPUT_CONSTANT_VOLTAGE (0L)
#define QMDC_VAL_OUTPUT_CONSTANT_CURRENT (1L)
#define QMDC_VAL_OUTPUT_OVER_VOLTAGE (2L)
#define QMDC_VAL_OUTPUT_OVER_CURRENT (3L)
#define QMDC_VAL_OUTPUT_UNREGULATED (4L)
/* QMDC_ATTR_REMOTE_SENSE_CALCULATION_STATUS */
#define QMDC_VAL_REMOTE_SENSE_STATUS_DORMANT (0L)
#define QMDC_VAL_REMOTE_SENSE_STATUS_CALCULATING (1L)
#define QMDC_VAL_REMOTE_SENSE_STATUS_COMPLETE (2L)
/* QMDC_ATTR_ANALOG_OUTPUT_MODE */
#define QMDC_VAL_ANALOG_OUTPUT_MODE_DISABLED (0L)
#define QMDC_VAL_ANALOG_OUTPUT_MODE_PARALLEL (1L)
#define QMDC_VAL_ANALOG_OUTPUT_MODE_SERIES (2L)
/* QMDC_ATTR_CONTROL_SOURCE */
#define QMDC_VAL_CONTROL_SOURCE_LOCAL (0L)
#define QMDC_VAL_CONTROL_SOURCE_REMOTE (1L)
#define QMDC_VAL_CONTROL_SOURCE_REMOTE_WITH_LOCK (2L)
#define QMDC_VAL_CONTROL_SOURCE_ANALOG_VOLTAGE (3L)
#define QMDC_VAL_CONTROL_SOURCE_ANALOG_CURRENT (4L)
#define QMDC_VAL_CONTROL_SOURCE_ANALOG_DUAL (5L)
/* QMDC_ATTR_ANALOG_VOLTAGE_SCALING_LEVEL and QMDC_ATTR_ANALOG_CURRENT_SCALING_LEVEL */
#define QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_3 (0L)
#define QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5 (1L)
#define QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_10 (2L)

/*- Lifecycle --------------------------------------------------------------*/
/* Opens a session on a VISA resource name ("TCPIP0::host::5025::SOCKET",
 * "ASRL1::INSTR"; any letter case) or a logical name of the configuration
 * store (case-sensitive). Every init asks the instrument "*IDN?" (a
 * simulated session takes the model from its options or the store instead)
 * and fails unless the model has the form
 * "<Bench|Rack> <volts>-<amperes> QM", which gives the ratings. IdQuery =
 * VI_TRUE checks the model against that same form once more, so it refuses
 * nothing more: a model of that form outside
 * QMDC_ATTR_SUPPORTED_INSTRUMENT_MODELS is accepted either way. Reset =
 * VI_TRUE resets the instrument ("*RST") at the end of init. */
QMDC_API ViStatus QMDC_CALL QmDC_init(ViRsrc ResourceName, ViBoolean IdQuery, ViBoolean Reset,
                                      ViSession* Vi);
/* The same, with options: "Simulate=1, QueryInstrStatus=1, Cache=0,
 * DriverSetup=Model:Bench 50-20 QM". */
QMDC_API ViStatus QMDC_CALL QmDC_InitWithOptions(ViRsrc ResourceName, ViBoolean IdQuery,
                                                 ViBoolean Reset, ViConstString OptionString,
                                                 ViSession* Vi);
/* Closes the connection and the session; the handle is invalid afterwards.
 * A call on another thread that waits for the instrument returns at once
 * with VI_ERROR_ABORT (even under an infinite timeout); close then waits
 * for that call to end and for a thread holding QmDC_LockSession to unlock
 * (whose calls meanwhile fail with VI_ERROR_ABORT or VI_ERROR_INV_OBJECT). */
QMDC_API ViStatus QMDC_CALL QmDC_close(ViSession Vi);

/*- Error information and locking -------------------------------------------*/
/* The code and description of the session's last error (Vi = VI_NULL: of
 * this thread's last failed init). A buffer size of 0 returns the size needed. */
QMDC_API ViStatus QMDC_CALL QmDC_GetError(ViSession Vi, ViStatus* ErrorCode,
                                          ViInt32 ErrorDescriptionBufferSize,
                                          ViChar ErrorDescription[]);
/* Forgets the session's error information (Vi = VI_NULL: this thread's), so
 * that QmDC_GetError reports no error until the next failure. */
QMDC_API ViStatus QMDC_CALL QmDC_ClearError(ViSession Vi);
/* The message of one of the driver's status codes (placeholders unfilled). */
QMDC_API ViStatus QMDC_CALL QmDC_error_message(ViSession Vi, ViStatus ErrorCode,
                                               ViChar ErrorMessage[256]);
/* Holds the session's lock across calls, for one thread; calls from other
 * threads wait until QmDC_UnlockSession. */
QMDC_API ViStatus QMDC_CALL QmDC_LockSession(ViSession Vi, ViBoolean* CallerHasLock);
QMDC_API ViStatus QMDC_CALL QmDC_UnlockSession(ViSession Vi, ViBoolean* CallerHasLock);

/*- Utility ----------------------------------------------------------------*/
/* "*RST" and waits for it to complete; forgets stored attribute values. */
QMDC_API ViStatus QMDC_CALL QmDC_reset(ViSession Vi);
/* Reset, then the inherent options return to their values at init. */
QMDC_API ViStatus QMDC_CALL QmDC_ResetWithDefaults(ViSession Vi);
/* Puts the instrument in its quiescent state ("*RST"). */
QMDC_API ViStatus QMDC_CALL QmDC_Disable(ViSession Vi);
/* "*TST?": TestResult 0 is a pass; TestMessage says "Selftest passed" or
 * "Selftest failed". */
QMDC_API ViStatus QMDC_CALL QmDC_self_test(ViSession Vi, ViInt16* TestResult,
                                           ViChar TestMessage[256]);
/* The driver's revision and the instrument's firmware revision. */
QMDC_API ViStatus QMDC_CALL QmDC_revision_query(ViSession Vi, ViChar DriverRev[256],
                                                ViChar InstrRev[256]);
/* Takes the oldest entry of the instrument's error queue: code and message. */
QMDC_API ViStatus QMDC_CALL QmDC_error_query(ViSession Vi, ViInt32* ErrorCode,
                                             ViChar ErrorMessage[256]);
/* The same entry as the instrument sends it: "-222,\"Data out of range\"". */
QMDC_API ViStatus QMDC_CALL QmDC_GetNextError(ViSession Vi, ViInt32 BufferSize, ViChar Val[]);
/* "*CLS": clears the instrument's status registers and error queue. */
QMDC_API ViStatus QMDC_CALL QmDC_ClearStatus(ViSession Vi);

/*- Attributes -------------------------------------------------------------*/
/* Typed access. RepCapIdentifier names the channel of a channel attribute
 * (VI_NULL or "" is the one output) and is ignored by the others. */
QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViInt32(ViSession Vi, ViConstString RepCapIdentifier,
                                                     ViAttr AttributeID, ViInt32* AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViReal64(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID, ViReal64* AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViBoolean(ViSession Vi,
                                                       ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViBoolean* AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViSession(ViSession Vi,
                                                       ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViSession* AttributeValue);
/* Returns 4096 (a warning) when the value filled the buffer and may have been
 * cut; with a buffer size of 0 it only returns 4096, the largest size needed.
 * A negative size promises a buffer of at least 4096 bytes; the value is read
 * as into one, and the status returned as is. */
QMDC_API ViStatus QMDC_CALL QmDC_GetAttributeViString(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID,
                                                      ViInt32 AttributeValueBufferSize,
                                                      ViChar AttributeValue[]);
QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViInt32(ViSession Vi, ViConstString RepCapIdentifier,
                                                     ViAttr AttributeID, ViInt32 AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViReal64(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID, ViReal64 AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViBoolean(ViSession Vi,
                                                       ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViBoolean AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViSession(ViSession Vi,
                                                       ViConstString RepCapIdentifier,
                                                       ViAttr AttributeID,
                                                       ViSession AttributeValue);
QMDC_API ViStatus QMDC_CALL QmDC_SetAttributeViString(ViSession Vi, ViConstString RepCapIdentifier,
                                                      ViAttr AttributeID,
                                                      ViConstString AttributeValue);
/* Forgets every stored attribute value (a simulated session's state too). */
QMDC_API ViStatus QMDC_CALL QmDC_InvalidateAllAttributes(ViSession Vi);
/* The driver never coerces a value: the record is always empty. */
QMDC_API ViStatus QMDC_CALL QmDC_GetNextCoercionRecord(ViSession Vi, ViInt32 BufferSize,
                                                       ViChar CoercionRecord[]);
/* Not supported, as interchange checking is not: fails with
 * QMDC_ERROR_FUNCTION_NOT_SUPPORTED. */
QMDC_API ViStatus QMDC_CALL QmDC_GetNextInterchangeWarning(ViSession Vi, ViInt32 BufferSize,
                                                           ViChar InterchangeWarning[]);
QMDC_API ViStatus QMDC_CALL QmDC_ClearInterchangeWarnings(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_ResetInterchangeCheck(ViSession Vi);

/*- Channels ---------------------------------------------------------------*/
/* The physical name of output Index (1-based): "CH1". BufferSize 0 writes
 * nothing and returns the size the name needs; Name must not be null. */
QMDC_API ViStatus QMDC_CALL QmDC_GetChannelName(ViSession Vi, ViInt32 Index, ViInt32 BufferSize,
                                                ViChar Name[]);

/*- Output configuration (IviDCPwrBase) --------------------------------------
 * ChannelName: "CH1", or VI_NULL / "" for the one output. */
/* Switches the output on or off. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureOutputEnabled(ViSession Vi, ViConstString ChannelName,
                                                        ViBoolean Enabled);
/* Checks a range request (RangeType 0: amperes, 1: volts) against the model's
 * rating plus 10 %; the supply has one range, so nothing is sent. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureOutputRange(ViSession Vi, ViConstString ChannelName,
                                                      ViInt32 RangeType, ViReal64 Range);
/* Behavior must be QMDC_VAL_CURRENT_TRIP; Limit (amperes) is the over-current
 * protection level. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureCurrentLimit(ViSession Vi, ViConstString ChannelName,
                                                       ViInt32 Behavior, ViReal64 Limit);
/* Enabled must be VI_TRUE; Limit is the over-voltage protection level, volts. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureOVP(ViSession Vi, ViConstString ChannelName,
                                              ViBoolean Enabled, ViReal64 Limit);
/* The output voltage setpoint, volts. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureVoltageLevel(ViSession Vi, ViConstString ChannelName,
                                                       ViReal64 Level);
/* Switches the output back on after a protection tripped. */
QMDC_API ViStatus QMDC_CALL QmDC_ResetOutputProtection(ViSession Vi, ViConstString ChannelName);
/* The largest current limit (amperes) at VoltageLevel volts within the
 * model's power rating. */
QMDC_API ViStatus QMDC_CALL QmDC_QueryMaxCurrentLimit(ViSession Vi, ViConstString ChannelName,
                                                      ViReal64 VoltageLevel,
                                                      ViReal64* MaxCurrentLimit);
/* The largest voltage level (volts) at CurrentLimit amperes within the
 * model's power rating. */
QMDC_API ViStatus QMDC_CALL QmDC_QueryMaxVoltageLevel(ViSession Vi, ViConstString ChannelName,
                                                      ViReal64 CurrentLimit,
                                                      ViReal64* MaxVoltageLevel);
/* Whether the output is in OutputState (QMDC_VAL_OUTPUT_*), from the
 * instrument's condition registers. */
QMDC_API ViStatus QMDC_CALL QmDC_QueryOutputState(ViSession Vi, ViConstString ChannelName,
                                                  ViInt32 OutputState, ViBoolean* InState);

/*- Measurement (IviDCPwrMeasurement) -----------------------------------------*/
/* MeasurementType QMDC_VAL_MEASURE_VOLTAGE (volts) or _CURRENT (amperes). */
QMDC_API ViStatus QMDC_CALL QmDC_Measure(ViSession Vi, ViConstString ChannelName,
                                         ViInt32 MeasurementType, ViReal64* Measurement);

/*- Trigger functions ------------------------------------------------------*/
/* Not supported, as the supply has no trigger: fails with
 * QMDC_ERROR_FUNCTION_NOT_SUPPORTED. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureTriggerSource(ViSession Vi, ViConstString ChannelName,
                                                        ViInt32 Source);
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureTriggeredVoltageLevel(ViSession Vi,
                                                                ViConstString ChannelName,
                                                                ViReal64 Level);
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureTriggeredCurrentLimit(ViSession Vi,
                                                                ViConstString ChannelName,
                                                                ViReal64 Limit);
QMDC_API ViStatus QMDC_CALL QmDC_Abort(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_Initiate(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_SendSoftwareTrigger(ViSession Vi);

/*- Instrument-specific functions ------------------------------------------*/
/* Output voltage (volts) and current (amperes) as measured now. */
QMDC_API ViStatus QMDC_CALL QmDC_MeasureVoltage(ViSession Vi, ViReal64* Val);
QMDC_API ViStatus QMDC_CALL QmDC_MeasureCurrent(ViSession Vi, ViReal64* Val);
/* Sets the voltage, current or power level to its maximum or minimum. */
QMDC_API ViStatus QMDC_CALL QmDC_SetMaxVoltageLevel(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_SetMinVoltageLevel(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_SetMaxCurrentLevel(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_SetMinCurrentLevel(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_SetMaxPowerLevel(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_SetMinPowerLevel(ViSession Vi);
/* Starts the calculation of the sense-lead resistance at Value ohms; poll
 * QMDC_ATTR_REMOTE_SENSE_CALCULATION_STATUS for its end. */
QMDC_API ViStatus QMDC_CALL QmDC_CalculateRemoteSenseResistance(ViSession Vi, ViReal64 Value);
/* The four calibration coefficients of the current and of the voltage. */
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureCurrentCalibration(ViSession Vi, ViReal64 Value1,
                                                             ViReal64 Value2, ViReal64 Value3,
                                                             ViReal64 Value4);
QMDC_API ViStatus QMDC_CALL QmDC_ConfigureVoltageCalibration(ViSession Vi, ViReal64 Value1,
                                                             ViReal64 Value2, ViReal64 Value3,
                                                             ViReal64 Value4);
/* Saves the present settings in the instrument as its power-on state. */
QMDC_API ViStatus QMDC_CALL QmDC_SaveState(ViSession Vi);
/* "*OPC": sets operation complete in the event register when all is done. */
QMDC_API ViStatus QMDC_CALL QmDC_SetOperationComplete(ViSession Vi);
/* Presets the SCPI status registers' enable masks. */
QMDC_API ViStatus QMDC_CALL QmDC_StatusPreset(ViSession Vi);
/* Empties the instrument's error queue (QmDC_ClearError clears the
 * session's error information instead). */
QMDC_API ViStatus QMDC_CALL QmDC_ClearErrors(ViSession Vi);
/* Forgets the result of the last self-test. */
QMDC_API ViStatus QMDC_CALL QmDC_ClearSelfTestResults(ViSession Vi);

/*- Direct I/O -------------------------------------------------------------*/
/* Writes and reads raw bytes on the instrument connection (not while
 * simulating). viRead drops the rest of an answer that did not fit and then
 * returns the status of the last read, VI_SUCCESS_TERM_CHAR: only
 * ReturnCount == BufferSize shows that the answer was cut. A BufferSize
 * outside 0 .. 2^32 - 1 is refused (QMDC_ERROR_INVALID_VALUE). No status
 * check follows either: with QueryInstrStatus an error that a command sent
 * with viWrite caused is reported by the next call that checks the status.
 * Read the answer to a query written with viWrite before the next driver
 * call; a driver query drops input that has arrived, not input still on its
 * way. A query of the driver that fails (a timeout, an answer cut short)
 * leaves an answer owed: the next query first sends "*IDN?" and drops
 * everything up to its answer, within the I/O timeout, so that no query
 * ever takes an earlier question's answer for its own. */
#if defined(_VI_INT64_UINT64_DEFINED)
QMDC_API ViStatus QMDC_CALL QmDC_viWrite(ViSession Vi, ViInt64 BufferSize, ViByte Buffer[],
                                         ViInt64* ReturnCount);
QMDC_API ViStatus QMDC_CALL QmDC_viRead(ViSession Vi, ViInt64 BufferSize, ViByte Buffer[],
                                        ViInt64* ReturnCount);
#endif

#if defined(__cplusplus)
}
#endif

#endif /* QMDC_HEADER */
