// vxi11_intr.cpp - device_intr_srq calls and their replies.
#include "vxi11_intr.h"

#include <cstring>

#include "rpc_codec.h"
#include "vxi11.h"

namespace qmdc::rpc {

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
    Device_SrqParms parms{};
    if (!decodeArgs(record, argsAt, xdrProc(xdr_Device_SrqParms), &parms))
        return refuse(GARBAGE_ARGS);
    const bool ours = parms.handle.handle_len == handle.size() &&
                      std::memcmp(parms.handle.handle_val, handle.data(), handle.size()) == 0;
    xdr_free(xdrProc(xdr_Device_SrqParms), reinterpret_cast<char*>(&parms));
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
