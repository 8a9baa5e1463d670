#include "error_messages.h"

#include <map>

#include "QmDC.h"

namespace kiln {
namespace {

// Built when the library is loaded and only read afterwards.
const std::map<ViStatus, std::string> ErrorMessageTable = {
    {QMDC_ERROR_IO_GENERAL, "I/O error."},
    {QMDC_ERROR_IO_TIMEOUT, "I/O timeout error."},
    {QMDC_ERROR_CANNOT_RECOVER, "Failure cannot recover."},
    {QMDC_ERROR_INSTRUMENT_STATUS,
     "Instrument error detected.  Use ErrorQuery() to determine the error(s)."},
    {QMDC_ERROR_CANNOT_OPEN_FILE, "Cannot open file."},
    {QMDC_ERROR_READING_FILE, "Error reading file."},
    {QMDC_ERROR_WRITING_FILE, "Error writing file."},
    {QMDC_ERROR_INVALID_PATHNAME, "The pathname is invalid."},
    {QMDC_ERROR_INVALID_ATTRIBUTE, "Attribute ID '%s' not recognized."},
    {QMDC_ERROR_ATTR_NOT_WRITABLE, "Attribute '%s' is read-only."},
    {QMDC_ERROR_ATTR_NOT_READABLE, "Attribute '%s' is write-only."},
    {QMDC_ERROR_INVALID_VALUE, "Invalid value '%s' for function '%s', parameter '%s'."},
    {QMDC_ERROR_FUNCTION_NOT_SUPPORTED,
     "Does not support this class-compliant feature: function '%s'"},
    {QMDC_ERROR_ATTRIBUTE_NOT_SUPPORTED,
     "Does not support this class-compliant feature: attribute '%s'."},
    {QMDC_ERROR_VALUE_NOT_SUPPORTED,
     "Does not support this class-compliant feature:  Enumeration value '%s' passed as the "
     "value for parameter '%s' in function '%s'."},
    {QMDC_ERROR_TYPES_DO_NOT_MATCH, "%sAttribute%s called for attribute '%s' of type '%s'."},
    {QMDC_ERROR_NOT_INITIALIZED, "A connection to the instrument has not been established."},
    {QMDC_ERROR_UNKNOWN_CHANNEL_NAME, "Unknown channel name."},
    {QMDC_ERROR_TOO_MANY_OPEN_FILES, "Too many files are open."},
    {QMDC_ERROR_CHANNEL_NAME_REQUIRED, "A channel name is required."},
    {QMDC_ERROR_MISSING_OPTION_NAME, "The option string is missing an option name."},
    {QMDC_ERROR_MISSING_OPTION_VALUE, "The option string is missing an option value."},
    {QMDC_ERROR_BAD_OPTION_NAME, "The '%s' name in the option string is unknown."},
    {QMDC_ERROR_BAD_OPTION_VALUE, "The '%s' value in the option string is unknown."},
    {QMDC_ERROR_OUT_OF_MEMORY, "Could not allocate necessary memory."},
    {QMDC_ERROR_OPERATION_PENDING, "Operation in progress."},
    {QMDC_ERROR_NULL_POINTER, "Null pointer passed for function '%s', parameter '%s'."},
    {QMDC_ERROR_UNEXPECTED_RESPONSE, "Unexpected response from instrument."},
    {QMDC_ERROR_FILE_NOT_FOUND, "File not found."},
    {QMDC_ERROR_INVALID_FILE_FORMAT, "Invalid file format."},
    {QMDC_ERROR_STATUS_NOT_AVAILABLE, "The instrument status is not available."},
    {QMDC_ERROR_ID_QUERY_FAILED, "Instrument ID query failed."},
    {QMDC_ERROR_RESET_FAILED, "Instrument reset failed."},
    {QMDC_ERROR_RESOURCE_UNKNOWN, "Unknown resource."},
    {QMDC_ERROR_ALREADY_INITIALIZED, "The driver is already initialized."},
    {QMDC_ERROR_CANNOT_CHANGE_SIMULATION_STATE, "The simulation state cannot be changed."},
    {QMDC_ERROR_INVALID_NUMBER_OF_LEVELS_IN_SELECTOR,
     "The number of levels in the selector is not valid for the '%s' repeated capability."},
    {QMDC_ERROR_INVALID_RANGE_IN_SELECTOR,
     "The range '%s' is not valid for the repeated capability '%s'."},
    {QMDC_ERROR_UNKNOWN_NAME_IN_SELECTOR, "Unknown name in selector."},
    {QMDC_ERROR_BADLY_FORMED_SELECTOR, "The repeated capability selector is badly-formed."},
    {QMDC_ERROR_UNKNOWN_PHYSICAL_IDENTIFIER, "Unknown physical repeated capability selector."},
    {QMDC_ERROR_INVALID_SESSION_HANDLE, "Invalid session handle."},
    {QMDC_ERROR_TRIGGER_NOT_SOFTWARE, "The trigger source is not set to software trigger."},
    {QMDC_SUCCESS, "Success."},
    {QMDC_WARN_NSUP_ID_QUERY, "ID Query is not supported by this instrument."},
    {QMDC_WARN_NSUP_RESET, "Reset is not supported by this instrument."},
    {QMDC_WARN_NSUP_SELF_TEST, "Self test is not supported by this instrument."},
    {QMDC_WARN_NSUP_ERROR_QUERY, "Error query is not supported by this instrument."},
    {QMDC_WARN_NSUP_REV_QUERY, "Firmware revision query is not supported by this instrument."},
};

}  // namespace

const std::string& MessageText(ViStatus code) {
    static const std::string empty;
    auto it = ErrorMessageTable.find(code);
    return it == ErrorMessageTable.end() ? empty : it->second;
}

bool IsDriverStatus(ViStatus code) {
    return ErrorMessageTable.count(code) != 0;
}

}  // namespace kiln
