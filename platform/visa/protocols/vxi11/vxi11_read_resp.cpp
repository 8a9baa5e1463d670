// vxi11_read_resp.cpp - device_read replies without the shared padding buffer.
#include "vxi11_read_resp.h"

#include <cstdlib>

#include "rpc_record.h"

namespace qmdc::rpc {

bool_t decodeDeviceReadResp(XDR* xdrs, Device_ReadResp* resp) {
    if (xdrs->x_op != XDR_DECODE) return xdr_Device_ReadResp(xdrs, resp);
    u_int length = 0;
    if (!xdr_Device_ErrorCode(xdrs, &resp->error) || !xdr_long(xdrs, &resp->reason) ||
        !xdr_u_int(xdrs, &length))
        return FALSE;
    // No reply record is longer than the record reader takes.
    if (length > kMaxRecord) return FALSE;
    // calloc and free: what xdr_free's mem_free expects.
    char* data = static_cast<char*>(std::calloc(length == 0 ? 1 : length, 1));
    if (data == nullptr) return FALSE;
    resp->data.data_val = data;
    resp->data.data_len = length;
    char padding[BYTES_PER_XDR_UNIT];
    const u_int padded = (BYTES_PER_XDR_UNIT - length % BYTES_PER_XDR_UNIT) % BYTES_PER_XDR_UNIT;
    return XDR_GETBYTES(xdrs, data, length) && (padded == 0 || XDR_GETBYTES(xdrs, padding, padded));
}

}  // namespace qmdc::rpc
