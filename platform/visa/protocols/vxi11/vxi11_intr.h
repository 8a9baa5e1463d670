// vxi11_intr.h - the interrupt channel of VXI-11: the instrument calls
// device_intr_srq (program DEVICE_INTR) on a connection it opens to the
// client, with the handle the client gave to device_enable_srq. The calls as
// the instrument makes them and as the client takes them; no I/O here.
#pragma once

#include <cstdint>
#include <string>

namespace qmdc::rpc {

// The largest call record the client takes on its interrupt channel: a call
// header with the largest credential and verifier (400 bytes each) and a
// handle. Anything longer is no service request.
constexpr size_t kMaxIntrRecord = 2048;

// What the client makes of one record on its interrupt channel.
enum class IntrCall {
    ServiceRequest,  // device_intr_srq with the link's handle
    NotOurs,         // a call that is no service request of this link: answered, nothing raised
    Malformed,       // not an RPC call: the connection is dropped
};

// Takes one call record; *reply gets the framed reply (a caller may wait for
// it) and stays empty for a Malformed record. A service request with another
// handle is answered as one with ours is, since the call itself is sound.
IntrCall takeIntrCall(const std::string& record, const std::string& handle, std::string* reply);

// The instrument's call to `prog`/`vers` (from create_intr_chan), framed.
bool encodeIntrSrq(uint32_t xid, uint32_t prog, uint32_t vers, const std::string& handle,
                   std::string* out);

}  // namespace qmdc::rpc
