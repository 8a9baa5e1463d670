// rpc_channel.h - ONC RPC calls to one program over one connection, one call
// at a time, with the record and message codec of platform/rpc.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "rpc_codec.h"
#include "rpc_record.h"
#include "transport.h"

namespace qmdc::visa {

class RpcChannel {
  public:
    RpcChannel(std::unique_ptr<Transport> stream, uint32_t prog, uint32_t vers);

    // Sends the call and waits for its reply, skipping replies to earlier
    // calls (answers that came after their caller gave up). VI_SUCCESS with
    // the results decoded (free them with xdr_free); VI_ERROR_TMO when no
    // reply came by the deadline; VI_ERROR_CONN_LOST when the connection is
    // gone; VI_ERROR_IO for a refused or malformed reply, or a record past
    // the size limit (the stream cannot be read on after that).
    ViStatus call(uint32_t proc, xdrproc_t encode, const void* args, xdrproc_t decode,
                  void* results, const Deadline& deadline);

    template <class Args, class Results>
    ViStatus call(uint32_t proc, bool_t (*encode)(XDR*, Args*), const Args& args,
                  bool_t (*decode)(XDR*, Results*), Results* results, const Deadline& deadline) {
        return call(proc, rpc::xdrProc(encode), &args, rpc::xdrProc(decode), results, deadline);
    }

    Transport& stream() { return *stream_; }

  private:
    ViStatus awaitReply(uint32_t xid, xdrproc_t decode, void* results, const Deadline& deadline);

    const std::unique_ptr<Transport> stream_;
    const uint32_t prog_;
    const uint32_t vers_;
    uint32_t nextXid_;
    rpc::RecordReader reader_;
    std::string out_;
    // Bytes received past the record being read.
    uint8_t in_[4096];
    size_t inBegin_ = 0, inEnd_ = 0;
    bool broken_ = false;
};

}  // namespace qmdc::visa
