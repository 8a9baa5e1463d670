// The ONC RPC record and message codec on its own: fragments in, records out, and the
// replies a client must tell apart.
#include <gtest/gtest.h>

#include <string>

#include "rpc_codec.h"
#include "rpc_record.h"
#include "vxi11.h"

namespace {

using namespace qmdc::rpc;

std::string mark(uint32_t word) {
    std::string out;
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>(word >> shift);
    return out;
}

TEST(RpcRecord, FragmentsMakeRecords) {
    const struct {
        const char* what;
        std::string stream;
        size_t piece;  // bytes fed at a time
        std::vector<std::string> records;
        bool tooLong;
    } rows[] = {
        {"one fragment", mark(0x80000003) + "abc", 64, {"abc"}, false},
        {"byte by byte", mark(0x80000003) + "abc", 1, {"abc"}, false},
        {"two fragments", mark(2) + "ab" + mark(0x80000001) + "c", 3, {"abc"}, false},
        {"two records", mark(0x80000001) + "a" + mark(0x80000002) + "bc", 64, {"a", "bc"}, false},
        {"empty record", mark(0x80000000) + mark(0x80000001) + "x", 64, {"", "x"}, false},
        {"2 GiB announced", mark(0xFFFFFFFF) + "abc", 64, {}, true},
        {"fragments past the limit",
         mark(kMaxRecord) + std::string(kMaxRecord, 'x') + mark(1),
         65536,
         {},
         true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        RecordReader reader;
        std::vector<std::string> records;
        bool tooLong = false;
        const auto* bytes = reinterpret_cast<const uint8_t*>(row.stream.data());
        for (size_t at = 0; at < row.stream.size() && !tooLong;) {
            size_t used = 0;
            const size_t len = std::min(row.piece, row.stream.size() - at);
            const RecordReader::State state = reader.feed(bytes + at, len, &used);
            ASSERT_LE(used, len);
            at += used;
            tooLong = state == RecordReader::State::TooLong;
            if (state == RecordReader::State::Complete) {
                records.push_back(reader.record());
                reader.next();
            }
            ASSERT_LE(reader.record().size(), kMaxRecord);
        }
        EXPECT_EQ(records, row.records);
        EXPECT_EQ(tooLong, row.tooLong);
    }
}

TEST(RpcCodec, CallsAndReplies) {
    // A call decodes back to its header and arguments.
    Device_Link lid = 42;
    std::string call;
    ASSERT_TRUE(
        encodeCall({7, DEVICE_CORE, 1, destroy_link}, xdrProc(xdr_Device_Link), &lid, &call));
    RecordReader reader;
    size_t used = 0;
    ASSERT_EQ(reader.feed(reinterpret_cast<const uint8_t*>(call.data()), call.size(), &used),
              RecordReader::State::Complete);
    CallHeader header;
    size_t at = 0;
    ASSERT_TRUE(decodeCallHeader(reader.record(), &header, &at));
    EXPECT_EQ(header.xid, 7u);
    EXPECT_EQ(header.prog, static_cast<uint32_t>(DEVICE_CORE));
    EXPECT_EQ(header.proc, static_cast<uint32_t>(destroy_link));
    Device_Link decoded = 0;
    ASSERT_TRUE(decodeArgs(reader.record(), at, xdrProc(xdr_Device_Link), &decoded));
    EXPECT_EQ(decoded, 42);

    // Replies: this call's, another call's (a late one), a refusal, and junk.
    Device_Error error{15};
    const struct {
        const char* what;
        uint32_t xid;
        accept_stat status;
        ReplyKind kind;
    } rows[] = {
        {"this call's", 7, SUCCESS, ReplyKind::Success},
        {"a late one", 6, SUCCESS, ReplyKind::OtherXid},
        {"no such procedure", 7, PROC_UNAVAIL, ReplyKind::Refused},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        std::string reply;
        ASSERT_TRUE(encodeReply(row.xid, row.status, xdrProc(xdr_Device_Error), &error, &reply));
        Device_Error got{};
        EXPECT_EQ(decodeReply(reply.substr(4), 7, xdrProc(xdr_Device_Error), &got), row.kind);
        if (row.kind == ReplyKind::Success) {
            EXPECT_EQ(got.error, 15);
        }
    }
    Device_Error got{};
    EXPECT_EQ(decodeReply(mark(7) + "junk", 7, xdrProc(xdr_Device_Error), &got),
              ReplyKind::Malformed);
    EXPECT_EQ(decodeReply(call.substr(4), 7, xdrProc(xdr_Device_Error), &got),
              ReplyKind::Malformed);  // a call is no reply
}

}  // namespace
