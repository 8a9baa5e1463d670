// hislip_transport.cpp - the client side of HiSLIP, synchronized mode.
#include "hislip_transport.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace qmdc::visa {

namespace {

using hislip::FatalCode;
using hislip::Message;
using hislip::Type;

// "QM", our vendor id in Initialize.
constexpr uint16_t kVendorId = 0x514D;
// What we accept in one message by default (VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB)
// and at most; a server's message beyond it ends the session.
constexpr ViUInt32 kDefaultMaxMessageKb = 1024;
constexpr ViUInt32 kLargestMaxMessageKb = 65536;
// Control messages (errors, lock strings, sizes) are short.
constexpr uint64_t kMaxControlPayload = 65536;
// Bound of an exchange that has no deadline of its own (unlock, attributes).
constexpr ViUInt32 kControlTimeoutMs = 5000;
// Our largest Data message, whatever the server accepts.
constexpr uint64_t kMaxDataPayload = 1u << 20;

ViUInt32 visaVersion(uint16_t hislipVersion) {
    return static_cast<ViUInt32>(hislipVersion >> 8) << 20 |
           static_cast<ViUInt32>(hislipVersion & 0xFF) << 12;
}

}  // namespace

HislipTransport::HislipTransport(std::unique_ptr<TcpTransport> sync, const ResourceName& name)
    : sync_{std::move(sync), hislip::Decoder(uint64_t{kDefaultMaxMessageKb} * 1024)},
      async_{nullptr, hislip::Decoder(kMaxControlPayload)},
      host_(name.host),
      device_(name.device),
      port_(name.port),
      clientMaxKb_(kDefaultMaxMessageKb) {}

HislipTransport::~HislipTransport() {
    stopServiceRequests();
}

// A transaction's hold on the asynchronous channel. Without a watch it costs
// nothing: the session's lock already keeps transactions one at a time.
class HislipTransport::AsyncTurn {
  public:
    explicit AsyncTurn(Watch* watch) : watch_(watch) {
        if (watch_ == nullptr) return;
        std::unique_lock<std::mutex> lock(watch_->mutex);
        watch_->transaction = true;
        if (watch_->watcherReading) {
            watch_->thread.wake();
            watch_->changed.wait(lock, [this] { return !watch_->watcherReading; });
        }
    }
    ~AsyncTurn() {
        if (watch_ == nullptr) return;
        {
            std::lock_guard<std::mutex> lock(watch_->mutex);
            watch_->transaction = false;
            watch_->pending += setAside_;
        }
        watch_->changed.notify_all();
    }
    AsyncTurn(const AsyncTurn&) = delete;
    AsyncTurn& operator=(const AsyncTurn&) = delete;

    // A service request that came before the answer: raised after the
    // transaction, or passed over when nothing watches.
    void setAside() { ++setAside_; }

  private:
    Watch* const watch_;
    unsigned setAside_ = 0;
};

ViStatus HislipTransport::initialize(const Deadline& deadline) {
    Message m;
    ViStatus status =
        send(sync_, Type::Initialize, 0, uint32_t{hislip::kProtocolVersion} << 16 | kVendorId,
             device_.data(), device_.size(), deadline);
    if (status == VI_SUCCESS) status = receive(sync_, deadline, &m);
    if (status != VI_SUCCESS) return VI_ERROR_RSRC_NFOUND;
    if (m.type() == Type::FatalError)
        return m.header.control == static_cast<uint8_t>(FatalCode::TooManyClients)
                   ? VI_ERROR_RSRC_BUSY
                   : VI_ERROR_RSRC_NFOUND;
    if (m.type() != Type::InitializeResponse) return VI_ERROR_RSRC_NFOUND;
    overlap_ = (m.header.control & 1) != 0;
    serverVersion_ = static_cast<uint16_t>(m.header.parameter >> 16);
    sessionId_ = static_cast<uint16_t>(m.header.parameter);

    async_.stream = connectTcp(host_, port_, deadline, &status);
    if (!async_.stream) return status;
    status = send(async_, Type::AsyncInitialize, 0, sessionId_, nullptr, 0, deadline);
    if (status == VI_SUCCESS) status = receive(async_, deadline, &m);
    if (status != VI_SUCCESS || m.type() != Type::AsyncInitializeResponse)
        return VI_ERROR_RSRC_NFOUND;
    if (negotiateMaxMessageSize(uint64_t{clientMaxKb_} * 1024, deadline) != VI_SUCCESS)
        return VI_ERROR_RSRC_NFOUND;
    if (overlap_ && deviceClear(deadline) != VI_SUCCESS) return VI_ERROR_RSRC_NFOUND;
    return VI_SUCCESS;
}

