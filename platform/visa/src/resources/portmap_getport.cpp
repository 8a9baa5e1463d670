// portmap_getport.cpp - XDR by hand: every field of these two messages is a
// big-endian 32-bit word, apart from the reply verifier's opaque body.
#include "portmap_getport.h"

namespace qmdc::visa {

namespace {

constexpr uint32_t kCall = 0, kReply = 1, kRpcVersion = 2;
constexpr uint32_t kPortmapper = 100000, kPortmapperVersion = 2, kGetPort = 3;
constexpr uint32_t kDeviceCore = 395183, kDeviceCoreVersion = 1, kTcp = 6;
constexpr uint32_t kMsgAccepted = 0, kSuccess = 0;
constexpr uint32_t kMaxAuthBytes = 400;  // RFC 5531: opaque_auth body<400>

void put(std::vector<uint8_t>* out, uint32_t word) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out->push_back(static_cast<uint8_t>(word >> shift));
}

// Reads the next word; false past the end.
struct Reader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;
    bool word(uint32_t* out) {
        if (size - at < 4) return false;
        *out = uint32_t{data[at]} << 24 | uint32_t{data[at + 1]} << 16 |
               uint32_t{data[at + 2]} << 8 | data[at + 3];
        at += 4;
        return true;
    }
    bool expect(uint32_t value) {
        uint32_t w = 0;
        return word(&w) && w == value;
    }
    bool skip(size_t n) {
        if (size - at < n) return false;
        at += n;
        return true;
    }
};

}  // namespace

std::vector<uint8_t> encodeGetPortCall(uint32_t xid) {
    std::vector<uint8_t> out;
    out.reserve(56);
    for (uint32_t word : {xid, kCall, kRpcVersion, kPortmapper, kPortmapperVersion, kGetPort, 0u,
                          0u,      // credential: AUTH_NONE, no body
                          0u, 0u,  // verifier: AUTH_NONE, no body
                          kDeviceCore, kDeviceCoreVersion, kTcp, 0u})
        put(&out, word);
    return out;
}

uint16_t decodeGetPortReply(const uint8_t* data, size_t size, uint32_t xid) {
    if (data == nullptr) return 0;
    Reader in{data, size};
    uint32_t flavor = 0, length = 0, port = 0;
    if (!in.expect(xid) || !in.expect(kReply) || !in.expect(kMsgAccepted)) return 0;
    if (!in.word(&flavor) || !in.word(&length) || length > kMaxAuthBytes ||
        !in.skip((length + 3) / 4 * 4))
        return 0;
    if (!in.expect(kSuccess) || !in.word(&port) || port > 0xFFFF) return 0;
    return static_cast<uint16_t>(port);
}

}  // namespace qmdc::visa
