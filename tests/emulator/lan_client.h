// Clients of the emulator's LAN ports written from the protocols, for its process tests: one
// ONC RPC connection (VXI-11 core and abort channels, the portmapper over TCP), one RPC call
// over UDP, and a HiSLIP session of two channels. Each waits at most the time it is given.
#ifndef QMDC_TESTS_EMULATOR_LAN_CLIENT_H
#define QMDC_TESTS_EMULATOR_LAN_CLIENT_H

#include <netinet/in.h>
#include <rpc/rpc.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "hislip_codec.h"
#include "rpc_codec.h"
#include "rpc_record.h"
#include "vxi11.h"

namespace qmdc::emu::test {

// The address of a resource name "TCPIP0::<address>::..." (network byte order).
in_addr_t AddressOf(const std::string& resource);
// A TCP connection to address:port (network byte order address); -1 when refused.
int ConnectTo(in_addr_t address, uint16_t port);

class RpcConnection {
  public:
    RpcConnection(in_addr_t address, uint16_t port) : fd_(ConnectTo(address, port)) {}
    ~RpcConnection();
    RpcConnection(const RpcConnection&) = delete;
    RpcConnection& operator=(const RpcConnection&) = delete;
    bool connected() const { return fd_ >= 0; }
    int fd() const { return fd_; }
    void Close();

    // Sends a call without waiting for its reply; returns its xid.
    uint32_t Send(uint32_t prog, uint32_t vers, uint32_t proc, xdrproc_t encode, const void* args);
    // The reply to `xid`, decoded into results; Refused or Malformed come back as they are,
    // and Malformed too when nothing came in time.
    rpc::ReplyKind Receive(uint32_t xid, xdrproc_t decode, void* results, int timeoutMs = 3000);
    // Both.
    template <class Args, class Res>
    rpc::ReplyKind Call(uint32_t prog, uint32_t vers, uint32_t proc, bool_t (*encode)(XDR*, Args*),
                        const Args& args, bool_t (*decode)(XDR*, Res*), Res* results,
                        int timeoutMs = 3000) {
        return Receive(Send(prog, vers, proc, rpc::xdrProc(encode), &args), rpc::xdrProc(decode),
                       results, timeoutMs);
    }
    rpc::ReplyKind Null(uint32_t prog, uint32_t vers, int timeoutMs = 3000);

  private:
    int fd_;
    uint32_t xid_ = 0x5100;
    rpc::RecordReader reader_;
};

// The core channel of a VXI-11 instrument: one connection and the link calls on it.
class Vxi11Client {
  public:
    // Asks the portmapper at address:111 for the core channel and connects to it.
    explicit Vxi11Client(in_addr_t address);
    bool connected() const { return core.connected(); }
    // create_link: the error, and the link in *lid.
    long CreateLink(const std::string& device, Device_Link* lid, bool lockDevice = false);
    long DestroyLink(Device_Link lid);
    long Write(Device_Link lid, const std::string& data, long flags = 0x08);
    // device_read: the data, or nullopt with the error in *error.
    std::optional<std::string> Read(Device_Link lid, long* error, unsigned long ioTimeoutMs = 2000);
    long Lock(Device_Link lid, long flags, unsigned long lockTimeoutMs);
    uint32_t SendLock(Device_Link lid, long flags, unsigned long lockTimeoutMs);
    long LockReply(uint32_t xid, int timeoutMs = 5000);
    long Unlock(Device_Link lid);
    long CreateIntrChannel(in_addr_t hostAddr, uint16_t port);
    long EnableSrq(Device_Link lid, const std::string& handle);

    in_addr_t address = 0;
    uint16_t port = 0;
    uint16_t abortPort = 0;
    RpcConnection core;
};

// The port the portmapper at address:111 gives for prog over TCP; 0 when none.
uint16_t GetPort(in_addr_t address, uint32_t prog, uint32_t vers);

// One call over UDP to address:port; the reply record (without a record mark), empty when
// none came in time. `broadcast`: sent with SO_BROADCAST; *from gets the replier;
// `onlyFrom`, when not 0: answers from other addresses are passed over.
std::string UdpCall(in_addr_t address, uint16_t port, const std::string& call, int timeoutMs,
                    bool broadcast = false, in_addr_t* from = nullptr, in_addr_t onlyFrom = 0);
// The call record (unframed) of prog/vers/proc with args.
std::string UdpCallRecord(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc,
                          xdrproc_t encode, const void* args);

class HislipSession {
  public:
    // Connects both channels and initialises them; ok() tells whether it worked.
    explicit HislipSession(uint16_t port);
    ~HislipSession();
    HislipSession(const HislipSession&) = delete;
    HislipSession& operator=(const HislipSession&) = delete;
    bool ok() const { return ok_; }
    uint16_t id() const { return id_; }
    int syncFd() const { return sync_; }

    bool SendSync(hislip::Type type, uint8_t control, uint32_t parameter,
                  const std::string& payload = std::string());
    bool SendAsync(hislip::Type type, uint8_t control, uint32_t parameter,
                   const std::string& payload = std::string());
    // The next message on either channel; nullopt when none came in time or it closed.
    std::optional<hislip::Message> ReadSync(int timeoutMs = 3000);
    std::optional<hislip::Message> ReadAsync(int timeoutMs = 3000);
    // Sends the line as one DataEnd and gathers the answer up to its DataEnd; nullopt when
    // it did not come in time.
    std::optional<std::string> Query(const std::string& line, int timeoutMs = 3000);

  private:
    static std::optional<hislip::Message> Read(int fd, hislip::Decoder& decoder, int timeoutMs);
    int sync_ = -1;
    int async_ = -1;
    hislip::Decoder syncIn_{1u << 24};
    hislip::Decoder asyncIn_{1u << 24};
    uint16_t id_ = 0;
    uint32_t messageId_ = hislip::kFirstMessageId;
    bool ok_ = false;
};

// Sends Initialize on a new connection to the HiSLIP port and reads the answer: the
// connection (to keep open), and the answer's type and control code.
struct HislipInit {
    int fd = -1;
    std::optional<hislip::Message> answer;
};
HislipInit InitializeOnly(uint16_t port);

// Messages and the service requests they must raise, for every port that carries them: one
// on every rising edge of the summary bit, command by command within a message.
struct SrqRow {
    const char* what;
    std::vector<const char*> messages;
    int requests;
};
inline const std::vector<SrqRow>& SrqRows() {
    static const std::vector<SrqRow> rows = {
        {"one per message", {"*ESE 1;*SRE 32", "*OPC", "*CLS", "*OPC"}, 2},
        {"off and on in one message", {"*ESE 1;*SRE 32;*OPC", "*CLS;*OPC"}, 2},
        {"twice in one message", {"*ESE 1;*SRE 32", "*OPC;*CLS;*OPC"}, 2},
        {"stays on: no new edge", {"*ESE 1;*SRE 32;*OPC", "*OPC;*OPC"}, 1},
    };
    return rows;
}

}  // namespace qmdc::emu::test

#endif
