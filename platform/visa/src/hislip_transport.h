// hislip_transport.h - TCPIP::host::hislipN[,port]::INSTR: a HiSLIP session in
// synchronized mode over its two connections, the synchronous channel (the
// messages and their answers) and the asynchronous one (status byte, device
// clear, locks, remote/local). Framing and parsing are the codec's
// (platform/hislip); this file only moves messages over the sockets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "hislip_codec.h"
#include "tcp_transport.h"
#include "transport.h"

namespace qmdc::visa {

class HislipTransport final : public Transport {
  public:
    // Owns the connected synchronous channel; initialize() does the rest.
    HislipTransport(std::unique_ptr<TcpTransport> sync, const ResourceName& name);

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

  private:
    using Type = hislip::Type;
    struct Channel {
        std::unique_ptr<TcpTransport> stream;
        hislip::Decoder in;
    };

    ViStatus send(Channel& channel, Type type, uint8_t control, uint32_t parameter,
                  const void* payload, size_t length, const Deadline& deadline);
    // The next message on the channel. A malformed header ends the session
    // (FatalError to the server, both channels closed): VI_ERROR_IO.
    ViStatus receive(Channel& channel, const Deadline& deadline, hislip::Message* out);
    // Sends a request on the asynchronous channel and waits for the answer
    // of type `answer`, passing over service requests and stale answers.
    ViStatus exchange(Type request, uint8_t control, uint32_t parameter, const std::string& payload,
                      Type answer, const Deadline& deadline, hislip::Message* out);
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

    bool dead_ = false;  // FatalError sent or received: every call fails
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
};

}  // namespace qmdc::visa
