// hislip_codec.h - HiSLIP messages on the wire (IVI-6.1): the 16-byte header
// ("HS", type, control code, 32-bit parameter, 64-bit payload length, all
// big-endian) and the payload after it. No I/O: the client in our VISA and
// the emulator's server both frame and parse through this, and a fuzz target
// feeds it arbitrary bytes.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

namespace qmdc::hislip {

constexpr size_t kHeaderSize = 16;
constexpr uint16_t kDefaultPort = 4880;
// Protocol 1.0 in the high byte pair of Initialize and InitializeResponse.
constexpr uint16_t kProtocolVersion = 0x0100;
// The first message id of a session and after each device clear; it grows
// by 2 with every Data, DataEnd and Trigger the client sends.
constexpr uint32_t kFirstMessageId = 0xFFFFFF00u;

enum class Type : uint8_t {
    Initialize = 0,
    InitializeResponse = 1,
    FatalError = 2,
    Error = 3,
    AsyncLock = 4,
    AsyncLockResponse = 5,
    Data = 6,
    DataEnd = 7,
    DeviceClearComplete = 8,
    DeviceClearAcknowledge = 9,
    AsyncRemoteLocalControl = 10,
    AsyncRemoteLocalResponse = 11,
    Trigger = 12,
    Interrupted = 13,
    AsyncInterrupted = 14,
    AsyncMaximumMessageSize = 15,
    AsyncMaximumMessageSizeResponse = 16,
    AsyncInitialize = 17,
    AsyncInitializeResponse = 18,
    AsyncDeviceClear = 19,
    AsyncServiceRequest = 20,
    AsyncStatusQuery = 21,
    AsyncStatusResponse = 22,
    AsyncDeviceClearAcknowledge = 23,
    AsyncLockInfo = 24,
    AsyncLockInfoResponse = 25,
};

// Control codes of FatalError and Error.
enum class FatalCode : uint8_t {
    Unidentified = 0,
    PoorlyFormedHeader = 1,
    ChannelsNotInitialized = 2,
    InvalidInitialization = 3,
    TooManyClients = 4,
};
enum class ErrorCode : uint8_t {
    Unidentified = 0,
    UnrecognizedType = 1,
    UnrecognizedControl = 2,
    UnrecognizedVendor = 3,
    TooLarge = 4,
};

// Control codes of AsyncLockResponse.
enum class LockResult : uint8_t { Failure = 0, Success = 1, SuccessShared = 2, Error = 3 };

struct Header {
    uint8_t type = 0;
    uint8_t control = 0;
    uint32_t parameter = 0;
    uint64_t length = 0;
};

struct Message {
    Header header;
    std::string payload;
    Type type() const { return static_cast<Type>(header.type); }
};

// Writes the 16 header bytes to `out`.
void encodeHeader(const Header& header, uint8_t* out);
// Appends a whole message (header and payload) to `out`.
void appendMessage(std::string& out, Type type, uint8_t control, uint32_t parameter,
                   const void* payload = nullptr, size_t length = 0);
inline std::string message(Type type, uint8_t control, uint32_t parameter,
                           const std::string& payload = std::string()) {
    std::string out;
    appendMessage(out, type, control, parameter, payload.data(), payload.size());
    return out;
}

// The 8-byte big-endian size of AsyncMaximumMessageSize and its response.
std::string encodeSize(uint64_t size);
// False unless the payload is exactly 8 bytes.
bool decodeSize(const std::string& payload, uint64_t* size);

// The message's name for logs and traces ("DataEnd"); "type N" for others.
std::string typeName(uint8_t type);

// Splits a byte stream into messages. A payload longer than the limit (what
// this side announced it accepts) is refused from its header, before any of
// it is stored, so no peer can make it allocate more than the limit.
class Decoder {
  public:
    enum class Result { Message, NeedMore, BadPrologue, TooLong };

    explicit Decoder(uint64_t maxPayload) : maxPayload_(maxPayload) {}

    void feed(const void* bytes, size_t length);
    // The next whole message into *out; NeedMore until its last byte came.
    // After BadPrologue or TooLong the stream cannot be resynchronised: the
    // connection must be dropped (the decoder stays in that state).
    Result next(Message* out);
    // Bytes received and not yet handed out as messages.
    size_t buffered() const { return buffer_.size() - pos_; }
    void reset();
    uint64_t maxPayload() const { return maxPayload_; }
    void setMaxPayload(uint64_t maxPayload) { maxPayload_ = maxPayload; }

  private:
    uint64_t maxPayload_;
    std::string buffer_;
    size_t pos_ = 0;
    Result broken_ = Result::NeedMore;  // BadPrologue or TooLong once seen
};

}  // namespace qmdc::hislip
