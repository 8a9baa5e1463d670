// tcp_transport.h - TCPIP::host::port::SOCKET as every platform has it: the
// resource's attributes, its end rules and its wake-up at close, over the
// platform's byte stream on a connected socket (`SocketStream`, from the
// platform folder's socket_stream.h).
#pragma once

#include <memory>
#include <string>
#include <utility>

#include "socket_api.h"
#include "socket_stream.h"

namespace qmdc::visa {

class TcpTransport final : public SocketStream {
  public:
    // Owns `s` from here on. The strings are moved in, so that nothing can
    // throw once the stream holds the socket.
    TcpTransport(net::Socket s, std::string host, std::string address, ViUInt16 port) noexcept
        : SocketStream(s),
          socket_(s),
          host_(std::move(host)),
          address_(std::move(address)),
          port_(port) {}

    // Besides waking every wait, tells the instrument at once that the
    // connection is over; the socket stays open until the last user of the
    // session has gone.
    void interrupt() override {
        SocketStream::interrupt();
        net::shutdownBoth(socket_);
    }

    EndRules endRules() const override {
        EndRules rules;
        rules.pauseEndsRead = !suppressEnd_;
        return rules;
    }

    ViStatus getAttribute(ViAttr attr, AttrValue* out) override;
    ViStatus setAttribute(ViAttr attr, ViUInt32 value) override;

    // This end's address, for a protocol that has the peer call back (the
    // VXI-11 interrupt channel); false when the system cannot say.
    bool localAddress(sockaddr_storage* addr) const;

    ViStatus setOption(int level, int option, bool on) {
        return net::setFlag(socket_, level, option, on) ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
    }

  private:
    ViStatus getOption(int level, int option, AttrValue* out) const;

    const net::Socket socket_;
    const std::string host_;
    const std::string address_;
    const ViUInt16 port_;
    bool suppressEnd_ = true;  // a SOCKET read ends on termchar, count or timeout
};

// The deadline of viOpen's connection: its open timeout, 0 meaning 2000 ms.
inline Deadline openDeadline(ViUInt32 openTimeoutMs) {
    return Deadline::after(openTimeoutMs == 0 ? 2000 : openTimeoutMs);
}

// A connection to host:port, Nagle off, made within the deadline; null with
// *status VI_ERROR_RSRC_NFOUND (refused, unknown host, too slow), or another
// status when the system cannot make one.
std::unique_ptr<TcpTransport> connectTcp(const std::string& host, ViUInt16 port,
                                         const Deadline& deadline, ViStatus* status);

}  // namespace qmdc::visa
