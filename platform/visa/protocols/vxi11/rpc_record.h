// rpc_record.h - ONC RPC record marking over a byte stream (RFC 5531, section
// 11): each fragment has a 4-byte big-endian header, bit 31 "last fragment",
// bits 0-30 its length.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qmdc::rpc {

// The largest record either side accepts: the largest data<> of vxi11.x and
// room for the headers. A peer that announces more is refused before any of
// it is stored.
constexpr size_t kMaxRecord = 1048576 + 4096;

// Collects the fragments of one record after another from bytes as they come.
class RecordReader {
  public:
    enum class State { NeedMore, Complete, TooLong };

    explicit RecordReader(size_t maxRecord = kMaxRecord) : max_(maxRecord) {}

    // Takes bytes up to the end of the current record; *used tells how many.
    // Complete: record() holds the whole record until next(). TooLong: the
    // stream is broken (a fragment past the limit); nothing more can be read.
    State feed(const uint8_t* data, size_t len, size_t* used);
    const std::string& record() const { return record_; }
    // Starts the next record.
    void next();

  private:
    size_t max_;
    std::string record_;
    uint8_t header_[4] = {};
    size_t headerHave_ = 0;
    size_t fragmentLeft_ = 0;
    bool inFragment_ = false;
    bool lastFragment_ = false;
    State state_ = State::NeedMore;
};

// A big-endian 32-bit word (XDR's and the record mark's byte order) at `to` / `from`.
inline void putU32(char* to, uint32_t value) {
    for (int i = 0; i < 4; ++i) to[i] = static_cast<char>((value >> (24 - 8 * i)) & 0xFF);
}
inline uint32_t getU32(const uint8_t* from) {
    return (uint32_t{from[0]} << 24) | (uint32_t{from[1]} << 16) | (uint32_t{from[2]} << 8) |
           from[3];
}
inline uint32_t getU32(const char* from) {
    return getU32(reinterpret_cast<const uint8_t*>(from));
}

// `body` as one record of one fragment.
std::string frameRecord(const std::string& body);

}  // namespace qmdc::rpc