ViStatus HislipTransport::negotiateMaxMessageSize(uint64_t clientMax, const Deadline& deadline) {
    Message m;
    const ViStatus status =
        exchange(Type::AsyncMaximumMessageSize, 0, 0, hislip::encodeSize(clientMax),
                 Type::AsyncMaximumMessageSizeResponse, deadline, &m);
    if (status != VI_SUCCESS) return status;
    if (!hislip::decodeSize(m.payload, &serverMaxMessage_) || serverMaxMessage_ == 0)
        return fail(FatalCode::Unidentified, "bad AsyncMaximumMessageSizeResponse");
    sync_.in.setMaxPayload(clientMax);
    return VI_SUCCESS;
}

ViStatus HislipTransport::send(Channel& channel, Type type, uint8_t control, uint32_t parameter,
                               const void* payload, size_t length, const Deadline& deadline) {
    if (dead_) return VI_ERROR_CONN_LOST;
    out_.clear();
    hislip::appendMessage(out_, type, control, parameter, payload, length);
    size_t sent = 0;
    const ViStatus status = channel.stream->write(reinterpret_cast<const ViByte*>(out_.data()),
                                                  out_.size(), deadline, &sent);
    // Half a message would make the server read the next one's bytes as
    // the rest of it: the session cannot go on after that.
    if (status != VI_SUCCESS && sent > 0) {
        dead_ = true;
        interrupt();
    }
    return status;
}

ViStatus HislipTransport::receive(Channel& channel, const Deadline& deadline, Message* out) {
    if (dead_) return VI_ERROR_CONN_LOST;
    for (;;) {
        switch (channel.in.next(out)) {
            case hislip::Decoder::Result::Message:
                return VI_SUCCESS;
            case hislip::Decoder::Result::BadPrologue:
                return fail(FatalCode::PoorlyFormedHeader, "the message does not start with HS");
            case hislip::Decoder::Result::TooLong:
                return fail(FatalCode::PoorlyFormedHeader,
                            "the message is longer than the maximum message size");
            case hislip::Decoder::Result::NeedMore:
                break;
        }
        // A peer that keeps sending (a message a byte at a time, parts that
        // never end) is read from only until the call's grace has passed.
        if (deadline.graced().expired()) return VI_ERROR_TMO;
        ViByte bytes[16384];
        size_t got = 0;
        const ViStatus status = channel.stream->read(bytes, sizeof bytes, deadline, &got);
        if (status != VI_SUCCESS) return status;
        channel.in.feed(bytes, got);
    }
}

ViStatus HislipTransport::fail(FatalCode code, const char* text) {
    if (!dead_) {
        send(sync_, Type::FatalError, static_cast<uint8_t>(code), 0, text, std::strlen(text),
             Deadline::after(100));
        dead_ = true;
        interrupt();
    }
    return VI_ERROR_IO;
}

ViStatus HislipTransport::serverError(const Message& message) {
    if (message.type() == Type::FatalError) {
        // The server closes both channels after it.
        dead_ = true;
        interrupt();
        return VI_ERROR_CONN_LOST;
    }
    return VI_ERROR_IO;  // the server could not take what we sent last
}

ViStatus HislipTransport::exchange(Type request, uint8_t control, uint32_t parameter,
                                   const std::string& payload, Type answer,
                                   const Deadline& deadline, Message* out) {
    AsyncTurn turn(watch_.get());
    ViStatus status =
        send(async_, request, control, parameter, payload.data(), payload.size(), deadline);
    if (status != VI_SUCCESS) return status;
    for (;;) {
        status = receive(async_, deadline, out);
        if (status != VI_SUCCESS) break;
        if (out->type() == Type::FatalError || out->type() == Type::Error) return serverError(*out);
        if (out->type() == Type::AsyncServiceRequest) turn.setAside();
        // The answer to a request given up on comes before this one's.
        if (out->type() == answer && !takeOwed(answer)) return VI_SUCCESS;
        // What is passed over never keeps the call past its deadline.
        if (deadline.expired()) {
            status = VI_ERROR_TMO;
            break;
        }
    }
    // This request's answer may still come: it is owed, and dropped then.
    if (status == VI_ERROR_TMO) ++owed_[static_cast<uint8_t>(answer)];
    return status;
}

bool HislipTransport::takeOwed(Type answer) {
    unsigned& owed = owed_[static_cast<uint8_t>(answer)];
    if (owed == 0) return false;
    --owed;
    return true;
}

