// status_text.cpp - one row per status code of visa.h.
#include "status_text.h"

namespace qmdc::visa {

namespace {

#define ROW(code, text) \
    { code, #code, text }

constexpr StatusText kStatusTexts[] = {
    ROW(VI_SUCCESS, "Operation completed successfully."),
    ROW(VI_SUCCESS_EVENT_EN, "The event was already enabled for at least one of the mechanisms."),
    ROW(VI_SUCCESS_EVENT_DIS, "The event was already disabled for at least one of the mechanisms."),
    ROW(VI_SUCCESS_QUEUE_EMPTY, "Operation completed successfully, but the queue was empty."),
    ROW(VI_SUCCESS_QUEUE_NEMPTY, "Operation completed successfully; more events are queued."),
    ROW(VI_SUCCESS_NCHAIN, "The handler asks that no other handler be called for this event."),
    ROW(VI_WARN_QUEUE_OVERFLOW, "The event queue overflowed: events were lost."),
    ROW(VI_SUCCESS_TERM_CHAR, "The read stopped on the termination character."),
    ROW(VI_SUCCESS_MAX_CNT, "The read filled the requested count; more data may follow."),
    ROW(VI_SUCCESS_DEV_NPRESENT, "The session was opened, but the device does not respond."),
    ROW(VI_WARN_NSUP_ATTR_STATE, "The attribute state is valid but not supported by this library."),
    ROW(VI_WARN_UNKNOWN_STATUS, "The status code is not known to this library."),
    ROW(VI_ERROR_SYSTEM_ERROR, "Unknown system error."),
    ROW(VI_ERROR_INV_OBJECT, "The session or object handle is not valid."),
    ROW(VI_ERROR_RSRC_LOCKED, "The resource is locked by another session."),
    ROW(VI_ERROR_INV_EXPR, "The search expression is not valid."),
    ROW(VI_ERROR_RSRC_NFOUND,
        "The resource is not present or the name lacks location information."),
    ROW(VI_ERROR_INV_RSRC_NAME, "The resource name is not valid."),
    ROW(VI_ERROR_INV_ACC_MODE, "The access mode is not valid."),
    ROW(VI_ERROR_TMO, "The timeout expired before the operation completed."),
    ROW(VI_ERROR_CLOSING_FAILED, "The session or object could not be closed."),
    ROW(VI_ERROR_NSUP_ATTR, "The attribute is not supported by this session."),
    ROW(VI_ERROR_NSUP_ATTR_STATE, "The attribute value is not valid or not supported."),
    ROW(VI_ERROR_ATTR_READONLY, "The attribute is read-only."),
    ROW(VI_ERROR_ABORT, "The operation was aborted by the user."),
    ROW(VI_ERROR_RAW_WR_PROT_VIOL, "Protocol violation during a raw write."),
    ROW(VI_ERROR_RAW_RD_PROT_VIOL, "Protocol violation during a raw read."),
    ROW(VI_ERROR_OUTP_PROT_VIOL, "The device reported an output protocol error."),
    ROW(VI_ERROR_INP_PROT_VIOL, "The device reported an input protocol error."),
    ROW(VI_ERROR_BERR, "Bus error during the transfer."),
    ROW(VI_ERROR_INV_SETUP, "The attributes are in an inconsistent state."),
    ROW(VI_ERROR_ALLOC, "Not enough memory or system resources."),
    ROW(VI_ERROR_INV_MASK, "The buffer mask is not valid."),
    ROW(VI_ERROR_IO, "An I/O error occurred."),
    ROW(VI_ERROR_INV_FMT, "The format string contains an invalid conversion."),
    ROW(VI_ERROR_NSUP_FMT, "The format string contains a conversion that is not supported."),
    ROW(VI_ERROR_NSUP_OPER, "The operation is not supported by this session."),
    ROW(VI_ERROR_ASRL_PARITY, "A parity error occurred on the serial line."),
    ROW(VI_ERROR_ASRL_FRAMING, "A framing error occurred on the serial line."),
    ROW(VI_ERROR_ASRL_OVERRUN, "An overrun occurred on the serial line."),
    ROW(VI_ERROR_USER_BUF, "A user buffer is not valid or not large enough."),
    ROW(VI_ERROR_RSRC_BUSY, "The resource is valid but cannot be used at the moment."),
    ROW(VI_ERROR_INV_PARAMETER, "A parameter is not valid."),
    ROW(VI_ERROR_NIMPL_OPER, "The operation is not implemented."),
    ROW(VI_ERROR_INV_LENGTH, "The length is not valid."),
    ROW(VI_ERROR_INV_MODE, "The mode is not valid."),
    ROW(VI_ERROR_SESN_NLOCKED, "The session does not hold a lock on the resource."),
    ROW(VI_ERROR_LIBRARY_NFOUND, "A required library could not be loaded."),
    ROW(VI_ERROR_INTF_NUM_NCONFIG,
        "This kind of resource (interface type) is not supported by this VISA library, "
        "or that interface board is not configured."),
    ROW(VI_SUCCESS_NESTED_SHARED, "The session holds a nested shared lock."),
    ROW(VI_SUCCESS_NESTED_EXCLUSIVE, "The session holds a nested exclusive lock."),
    ROW(VI_WARN_NSUP_BUF, "The buffer or buffer size is not supported; the buffer is unchanged."),
    ROW(VI_ERROR_INV_DEGREE, "The degree is not valid."),
    ROW(VI_ERROR_INV_JOB_ID, "The job identifier is not valid."),
    ROW(VI_ERROR_INV_LOCK_TYPE, "The lock type is not valid."),
    ROW(VI_ERROR_INV_ACCESS_KEY, "The access key is not valid."),
    ROW(VI_ERROR_INV_EVENT, "The event type is not supported by this resource."),
    ROW(VI_ERROR_INV_MECH, "The event handling mechanism is not valid."),
    ROW(VI_ERROR_HNDLR_NINSTALLED, "No handler is installed for this event type."),
    ROW(VI_ERROR_INV_HNDLR_REF, "The handler reference is not valid."),
    ROW(VI_ERROR_INV_CONTEXT, "The event context is not valid."),
    ROW(VI_ERROR_NENABLED, "The session is not enabled for this event type."),
    ROW(VI_ERROR_INV_PROT, "The protocol is not valid."),
    ROW(VI_ERROR_INV_SIZE, "The size is not valid."),
    ROW(VI_ERROR_SESN_NLOCKED, "The session does not hold a lock on the resource."),
    ROW(VI_ERROR_FILE_ACCESS, "The file could not be opened."),
    ROW(VI_ERROR_FILE_IO, "An error occurred while reading or writing the file."),
    ROW(VI_ERROR_NSUP_MECH, "The event handling mechanism is not supported."),
    ROW(VI_ERROR_CONN_LOST, "The connection to the device was lost."),
    ROW(VI_ERROR_NPERMISSION, "Access to the resource was denied."),
};

#undef ROW

}  // namespace

const StatusText* findStatus(ViStatus code) {
    for (const StatusText& row : kStatusTexts)
        if (row.code == code) return &row;
    return nullptr;
}

}  // namespace qmdc::visa
