// vxi11_transport.h - TCPIP::host::device::INSTR over VXI-11: a link on the
// instrument's core channel (ONC RPC, found through the portmapper), its
// abort channel to cut a call short, and, while service requests are
// watched, an interrupt channel the instrument calls back on.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "rpc_channel.h"
#include "transport.h"
#include "vxi11.h"

namespace qmdc::visa {

class InterruptChannel;

class Vxi11Transport final : public Transport {
  public:
    struct Link {
        std::unique_ptr<RpcChannel> core;
        std::unique_ptr<RpcChannel> abort;  // null when the server's abort port took no connection
        Device_Link lid = 0;
        uint32_t maxRecvSize = 0;
        // This end of the core channel (IPv4, network order; 0 on IPv6),
        // where the instrument is asked to call back with service requests.
        uint32_t localAddress = 0;
    };
    Vxi11Transport(Link link, std::string host, std::string device);
    // Destroys the link unless the connection is already gone.
    ~Vxi11Transport() override;

    ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) override;
    ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) override;
    ViStatus readMessage(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got,
                         bool* end) override;
    ViStatus writeMessage(const ViByte* buf, size_t len, bool end, const Deadline& deadline,
                          size_t* sent) override;
    // Replies come per call: nothing arrives that no call asked for.
    void discardInput() override {}
    void interrupt() override;
    EndRules endRules() const override { return EndRules{}; }
    ViStatus getAttribute(ViAttr attr, AttrValue* out) override;
    ViStatus setAttribute(ViAttr, ViUInt32) override { return VI_ERROR_NSUP_ATTR; }

    ViStatus readStatusByte(ViUInt16* stb, const Deadline& deadline) override;
    ViStatus assertTrigger(const Deadline& deadline) override;
    ViStatus deviceClear(const Deadline& deadline) override;
    ViStatus lockDevice(ViAccessMode mode, const char* accessKey, ViUInt32 timeoutMs) override;
    ViStatus unlockDevice() override;
    ViStatus remoteLocal(ViUInt16 mode, const Deadline& deadline) override;

    // Service requests come on an interrupt channel: a port of ours on the
    // core channel's local address, given to the instrument with
    // create_intr_chan, and a watcher thread that takes its device_intr_srq
    // calls; device_enable_srq tells it the handle that names this link.
    bool deliversServiceRequests() const override { return true; }
    ViStatus startServiceRequests(ServiceRequestSink raised, const Deadline& deadline) override;
    void stopServiceRequests() override;

  private:
    // One core call within the deadline: the instrument is given the time
    // left as its io_timeout and the grace (kTimeoutGraceMs) to say so
    // itself; past that, the call is aborted and VI_ERROR_TMO returned. Maps
    // the VXI-11 error.
    template <class Args, class Results>
    ViStatus coreCall(uint32_t proc, bool_t (*encode)(XDR*, Args*), const Args& args,
                      bool_t (*decode)(XDR*, Results*), Results* results, const Deadline& deadline);
    ViStatus generic(uint32_t proc, const Deadline& deadline);
    Device_GenericParms genericParms(const Deadline& deadline) const;
    // Asks the server on the abort channel to end the call in progress.
    void sendAbort(const Deadline& deadline);
    // Tells the instrument to stop calling back (no SRQ, no channel).
    void endInterruptChannel(const Deadline& deadline);

    Link link_;
    const std::string host_;
    const std::string device_;
    std::mutex abortMutex_;
    std::atomic<bool> busy_{false};
    std::atomic<bool> interrupted_{false};
    bool connectionLost_ = false;
    bool deviceLocked_ = false;
    // The watch of service requests, between start and stop; interrupt()
    // wakes it from another thread, hence the lock on the pointer.
    std::mutex watchMutex_;
    std::unique_ptr<InterruptChannel> watch_;
};

// Maps a VXI-11 error code to a VISA status.
ViStatus vxi11Status(long error);

}  // namespace qmdc::visa