ViStatus HislipTransport::startServiceRequests(ServiceRequestSink raised,
                                               const Deadline& /*deadline*/) {
    // The server sends its requests unasked: there is nothing to ask for.
    if (watch_) return VI_SUCCESS;
    if (dead_) return VI_ERROR_CONN_LOST;
    auto watch = std::make_unique<Watch>();
    // Requests that came before the watch are not its events.
    unsigned before = 0;
    const ViStatus status = pullAsync();
    if (status != VI_SUCCESS) return status;
    if (!takeAsyncMessages(&before))
        return dead_ ? VI_ERROR_CONN_LOST
                     : fail(hislip::FatalCode::PoorlyFormedHeader, "malformed message");
    Watch& w = *watch;
    const ViStatus started =
        w.thread.start([this, &w, raised = std::move(raised)](WakeSignal& poke) {
            watchServiceRequests(w, poke, raised);
        });
    if (started != VI_SUCCESS) return started;
    watch_ = std::move(watch);
    return VI_SUCCESS;
}

void HislipTransport::stopServiceRequests() {
    if (!watch_) return;
    {
        std::lock_guard<std::mutex> lock(watch_->mutex);
        watch_->stopping = true;
        watch_->thread.wake();
    }
    watch_->changed.notify_all();
    watch_->thread.stop();
    watch_.reset();
}

void HislipTransport::watchServiceRequests(Watch& w, WakeSignal& poke,
                                           const ServiceRequestSink& raised) {
    std::unique_lock<std::mutex> lock(w.mutex);
    for (;;) {
        w.changed.wait(lock, [&w] { return w.stopping || w.pending > 0 || !w.transaction; });
        if (w.stopping) return;
        if (w.pending > 0) {
            --w.pending;
            lock.unlock();
            raised();
            lock.lock();
            continue;
        }
        w.watcherReading = true;
        lock.unlock();
        unsigned requests = 0;
        bool alive = false;
        try {
            alive = watchOnce(poke, &requests);
        } catch (const std::bad_alloc&) {
            // Out of memory: the watch ends, and a transaction waiting for
            // the channel still gets it below.
        }
        lock.lock();
        w.watcherReading = false;
        poke.lower();  // a stop stays seen: `stopping` is kept
        w.pending += requests;
        w.changed.notify_all();
        // Requests already read are still raised when the channel is gone.
        if (!alive && w.pending == 0) return;
    }
}

bool HislipTransport::watchOnce(const WakeSignal& poke, unsigned* requests) {
    // Whole messages a transaction read past its answer come first.
    if (!takeAsyncMessages(requests)) return false;
    if (*requests > 0) return true;
    return async_.stream->awaitInputOr(poke) == VI_SUCCESS && pullAsync() == VI_SUCCESS &&
           takeAsyncMessages(requests);
}

ViStatus HislipTransport::pullAsync() {
    ViByte bytes[4096];
    size_t got = 0;
    const ViStatus status = async_.stream->read(bytes, sizeof bytes, Deadline::after(0), &got);
    if (status == VI_ERROR_TMO) return VI_SUCCESS;
    if (status == VI_SUCCESS) async_.in.feed(bytes, got);
    return status;
}

bool HislipTransport::takeAsyncMessages(unsigned* requests) {
    for (;;) {
        Message m;
        const hislip::Decoder::Result result = async_.in.next(&m);
        if (result == hislip::Decoder::Result::NeedMore) return true;
        if (result != hislip::Decoder::Result::Message) return false;  // the next call fails
        if (m.type() == Type::AsyncServiceRequest) ++*requests;
        takeOwed(m.type());  // a late answer: the next exchange need not wait for it
        if (m.type() == Type::FatalError) {
            // The server closes both channels after it.
            dead_ = true;
            interrupt();
            return false;
        }
    }
}

uint32_t HislipTransport::nextMessageId(bool answered) {
    const uint32_t id = messageId_;
    messageId_ += 2;  // wraps, as the protocol wants
    lastSentId_ = id;
    if (answered) answeredId_ = id;
    rmtDelivered_ = false;
    return id;
}

void HislipTransport::restartMessageIds() {
    messageId_ = hislip::kFirstMessageId;
    lastSentId_ = answeredId_ = hislip::kFirstMessageId - 2;
    rmtDelivered_ = false;
    haveCurrent_ = false;
}

