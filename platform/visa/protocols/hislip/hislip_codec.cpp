// hislip_codec.cpp - framing and parsing of HiSLIP messages.
#include "hislip_codec.h"

namespace qmdc::hislip {

namespace {

constexpr const char* kTypeNames[] = {
    "Initialize",
    "InitializeResponse",
    "FatalError",
    "Error",
    "AsyncLock",
    "AsyncLockResponse",
    "Data",
    "DataEnd",
    "DeviceClearComplete",
    "DeviceClearAcknowledge",
    "AsyncRemoteLocalControl",
    "AsyncRemoteLocalResponse",
    "Trigger",
    "Interrupted",
    "AsyncInterrupted",
    "AsyncMaximumMessageSize",
    "AsyncMaximumMessageSizeResponse",
    "AsyncInitialize",
    "AsyncInitializeResponse",
    "AsyncDeviceClear",
    "AsyncServiceRequest",
    "AsyncStatusQuery",
    "AsyncStatusResponse",
    "AsyncDeviceClearAcknowledge",
    "AsyncLockInfo",
    "AsyncLockInfoResponse",
};

void putBigEndian(uint64_t value, int bytes, uint8_t* out) {
    for (int i = bytes - 1; i >= 0; --i, value >>= 8) out[i] = static_cast<uint8_t>(value);
}

uint64_t getBigEndian(const uint8_t* in, int bytes) {
    uint64_t value = 0;
    for (int i = 0; i < bytes; ++i) value = value << 8 | in[i];
    return value;
}

}  // namespace

void encodeHeader(const Header& header, uint8_t* out) {
    out[0] = 'H';
    out[1] = 'S';
    out[2] = header.type;
    out[3] = header.control;
    putBigEndian(header.parameter, 4, out + 4);
    putBigEndian(header.length, 8, out + 8);
}

void appendMessage(std::string& out, Type type, uint8_t control, uint32_t parameter,
                   const void* payload, size_t length) {
    uint8_t header[kHeaderSize];
    encodeHeader({static_cast<uint8_t>(type), control, parameter, length}, header);
    out.append(reinterpret_cast<const char*>(header), kHeaderSize);
    if (length > 0) out.append(static_cast<const char*>(payload), length);
}

std::string encodeSize(uint64_t size) {
    uint8_t bytes[8];
    putBigEndian(size, 8, bytes);
    return std::string(reinterpret_cast<const char*>(bytes), sizeof bytes);
}

bool decodeSize(const std::string& payload, uint64_t* size) {
    if (payload.size() != 8) return false;
    *size = getBigEndian(reinterpret_cast<const uint8_t*>(payload.data()), 8);
    return true;
}

std::string typeName(uint8_t type) {
    if (type < sizeof kTypeNames / sizeof kTypeNames[0]) return kTypeNames[type];
    return "type " + std::to_string(type);
}

void Decoder::feed(const void* bytes, size_t length) {
    if (broken_ != Result::NeedMore) return;
    if (pos_ == buffer_.size()) {
        buffer_.clear();
        pos_ = 0;
    }
    buffer_.append(static_cast<const char*>(bytes), length);
}

Decoder::Result Decoder::next(Message* out) {
    if (broken_ != Result::NeedMore) return broken_;
    if (buffered() < kHeaderSize) return Result::NeedMore;
    const auto* head = reinterpret_cast<const uint8_t*>(buffer_.data() + pos_);
    if (head[0] != 'H' || head[1] != 'S') return broken_ = Result::BadPrologue;
    Header header;
    header.type = head[2];
    header.control = head[3];
    header.parameter = static_cast<uint32_t>(getBigEndian(head + 4, 4));
    header.length = getBigEndian(head + 8, 8);
    if (header.length > maxPayload_) return broken_ = Result::TooLong;
    if (buffered() - kHeaderSize < header.length) return Result::NeedMore;
    out->header = header;
    out->payload.assign(buffer_, pos_ + kHeaderSize, static_cast<size_t>(header.length));
    pos_ += kHeaderSize + static_cast<size_t>(header.length);
    if (pos_ == buffer_.size()) {
        buffer_.clear();
        pos_ = 0;
    } else if (pos_ > 65536 && pos_ * 2 > buffer_.size()) {
        buffer_.erase(0, pos_);  // keeps a long-lived stream's buffer from growing
        pos_ = 0;
    }
    return Result::Message;
}

void Decoder::reset() {
    buffer_.clear();
    pos_ = 0;
    broken_ = Result::NeedMore;
}

}  // namespace qmdc::hislip
