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

/*- Lifecycle --------------------------------------------------------------*/
QMDC_API ViStatus QMDC_CALL QmDC_init(ViRsrc ResourceName, ViBoolean IdQuery, ViBoolean Reset,
                                      ViSession* Vi);
QMDC_API ViStatus QMDC_CALL QmDC_InitWithOptions(ViRsrc ResourceName, ViBoolean IdQuery,
                                                 ViBoolean Reset, ViConstString OptionString,
                                                 ViSession* Vi);
QMDC_API ViStatus QMDC_CALL QmDC_close(ViSession Vi);

/*- Error information and locking -------------------------------------------*/
QMDC_API ViStatus QMDC_CALL QmDC_GetError(ViSession Vi, ViStatus* ErrorCode,
                                          ViInt32 ErrorDescriptionBufferSize,
                                          ViChar ErrorDescription[]);
QMDC_API ViStatus QMDC_CALL QmDC_ClearError(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_error_message(ViSession Vi, ViStatus ErrorCode,
                                               ViChar ErrorMessage[256]);
QMDC_API ViStatus QMDC_CALL QmDC_LockSession(ViSession Vi, ViBoolean* CallerHasLock);
QMDC_API ViStatus QMDC_CALL QmDC_UnlockSession(ViSession Vi, ViBoolean* CallerHasLock);

/*- Utility ----------------------------------------------------------------*/
QMDC_API ViStatus QMDC_CALL QmDC_reset(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_ResetWithDefaults(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_Disable(ViSession Vi);
QMDC_API ViStatus QMDC_CALL QmDC_self_test(ViSession Vi, ViInt16* TestResult,
                                           ViChar TestMessage[256]);
QMDC_API ViStatus QMDC_CALL QmDC_revision_query(ViSession Vi, ViChar DriverRev[256],
                                                ViChar InstrRev[256]);
QMDC_API ViStatus QMDC_CALL QmDC_error_query(ViSession Vi, ViInt32* ErrorCode,
                                             ViChar ErrorMessage[256]);
QMDC_API ViStatus QMDC_CALL QmDC_GetNextError(ViSession Vi, ViInt32 BufferSize, ViChar Val[]);
QMDC_API ViStatus QMDC_CALL QmDC_ClearStatus(ViSession Vi);

/*- Direct I/O -------------------------------------------------------------*/
#if defined(_VI_INT64_UINT64_DEFINED)
QMDC_API ViStatus QMDC_CALL QmDC_viWrite(ViSession Vi, ViInt64 BufferSize, ViByte Buffer[],
                                         ViInt64* ReturnCount);
QMDC_API ViStatus QMDC_CALL QmDC_viRead(ViSession Vi, ViInt64 BufferSize, ViByte Buffer[],
                                        ViInt64* ReturnCount);
#endif

/*- Trigger functions (not supported by this instrument) -------------------*/
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

#if defined(__cplusplus)
}
#endif

#endif /* QMDC_HEADER */
