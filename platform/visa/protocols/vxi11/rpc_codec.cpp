// rpc_codec.cpp - RPC call and reply messages over xdrmem streams.
#include "rpc_codec.h"

#include <cstring>

#include "rpc_record.h"

namespace qmdc::rpc {

namespace {

constexpr size_t kMarkSize = 4;
constexpr size_t kHeaderRoom = 128;  // a call or reply header with AUTH_NONE

// Encodes one record into `out` after what is there: `body` writes the
// message into the XDR stream, sized for its header and `payload` bytes.
template <class Body>
bool encodeRecord(std::string* out, size_t payload, Body&& body) {
    const size_t start = out->size();
    const size_t room = kHeaderRoom + payload;
    out->resize(start + kMarkSize + room);
    XDR xdrs;
    xdrmem_create(&xdrs, &(*out)[start + kMarkSize], static_cast<u_int>(room), XDR_ENCODE);
    const bool ok = body(&xdrs);
    const uint32_t length = ok ? xdr_getpos(&xdrs) : 0;
    xdr_destroy(&xdrs);
    if (!ok) {
        out->resize(start);
        return false;
    }
    putU32(&(*out)[start], 0x80000000u | length);
    out->resize(start + kMarkSize + length);
    return true;
}

size_t encodedSize(xdrproc_t proc, const void* data) {
    return proc == nullptr ? 0 : xdr_sizeof(proc, const_cast<void*>(data));
}

// An XDR stream that reads `record` from `at`.
struct RecordStream {
    RecordStream(const std::string& record, size_t at) {
        xdrmem_create(&xdrs, const_cast<char*>(record.data()), static_cast<u_int>(record.size()),
                      XDR_DECODE);
        ok = at <= record.size() && xdr_setpos(&xdrs, static_cast<u_int>(at));
    }
    ~RecordStream() { xdr_destroy(&xdrs); }
    XDR xdrs;
    bool ok;
};

// XDR stores whatever number came in an enum field, so a field is read as
// the number it holds, not compared as the enum (which that number may not be).
template <class Enum>
int32_t raw(const Enum& field) {
    static_assert(sizeof(Enum) == sizeof(int32_t), "XDR enums are 32-bit");
    int32_t value;
    std::memcpy(&value, &field, sizeof value);
    return value;
}

}  // namespace

bool encodeCall(const CallHeader& header, xdrproc_t encode, const void* args, std::string* out) {
    return encodeRecord(out, encodedSize(encode, args), [&](XDR* xdrs) {
        rpc_msg msg{};
        msg.rm_xid = header.xid;
        msg.rm_direction = CALL;
        msg.rm_call.cb_rpcvers = RPC_MSG_VERSION;
        msg.rm_call.cb_prog = header.prog;
        msg.rm_call.cb_vers = header.vers;
        msg.rm_call.cb_proc = header.proc;
        msg.rm_call.cb_cred = _null_auth;
        msg.rm_call.cb_verf = _null_auth;
        return xdr_callmsg(xdrs, &msg) && encode(xdrs, const_cast<void*>(args));
    });
}

ReplyKind decodeReply(const std::string& record, uint32_t xid, xdrproc_t decode, void* results) {
    // The xid comes first; a reply to another call is skipped undecoded.
    RecordStream stream(record, 0);
    u_int32_t replyXid = 0;
    if (!xdr_u_int32_t(&stream.xdrs, &replyXid)) return ReplyKind::Malformed;
    if (replyXid != xid) return ReplyKind::OtherXid;
    xdr_setpos(&stream.xdrs, 0);
    rpc_msg msg{};
    msg.acpted_rply.ar_verf = _null_auth;
    msg.acpted_rply.ar_results.where = static_cast<caddr_t>(results);
    msg.acpted_rply.ar_results.proc = decode;
    const bool decoded = xdr_replymsg(&stream.xdrs, &msg);
    const bool reply = raw(msg.rm_direction) == REPLY;
    const bool accepted = reply && raw(msg.rm_reply.rp_stat) == MSG_ACCEPTED;
    // The verifier's body, if the server sent one, was allocated for us.
    if (accepted && msg.acpted_rply.ar_verf.oa_base != nullptr)
        xdr_free(xdrProc(xdr_opaque_auth), &msg.acpted_rply.ar_verf);
    if (!reply) return ReplyKind::Malformed;
    if (!accepted || raw(msg.acpted_rply.ar_stat) != SUCCESS)
        return decoded || raw(msg.rm_reply.rp_stat) == MSG_DENIED ? ReplyKind::Refused
                                                                  : ReplyKind::Malformed;
    if (!decoded) {
        xdr_free(decode, static_cast<char*>(results));
        return ReplyKind::Malformed;
    }
    return ReplyKind::Success;
}

bool decodeCallHeader(const std::string& record, CallHeader* header, size_t* argsAt) {
    RecordStream stream(record, 0);
    // Room for the credential and verifier bodies, so that XDR allocates nothing.
    char authArea[2 * MAX_AUTH_BYTES];
    rpc_msg msg{};
    msg.rm_call.cb_cred.oa_base = authArea;
    msg.rm_call.cb_verf.oa_base = authArea + MAX_AUTH_BYTES;
    if (!xdr_callmsg(&stream.xdrs, &msg) || raw(msg.rm_direction) != CALL ||
        msg.rm_call.cb_rpcvers != RPC_MSG_VERSION)
        return false;
    header->xid = msg.rm_xid;
    header->prog = static_cast<uint32_t>(msg.rm_call.cb_prog);
    header->vers = static_cast<uint32_t>(msg.rm_call.cb_vers);
    header->proc = static_cast<uint32_t>(msg.rm_call.cb_proc);
    *argsAt = xdr_getpos(&stream.xdrs);
    return true;
}

bool decodeArgs(const std::string& record, size_t argsAt, xdrproc_t decode, void* args) {
    RecordStream stream(record, argsAt);
    if (stream.ok && decode(&stream.xdrs, args)) return true;
    xdr_free(decode, static_cast<char*>(args));
    return false;
}

namespace {

// The header of a reply that accepts call `xid` with `status`.
rpc_msg acceptedReply(uint32_t xid, accept_stat status) {
    rpc_msg msg{};
    msg.rm_xid = xid;
    msg.rm_direction = REPLY;
    msg.rm_reply.rp_stat = MSG_ACCEPTED;
    msg.acpted_rply.ar_verf = _null_auth;
    msg.acpted_rply.ar_stat = status;
    return msg;
}

}  // namespace

bool encodeReply(uint32_t xid, accept_stat status, xdrproc_t encode, const void* results,
                 std::string* out) {
    const bool withResults = status == SUCCESS && encode != nullptr;
    return encodeRecord(out, withResults ? encodedSize(encode, results) : 0, [&](XDR* xdrs) {
        rpc_msg msg = acceptedReply(xid, status);
        msg.acpted_rply.ar_results.where = const_cast<char*>(static_cast<const char*>(results));
        msg.acpted_rply.ar_results.proc = withResults ? encode : xdrProc(xdr_void);
        return xdr_replymsg(xdrs, &msg) != 0;
    });
}

bool encodeVersionMismatch(uint32_t xid, uint32_t low, uint32_t high, std::string* out) {
    return encodeRecord(out, 0, [&](XDR* xdrs) {
        rpc_msg msg = acceptedReply(xid, PROG_MISMATCH);
        msg.acpted_rply.ar_vers.low = low;
        msg.acpted_rply.ar_vers.high = high;
        return xdr_replymsg(xdrs, &msg) != 0;
    });
}

}  // namespace qmdc::rpc
