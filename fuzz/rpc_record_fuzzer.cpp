// The ONC RPC record and message decoders that both the VXI-11 client and the emulator's
// server run on bytes from the network: record marking, call headers, replies, every
// VXI-11 and portmapper argument and result type, and the client's take of a call on its
// interrupt channel (with the reply it makes). The input is fed in pieces whose size its
// first byte sets, as a stream arrives.
#include <rpc/rpc.h>

#include <rpc/pmap_prot.h>  // needs rpc.h first

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "rpc_codec.h"
#include "rpc_record.h"
#include "vxi11.h"
#include "vxi11_intr.h"
#include "vxi11_read_resp.h"

namespace {

using qmdc::rpc::xdrProc;

// Each type the decoders accept, with room for the largest.
union AnyValue {
    Create_LinkParms createLink;
    Create_LinkResp createLinkResp;
    Device_WriteParms write;
    Device_WriteResp writeResp;
    Device_ReadParms read;
    Device_ReadResp readResp;
    Device_ReadStbResp readStb;
    Device_GenericParms generic;
    Device_LockParms lock;
    Device_DocmdParms docmd;
    Device_DocmdResp docmdResp;
    Device_EnableSrqParms enableSrq;
    Device_RemoteFunc remoteFunc;
    Device_SrqParms srq;
    Device_Error error;
    Device_Link link;
    pmap portmap;
    u_long port;
};

const xdrproc_t kDecoders[] = {
    xdrProc(xdr_Create_LinkParms),
    xdrProc(xdr_Create_LinkResp),
    xdrProc(xdr_Device_WriteParms),
    xdrProc(xdr_Device_WriteResp),
    xdrProc(xdr_Device_ReadParms),
    xdrProc(xdr_Device_ReadResp),
    xdrProc(qmdc::rpc::decodeDeviceReadResp),
    xdrProc(xdr_Device_ReadStbResp),
    xdrProc(xdr_Device_GenericParms),
    xdrProc(xdr_Device_LockParms),
    xdrProc(xdr_Device_DocmdParms),
    xdrProc(xdr_Device_DocmdResp),
    xdrProc(xdr_Device_EnableSrqParms),
    xdrProc(xdr_Device_RemoteFunc),
    xdrProc(xdr_Device_SrqParms),
    xdrProc(xdr_Device_Error),
    xdrProc(xdr_Device_Link),
    xdrProc(xdr_pmap),
    xdrProc(xdr_u_long),
};

void DecodeRecord(const std::string& record) {
    if (record.size() > qmdc::rpc::kMaxRecord) std::abort();  // the limit did not hold
    qmdc::rpc::CallHeader call;
    size_t argsAt = 0;
    const bool isCall = qmdc::rpc::decodeCallHeader(record, &call, &argsAt);
    std::string reply;
    const auto taken = qmdc::rpc::takeIntrCall(record, "qmdc 1 1", &reply);
    // A call is answered with one whole record; what is no call, never.
    if ((taken == qmdc::rpc::IntrCall::Malformed) != reply.empty()) std::abort();
    if (taken != qmdc::rpc::IntrCall::Malformed && !isCall) std::abort();
    const uint32_t xid = record.size() >= 4 ? qmdc::rpc::getU32(record.data()) : 0;
    for (const xdrproc_t decode : kDecoders) {
        AnyValue value;
        std::memset(&value, 0, sizeof value);
        if (isCall && qmdc::rpc::decodeArgs(record, argsAt, decode, &value))
            xdr_free(decode, reinterpret_cast<char*>(&value));
        std::memset(&value, 0, sizeof value);
        if (qmdc::rpc::decodeReply(record, xid, decode, &value) == qmdc::rpc::ReplyKind::Success)
            xdr_free(decode, reinterpret_cast<char*>(&value));
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    const size_t piece = 1 + data[0] % 64;
    ++data;
    --size;
    qmdc::rpc::RecordReader reader;
    size_t at = 0;
    while (at < size) {
        const size_t len = std::min(piece, size - at);
        size_t used = 0;
        const auto state = reader.feed(data + at, len, &used);
        if (used > len) std::abort();
        at += used;
        if (state == qmdc::rpc::RecordReader::State::TooLong) break;
        if (state == qmdc::rpc::RecordReader::State::Complete) {
            DecodeRecord(reader.record());
            reader.next();
        }
    }
    return 0;
}