ViStatus HislipTransport::readMessage(ViByte* buf, size_t cap, const Deadline& deadline,
                                      size_t* got, bool* end) {
    *got = 0;
    *end = false;
    for (bool first = true; !haveCurrent_; first = false) {
        // What is passed over never keeps the call past its deadline.
        if (!first && deadline.expired()) return VI_ERROR_TMO;
        const ViStatus status = receive(sync_, deadline, &current_);
        if (status != VI_SUCCESS) return status;
        switch (current_.type()) {
            case Type::Data:
            case Type::DataEnd:
                // The answer to an earlier message (one given up on after a
                // timeout) carries that message's id and is not this one's;
                // an empty Data carries nothing.
                if (current_.header.parameter != answeredId_) break;
                if (current_.type() == Type::Data && current_.payload.empty()) break;
                currentPos_ = 0;
                haveCurrent_ = true;
                break;
            case Type::FatalError:
            case Type::Error:
                return serverError(current_);
            case Type::DeviceClearAcknowledge:
            case Type::Interrupted:
                break;
            default: {
                static const char text[] = "unexpected message on the synchronous channel";
                const ViStatus sent = send(
                    sync_, Type::Error, static_cast<uint8_t>(hislip::ErrorCode::UnrecognizedType),
                    0, text, sizeof text - 1, deadline);
                if (sent != VI_SUCCESS) return sent;
            }
        }
    }
    const size_t n = std::min(cap, current_.payload.size() - currentPos_);
    if (n > 0) std::memcpy(buf, current_.payload.data() + currentPos_, n);
    currentPos_ += n;
    *got = n;
    if (currentPos_ == current_.payload.size()) {
        haveCurrent_ = false;
        if (current_.type() == Type::DataEnd) *end = rmtDelivered_ = true;
    }
    return VI_SUCCESS;
}

ViStatus HislipTransport::read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) {
    bool end = false;
    return readMessage(buf, cap, deadline, got, &end);
}

ViStatus HislipTransport::writeMessage(const ViByte* buf, size_t len, bool end,
                                       const Deadline& deadline, size_t* sent) {
    *sent = 0;
    const uint64_t largest =
        serverMaxMessage_ > hislip::kHeaderSize + 1 ? serverMaxMessage_ - hislip::kHeaderSize : 1;
    const size_t most = static_cast<size_t>(std::min(largest, kMaxDataPayload));
    do {
        const size_t chunk = std::min(len - *sent, most);
        const bool last = *sent + chunk == len;
        if (chunk == 0 && !end) break;  // nothing to send, no END asked for
        const Type type = last && end ? Type::DataEnd : Type::Data;
        const uint8_t rmt = rmtDelivered_ ? 1 : 0;
        const ViStatus status = send(sync_, type, rmt, messageId_, buf + *sent, chunk, deadline);
        if (status != VI_SUCCESS) return status;
        nextMessageId(type == Type::DataEnd);
        *sent += chunk;
    } while (*sent < len);
    return VI_SUCCESS;
}

ViStatus HislipTransport::write(const ViByte* buf, size_t len, const Deadline& deadline,
                                size_t* sent) {
    return writeMessage(buf, len, true, deadline, sent);
}

void HislipTransport::interrupt() {
    for (Channel* channel : {&sync_, &async_})
        if (channel->stream) channel->stream->interrupt();
}

ViStatus HislipTransport::readStatusByte(ViUInt16* stb, const Deadline& deadline) {
    Message m;
    const ViStatus status = exchange(Type::AsyncStatusQuery, rmtDelivered_ ? 1 : 0, lastSentId_,
                                     std::string(), Type::AsyncStatusResponse, deadline, &m);
    if (status == VI_SUCCESS) *stb = m.header.control;
    return status;
}

ViStatus HislipTransport::assertTrigger(const Deadline& deadline) {
    const ViStatus status =
        send(sync_, Type::Trigger, rmtDelivered_ ? 1 : 0, messageId_, nullptr, 0, deadline);
    if (status == VI_SUCCESS) nextMessageId(true);
    return status;
}

ViStatus HislipTransport::deviceClear(const Deadline& deadline) {
    Message m;
    ViStatus status = exchange(Type::AsyncDeviceClear, 0, 0, std::string(),
                               Type::AsyncDeviceClearAcknowledge, deadline, &m);
    // Feature setting 0: synchronized mode, whatever the server prefers.
    if (status == VI_SUCCESS)
        status = send(sync_, Type::DeviceClearComplete, 0, 0, nullptr, 0, deadline);
    // Everything before the acknowledgement belongs to the time before the clear.
    for (bool first = true; status == VI_SUCCESS; first = false) {
        if (!first && deadline.expired()) return VI_ERROR_TMO;
        status = receive(sync_, deadline, &m);
        if (status != VI_SUCCESS) break;
        if (m.type() == Type::FatalError) return serverError(m);
        if (m.type() == Type::DeviceClearAcknowledge) {
            overlap_ = (m.header.control & 1) != 0;
            restartMessageIds();
            return VI_SUCCESS;
        }
    }
    return status;
}

