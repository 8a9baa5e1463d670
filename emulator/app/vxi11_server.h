// The instrument over VXI-11: a portmapper on port 111 of its own loopback address (or an
// entry in the system's, when rpcbind holds that port), the core channel and the abort
// channel, each on a port the kernel picks, and the interrupt channels it opens to clients
// that ask for service requests. It runs inside the serving loop (no
// thread of its own): the loop polls its descriptors and hands it what is ready; nothing it
// does waits on a client.
#ifndef QMDC_EMULATOR_APP_VXI11_SERVER_H
#define QMDC_EMULATOR_APP_VXI11_SERVER_H

#include <netinet/in.h>
#include <poll.h>

#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "app/faults.h"
#include "app/responder.h"
#include "app/instrument_lock.h"
#include "app/portmapper.h"
#include "app/system_portmapper.h"
#include "app/transport.h"
#include "core/engine.h"
#include "rpc_codec.h"
#include "rpc_record.h"
#include "vxi11.h"

namespace qmdc::emu {

class Vxi11Server {
  public:
    Vxi11Server(Engine& engine, Responder& responder, InstrumentLock& lock, bool verbose);
    ~Vxi11Server();

    // Listens on `host` (an IPv4 loopback address; empty: a free one in 127.0.0.0/8, so that
    // servers run side by side, each with its own port 111; or 127.0.0.1 registered with the
    // system portmapper when it holds port 111). resource gets the VISA name; error says
    // why not, with the cause.
    bool Listen(const std::string& host, std::string& resource, std::string& error);

    // Appends the descriptors to wait for; returns the longest wait it allows (ms, -1: any).
    int Watch(std::vector<pollfd>& fds);
    // Serves what poll() found ready in fds[first...], in the order Watch() added them.
    void Serve(const std::vector<pollfd>& fds, size_t first);
    // The instrument has just begun to request service: calls device_intr_srq for every link
    // that enabled it.
    void SendServiceRequest();

  private:
    using Clock = std::chrono::steady_clock;
    enum class Channel { Portmap, Core, Abort };
    // A client's interrupt channel (create_intr_chan): where its service requests go, and the
    // connection to it, opened for the first one and kept for the next (opened again when it
    // broke).
    struct IntrChannel {
        sockaddr_in to{};
        uint32_t prog = 0, vers = 0;
        Fd fd;
        bool connecting = false;
        Clock::time_point connectBy{};
        std::string unsent;         // call records not sent yet
        rpc::RecordReader replies;  // the client's replies, read and dropped
        uint32_t nextXid = 1;
    };
    struct PendingRead {
        uint32_t xid;
        Device_ReadParms parms;
        Clock::time_point until;
    };
    struct LockWait {
        uint32_t xid;
        Device_Link lid;
        Clock::time_point until;
    };
    struct Conn {
        Fd fd;
        Channel channel;
        rpc::RecordReader reader;
        std::optional<PendingRead> read;   // a device_read waiting for the answer
        std::optional<LockWait> lockWait;  // a device_lock waiting for the lock
        bool closing = false;
        bool dropWhenAnswered = false;      // --drop-after: close once the answer has gone
        std::unique_ptr<IntrChannel> intr;  // the core channel's client asked for one
        OutQueue out;                       // replies the client has not taken yet
    };
    struct Link {
        explicit Link(Conn* owner) : conn(owner) {}
        Conn* conn;
        LineSplitter lines;  // a message not yet ended by a linefeed or END
        ClientCount count;
        std::optional<std::string> srqHandle;  // device_enable_srq: the handle to call with
    };

    void Accept(int listener, Channel channel);
    bool Receive(Conn& conn);
    bool HandleCall(Conn& conn, const std::string& record);
    void SendTo(Conn& conn, const std::string& bytes);
    void Reply(Conn& conn, uint32_t xid, accept_stat status, xdrproc_t encode, const void* res);
    template <class Args, class Res, class Body>
    void Call(Conn& conn, uint32_t xid, const std::string& record, size_t at,
              bool_t (*decodeArgs)(XDR*, Args*), bool_t (*encodeRes)(XDR*, Res*), Body&& body);

    bool Portmap(Conn& conn, const rpc::CallHeader& call, const std::string& record, size_t at);
    bool Core(Conn& conn, const rpc::CallHeader& call, const std::string& record, size_t at);
    bool Abort(Conn& conn, const rpc::CallHeader& call, const std::string& record, size_t at);

    // The link `lid` of conn's client; null when there is none or it is another client's.
    Link* Find(const Conn& conn, Device_Link lid);
    // The VXI-11 error for an operation of conn on `lid` (0 when it may go ahead).
    Device_ErrorCode Check(const Conn& conn, Device_Link lid);
    void Write(Link& link, Device_Link lid, const Device_WriteParms& parms, Device_WriteResp& resp);
    // Answers the pending read of conn if it can be answered now (or has timed out).
    void AnswerRead(Conn& conn, bool timedOut);
    // Answers the waiting device_lock of conn once the lock is free or its time is up.
    void AnswerLockWait(Conn& conn);
    void DestroyLink(Device_Link lid);
    size_t LinksOf(const Conn& conn) const;
    // Whether create_intr_chan may name `to` (network byte order) for conn's client.
    bool MayCallBack(const Conn& conn, in_addr_t to) const;
    void Drop(Conn& conn);

    void QueueIntrSrq(IntrChannel& intr, const std::string& handle);
    void ConnectIntr(IntrChannel& intr);
    void ServeIntr(IntrChannel& intr, short revents);
    void FlushIntr(IntrChannel& intr);
    void CloseIntr(IntrChannel& intr);

    Engine& engine_;
    Responder& responder_;
    const FaultPlan& faults_;
    InstrumentLock& lock_;
    bool verbose_;
    std::string host_;
    Fd portmapListener_, coreListener_, abortListener_;  // no portmapper of ours: invalid
    PortmapTable table_;
    PortmapUdp portmapUdp_;
    std::unique_ptr<SystemRegistration> registration_;  // with the system portmapper
    uint16_t corePort_ = 0, abortPort_ = 0;
    std::vector<std::unique_ptr<Conn>> conns_;
    std::map<Device_Link, Link> links_;
    Device_Link nextLid_ = 1;

    // The instrument's output queue, one for all links, and when its answer is there
    // (--delay-ms makes it later).
    std::string output_;
    Clock::time_point outputReadyAt_{};
    size_t outputHead_ = 0;  // bytes that may go before outputReadyAt_ (--stall-after)
    bool remote_ = false;
    long triggers_ = 0;
    std::vector<Conn*> watchedIntr_;  // whose interrupt channel Watch() added, in its order
};

}  // namespace qmdc::emu

#endif
