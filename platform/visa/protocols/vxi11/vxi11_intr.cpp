// vxi11_intr.cpp - device_intr_srq calls and their replies.
#include "vxi11_intr.h"

#include <optional>
#include <string_view>

#include "rpc_codec.h"
#include "rpc_record.h"
#include "vxi11.h"

namespace qmdc::rpc {

namespace {

// The handle of Device_SrqParms (opaque<VXI11_MAX_NAME>: a length, the bytes, padding to a
// multiple of 4), read in place. XDR's decoder would read the padding into a buffer of its
// own that every thread shares.
std::optional<std::string_view> srqHandle(const std::string& record, size_t at) {
    if (record.size() < at || record.size() - at < 4) return std::nullopt;
    const uint32_t length = getU32(&record[at]);
    const size_t padded = (static_cast<size_t>(length) + 3) / 4 * 4;
    if (length > VXI11_MAX_NAME || record.size() - at - 4 < padded) return std::nullopt;
    return std::string_view(record).substr(at + 4, length);
}

}  // namespace

IntrCall takeIntrCall(const std::string& record, const std::string& handle, std::string* reply) {
    reply->clear();
    CallHeader call;
    size_t argsAt = 0;
    if (record.size() > kMaxIntrRecord || !decodeCallHeader(record, &call, &argsAt))
        return IntrCall::Malformed;
    const auto refuse = [&](accept_stat status) {
        encodeReply(call.xid, status, nullptr, nullptr, reply);
        return IntrCall::NotOurs;
    };
    if (call.prog != DEVICE_INTR) return refuse(PROG_UNAVAIL);
    if (call.vers != DEVICE_INTR_VERSION) {
        encodeVersionMismatch(call.xid, DEVICE_INTR_VERSION, DEVICE_INTR_VERSION, reply);
        return IntrCall::NotOurs;
    }
    if (call.proc == 0) return refuse(SUCCESS);  // the null procedure every program has
    if (call.proc != device_intr_srq) return refuse(PROC_UNAVAIL);
    const std::optional<std::string_view> caller = srqHandle(record, argsAt);
    if (!caller) return refuse(GARBAGE_ARGS);
    const bool ours = *caller == handle;
    // device_intr_srq returns nothing: the reply only says the call was taken.
    encodeReply(call.xid, SUCCESS, xdrProc(xdr_void), nullptr, reply);
    return ours ? IntrCall::ServiceRequest : IntrCall::NotOurs;
}

bool encodeIntrSrq(uint32_t xid, uint32_t prog, uint32_t vers, const std::string& handle,
                   std::string* out) {
    Device_SrqParms parms{};
    parms.handle.handle_len = static_cast<u_int>(handle.size());
    parms.handle.handle_val = const_cast<char*>(handle.data());
    return encodeCall(CallHeader{xid, prog, vers, device_intr_srq}, xdrProc(xdr_Device_SrqParms),
                      &parms, out);
}

}  // namespace qmdc::rpc
