// rpc_codec.h - ONC RPC messages (RFC 5531) as framed records, through
// libtirpc's XDR: calls and replies with AUTH_NONE, for a client and a
// server that do their own socket I/O. No I/O here, so that the decoders can
// be fuzzed and tested alone.
#pragma once

#include <rpc/rpc.h>

#include <cstdint>
#include <string>

namespace qmdc::rpc {

struct CallHeader {
    uint32_t xid = 0;
    uint32_t prog = 0;
    uint32_t vers = 0;
    uint32_t proc = 0;
};

// Casts a generated xdr_T(XDR*, T*) to the generic routine type.
// (through void (*)(), the generic function pointer type, which the
// compiler accepts without a warning about mismatched types).
template <class R, class... T>
xdrproc_t xdrProc(R (*proc)(T...)) {
    return reinterpret_cast<xdrproc_t>(reinterpret_cast<void (*)()>(proc));
}

// Appends the call `header` with `args` encoded by `encode` to `out` as one
// framed record; false when the arguments cannot be encoded.
bool encodeCall(const CallHeader& header, xdrproc_t encode, const void* args, std::string* out);

enum class ReplyKind {
    Success,    // accepted and decoded into the results
    OtherXid,   // a reply to another call (a late answer): to be skipped
    Refused,    // denied, or accepted with an error (no such program or procedure, ...)
    Malformed,  // not a reply, or its results do not decode
};

// Decodes the reply record to call `xid`. On Success the results are in
// `results` (free them with xdr_free(decode, results)).
ReplyKind decodeReply(const std::string& record, uint32_t xid, xdrproc_t decode, void* results);

// Decodes the header of a call record; false when it is not an RPC version 2
// call. *argsAt is where the arguments start.
bool decodeCallHeader(const std::string& record, CallHeader* header, size_t* argsAt);
// Decodes the arguments (free them with xdr_free(decode, args)).
bool decodeArgs(const std::string& record, size_t argsAt, xdrproc_t decode, void* args);

// Appends to `out` the framed reply to `xid`: with `status` SUCCESS the
// results encoded by `encode`, otherwise none.
bool encodeReply(uint32_t xid, accept_stat status, xdrproc_t encode, const void* results,
                 std::string* out);
// Appends the framed PROG_MISMATCH reply to `xid`: the versions served are low..high.
bool encodeVersionMismatch(uint32_t xid, uint32_t low, uint32_t high, std::string* out);

}  // namespace qmdc::rpc
