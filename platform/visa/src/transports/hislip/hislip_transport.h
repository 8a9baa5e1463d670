// hislip_transport.h - TCPIP::host::hislipN[,port]::INSTR: a HiSLIP session in
// synchronized mode over its two connections, the synchronous channel (the
// messages and their answers) and the asynchronous one (status byte, device
// clear, locks, remote/local, service requests). Framing and parsing are the
// codec's (platform/hislip); this file only moves messages over the sockets.
#pragma once

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

#include "hislip_codec.h"
#include "service_request_watch.h"
#include "tcp_transport.h"
#include "transport.h"

namespace qmdc::visa {

class HislipTransport final : public Transport {
  public:
    // Owns the connected synchronous channel; initialize() does the rest.
    HislipTransport(std::unique_ptr<TcpTransport> sync, const ResourceName& name);
    ~HislipTransport() override;

    // Initialize and AsyncInitialize over both channels, then the message
    // sizes; a server that prefers overlapped mode is switched to
    // synchronized mode by a device clear. VI_SUCCESS, or the status viOpen
    // reports (VI_ERROR_RSRC_NFOUND, VI_ERROR_RSRC_BUSY for a server with
    // too many clients).
    ViStatus initialize(const Deadline& deadline);

    ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) override;
    ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) override;
    ViStatus readMessage(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got,
                         bool* end) override;
    ViStatus writeMessage(const ViByte* buf, size_t len, bool end, const Deadline& deadline,
                          size_t* sent) override;
    void discardInput() override { haveCurrent_ = false; }
    void interrupt() override;
    EndRules endRules() const override { return EndRules(); }

    ViStatus getAttribute(ViAttr attr, AttrValue* out) override;
    ViStatus setAttribute(ViAttr attr, ViUInt32 value) override;

    ViStatus readStatusByte(ViUInt16* stb, const Deadline& deadline) override;
    ViStatus assertTrigger(const Deadline& deadline) override;
    ViStatus deviceClear(const Deadline& deadline) override;
    ViStatus lockDevice(ViAccessMode mode, const char* accessKey, ViUInt32 timeoutMs) override;
    ViStatus unlockDevice() override;
    ViStatus remoteLocal(ViUInt16 mode, const Deadline& deadline) override;

    // The server sends AsyncServiceRequest unasked; a watch raises one event
    // per request, from a thread that reads the asynchronous channel between
    // the transactions of the session's calls. Without a watch, requests are
    // passed over.
    bool deliversServiceRequests() const override { return true; }
    ViStatus startServiceRequests(ServiceRequestSink raised, const Deadline& deadline) override;
    void stopServiceRequests() override;

  private:
    using Type = hislip::Type;
    struct Channel {
        std::unique_ptr<TcpTransport> stream;
        hislip::Decoder in;
    };
    // Who reads the asynchronous channel while a watch runs: the watch's
    // thread, or a transaction (AsyncTurn), which pokes the thread out of its
    // wait and has the channel until it ends. The requests a transaction
    // meets are handed to the thread, which raises them once the transaction
    // has let go of the channel.
    struct Watch {
        std::mutex mutex;
        std::condition_variable changed;
        bool watcherReading = false;  // the thread waits on or reads the channel
        bool transaction = false;     // a transaction has the channel
        bool stopping = false;
        unsigned pending = 0;  // requests not raised yet
        // The thread; its wake signal is raised when a transaction wants the
        // channel, or the watch ends.
        ServiceRequestWatch thread;
    };
    class AsyncTurn;

    void watchServiceRequests(Watch& watch, WakeSignal& poke, const ServiceRequestSink& raised);
    // Waits for input or a poke, then takes what came; false once the
    // channel can carry nothing more for the watch.
    bool watchOnce(const WakeSignal& poke, unsigned* requests);
    // Feeds what has arrived on the asynchronous channel to its decoder
    // without waiting: VI_SUCCESS, also when nothing came.
    ViStatus pullAsync();
    // The whole messages already received on the asynchronous channel,
    // outside any transaction: service requests are counted, anything else is
    // the answer to a request given up on. False when the stream is broken
    // or the server ended the session.
    bool takeAsyncMessages(unsigned* requests);

    ViStatus send(Channel& channel, Type type, uint8_t control, uint32_t parameter,
                  const void* payload, size_t length, const Deadline& deadline);
    // The next message on the channel. A malformed header ends the session
    // (FatalError to the server, both channels closed): VI_ERROR_IO.
    ViStatus receive(Channel& channel, const Deadline& deadline, hislip::Message* out);
    // Sends a request on the asynchronous channel and waits for the answer
    // of type `answer`, passing over service requests and the answers owed
    // to requests that timed out: an answer is only ever its own request's.
    ViStatus exchange(Type request, uint8_t control, uint32_t parameter, const std::string& payload,
                      Type answer, const Deadline& deadline, hislip::Message* out);
    // Counts off one answer of this type owed to a request that timed out;
    // false when none is owed.
    bool takeOwed(Type answer);
    // What an Error or FatalError from the server means for the operation
    // that received it.
    ViStatus serverError(const hislip::Message& message);
    // Tells the server why the session ends, then closes both channels.
    ViStatus fail(hislip::FatalCode code, const char* text);
    // Numbers the next Data, DataEnd or Trigger.
    uint32_t nextMessageId(bool answered);
    ViStatus negotiateMaxMessageSize(uint64_t clientMax, const Deadline& deadline);
    void restartMessageIds();

    Channel sync_;
    Channel async_;
    const std::string host_;
    const std::string device_;
    const ViUInt16 port_;

    std::atomic<bool> dead_{false};  // FatalError sent or received: every call fails
    bool overlap_ = false;
    uint16_t serverVersion_ = 0;
    uint16_t sessionId_ = 0;
    uint64_t serverMaxMessage_ = 0;  // what the server accepts in one message
    ViUInt32 clientMaxKb_;           // what we accept, announced to the server

    uint32_t messageId_ = hislip::kFirstMessageId;       // of the next message
    uint32_t lastSentId_ = hislip::kFirstMessageId - 2;  // of the last one sent
    uint32_t answeredId_ = hislip::kFirstMessageId - 2;  // of the last DataEnd or Trigger
    bool rmtDelivered_ = false;  // a whole answer was delivered since the last message sent

    hislip::Message current_;  // the Data or DataEnd being handed out
    size_t currentPos_ = 0;
    bool haveCurrent_ = false;
    std::string out_;  // one outgoing message, kept for its capacity
    // Per answer type, the answers still to come to asynchronous requests
    // that timed out (the server answers every request, late or not); read
    // by a transaction or by the watch, one at a time.
    unsigned owed_[256] = {};

    std::unique_ptr<Watch> watch_;  // while service requests are watched
};

}  // namespace qmdc::visa