ViStatus HislipTransport::lockDevice(ViAccessMode mode, const char* accessKey, ViUInt32 timeoutMs) {
    // An empty lock string asks for the exclusive lock; a shared one needs a name.
    std::string key;
    if (mode == VI_SHARED_LOCK)
        key = accessKey != nullptr && *accessKey != '\0' ? accessKey : "qmdc";
    // The server answers when the lock is granted or its timeout has passed;
    // the grace is for that answer to come.
    Message m;
    const ViStatus status = exchange(Type::AsyncLock, 1, timeoutMs, key, Type::AsyncLockResponse,
                                     Deadline::after(timeoutMs).graced(), &m);
    if (status != VI_SUCCESS) return status;
    switch (static_cast<hislip::LockResult>(m.header.control)) {
        case hislip::LockResult::Success:
            return VI_SUCCESS;
        case hislip::LockResult::Failure:
            return VI_ERROR_TMO;  // held elsewhere for the whole timeout
        default:
            return VI_ERROR_RSRC_LOCKED;
    }
}

ViStatus HislipTransport::unlockDevice() {
    Message m;
    const ViStatus status =
        exchange(Type::AsyncLock, 0, lastSentId_, std::string(), Type::AsyncLockResponse,
                 Deadline::after(kControlTimeoutMs), &m);
    if (status != VI_SUCCESS) return status;
    switch (static_cast<hislip::LockResult>(m.header.control)) {
        case hislip::LockResult::Success:
        case hislip::LockResult::SuccessShared:
            return VI_SUCCESS;
        default:
            return VI_ERROR_SESN_NLOCKED;
    }
}

ViStatus HislipTransport::remoteLocal(ViUInt16 mode, const Deadline& deadline) {
    if (mode > 6) return VI_ERROR_INV_MODE;  // the seven VI_GPIB_REN_* requests
    Message m;
    return exchange(Type::AsyncRemoteLocalControl, static_cast<uint8_t>(mode), lastSentId_,
                    std::string(), Type::AsyncRemoteLocalResponse, deadline, &m);
}

ViStatus HislipTransport::getAttribute(ViAttr attr, AttrValue* out) {
    switch (attr) {
        case VI_ATTR_TCPIP_DEVICE_NAME:
            out->setString(device_.c_str());
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_IS_HISLIP:
            out->num = VI_TRUE;
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_HISLIP_VERSION:
            out->num = visaVersion(std::min(serverVersion_, hislip::kProtocolVersion));
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_HISLIP_OVERLAP_EN:
            out->num = overlap_;
            return VI_SUCCESS;
        case VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB:
            out->num = clientMaxKb_;
            return VI_SUCCESS;
        default:  // address, host name, port and socket options: the synchronous channel's
            return sync_.stream->getAttribute(attr, out);
    }
}

ViStatus HislipTransport::setAttribute(ViAttr attr, ViUInt32 value) {
    switch (attr) {
        case VI_ATTR_TCPIP_HISLIP_OVERLAP_EN:
            return value == 0 ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;  // synchronized only
        case VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB: {
            if (value == 0 || value > kLargestMaxMessageKb) return VI_ERROR_NSUP_ATTR_STATE;
            const ViStatus status =
                negotiateMaxMessageSize(uint64_t{value} * 1024, Deadline::after(kControlTimeoutMs));
            if (status == VI_SUCCESS) clientMaxKb_ = value;
            return status;
        }
        case VI_ATTR_TCPIP_NODELAY:
        case VI_ATTR_TCPIP_KEEPALIVE: {
            const ViStatus status = sync_.stream->setAttribute(attr, value);
            return status == VI_SUCCESS ? async_.stream->setAttribute(attr, value) : status;
        }
        default:
            return VI_ERROR_NSUP_ATTR;
    }
}

std::unique_ptr<Transport> openHislip(const ResourceName& name, ViUInt32 openTimeoutMs,
                                      ViStatus* status) {
    const Deadline deadline = openDeadline(openTimeoutMs);
    std::unique_ptr<TcpTransport> sync = connectTcp(name.host, name.port, deadline, status);
    if (!sync) return nullptr;
    auto transport = std::make_unique<HislipTransport>(std::move(sync), name);
    *status = transport->initialize(deadline);
    if (*status != VI_SUCCESS) return nullptr;
    return transport;
}

}  // namespace qmdc::visa
