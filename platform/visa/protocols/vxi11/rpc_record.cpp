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
            const uint32_t mark = getU32(header_);
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
    std::string out(4, '\0');
    putU32(&out[0], 0x80000000u | static_cast<uint32_t>(body.size()));
    return out + body;
}

}  // namespace qmdc::rpc
