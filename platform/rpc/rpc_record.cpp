// rpc_record.cpp - record marking: fragments in, whole records out.
#include "rpc_record.h"

#include <algorithm>

namespace qmdc::rpc {

RecordReader::State RecordReader::feed(const uint8_t* data, size_t len, size_t* used) {
    *used = 0;
    while (state_ == State::NeedMore && *used < len) {
        if (!inFragment_) {
            header_[headerHave_++] = data[(*used)++];
            if (headerHave_ < 4) continue;
            headerHave_ = 0;
            const uint32_t mark = (uint32_t{header_[0]} << 24) | (uint32_t{header_[1]} << 16) |
                                  (uint32_t{header_[2]} << 8) | header_[3];
            lastFragment_ = (mark & 0x80000000u) != 0;
            fragmentLeft_ = mark & 0x7FFFFFFFu;
            // Checked against the limit before a byte of it is stored.
            if (fragmentLeft_ > max_ - record_.size()) {
                state_ = State::TooLong;
                break;
            }
            inFragment_ = true;
        }
        const size_t n = std::min(fragmentLeft_, len - *used);
        record_.append(reinterpret_cast<const char*>(data + *used), n);
        *used += n;
        fragmentLeft_ -= n;
        if (fragmentLeft_ == 0) {
            inFragment_ = false;
            if (lastFragment_) state_ = State::Complete;
        }
    }
    return state_;
}

void RecordReader::next() {
    if (state_ != State::Complete) return;
    record_.clear();
    state_ = State::NeedMore;
}

std::string frameRecord(const std::string& body) {
    const uint32_t mark = 0x80000000u | static_cast<uint32_t>(body.size());
    std::string out;
    out.reserve(body.size() + 4);
    for (int shift = 24; shift >= 0; shift -= 8) out += static_cast<char>((mark >> shift) & 0xFF);
    return out + body;
}

}  // namespace qmdc::rpc
