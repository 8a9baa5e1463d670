// vxi11_read_resp.h - the client's decoder of a device_read reply.
//
// libtirpc's xdr_bytes reads the padding after data of odd length into one
// static buffer that every thread shares, so two sessions reading at once on
// two threads would race on it. This decoder reads the padding into a buffer
// of its own, and takes no more data than the reply can hold. What it
// allocates goes with xdr_free(xdr_Device_ReadResp), as the generated
// decoder's does.
#pragma once

#include "vxi11.h"

namespace qmdc::rpc {

bool_t decodeDeviceReadResp(XDR* xdrs, Device_ReadResp* resp);

}  // namespace qmdc::rpc
