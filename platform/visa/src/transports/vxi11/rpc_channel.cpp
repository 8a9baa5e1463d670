// rpc_channel.cpp - one RPC call at a time: a record out, records in until
// the one with the call's xid.
#include "rpc_channel.h"

#include <chrono>

namespace qmdc::visa {

RpcChannel::RpcChannel(std::unique_ptr<Transport> stream, uint32_t prog, uint32_t vers)
    : stream_(std::move(stream)),
      prog_(prog),
      vers_(vers),
      // Distinct from the xids of an earlier connection of this process, so
      // that a server's cache of replies cannot mistake a call for another.
      nextXid_(static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count())) {
}

ViStatus RpcChannel::call(uint32_t proc, xdrproc_t encode, const void* args, xdrproc_t decode,
                          void* results, const Deadline& deadline) {
    if (broken_) return VI_ERROR_CONN_LOST;
    const rpc::CallHeader header{nextXid_++, prog_, vers_, proc};
    out_.clear();
    if (!rpc::encodeCall(header, encode, args, &out_)) return VI_ERROR_INV_PARAMETER;
    size_t sent = 0;
    const ViStatus status =
        stream_->write(reinterpret_cast<const ViByte*>(out_.data()), out_.size(), deadline, &sent);
    if (status != VI_SUCCESS) {
        // Part of a record on the wire leaves the stream out of step for good.
        if (sent != 0) broken_ = true;
        return status;
    }
    // The stream's first read after the call waits for the reply (no read
    // that finds nothing): a call is one send and one receive.
    return awaitReply(header.xid, decode, results, deadline);
}

ViStatus RpcChannel::awaitReply(uint32_t xid, xdrproc_t decode, void* results,
                                const Deadline& deadline) {
    for (;;) {
        size_t used = 0;
        const rpc::RecordReader::State state =
            reader_.feed(in_ + inBegin_, inEnd_ - inBegin_, &used);
        inBegin_ += used;
        if (state == rpc::RecordReader::State::TooLong) {
            broken_ = true;
            return VI_ERROR_IO;
        }
        if (state == rpc::RecordReader::State::Complete) {
            const rpc::ReplyKind kind = rpc::decodeReply(reader_.record(), xid, decode, results);
            reader_.next();
            if (kind == rpc::ReplyKind::Success) return VI_SUCCESS;
            if (kind != rpc::ReplyKind::OtherXid) return VI_ERROR_IO;
            continue;
        }
        inBegin_ = inEnd_ = 0;
        // A peer that keeps sending (replies to other calls, empty
        // fragments) is read from only until the deadline.
        if (deadline.expired()) return VI_ERROR_TMO;
        size_t got = 0;
        const ViStatus status = stream_->read(in_, sizeof in_, deadline, &got);
        if (status < VI_SUCCESS) return status;
        inEnd_ = got;
    }
}

}  // namespace qmdc::visa
