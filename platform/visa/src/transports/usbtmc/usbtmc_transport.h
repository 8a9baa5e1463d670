// usbtmc_transport.h - USB[board]::vendor::product::serial[::n]::INSTR:
// a USBTMC interface, its messages, status byte, trigger and clear.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>

#include "service_request_watch.h"
#include "transport.h"
#include "usbtmc_device.h"

namespace qmdc::visa {

class UsbtmcTransport final : public Transport {
  public:
    explicit UsbtmcTransport(std::unique_ptr<UsbtmcDevice> device);
    ~UsbtmcTransport() override;
    UsbtmcTransport(const UsbtmcTransport&) = delete;
    UsbtmcTransport& operator=(const UsbtmcTransport&) = delete;

    ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) override;
    ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline, size_t* sent) override;
    ViStatus readMessage(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got,
                         bool* end) override;
    ViStatus writeMessage(const ViByte* buf, size_t len, bool end, const Deadline& deadline,
                          size_t* sent) override;
    // The instrument answers a request for each read: nothing waits unread.
    void discardInput() override {}
    void interrupt() override;
    EndRules endRules() const override { return EndRules{}; }
    ViStatus getAttribute(ViAttr, AttrValue*) override { return VI_ERROR_NSUP_ATTR; }
    // VI_ATTR_TERMCHAR and VI_ATTR_TERMCHAR_EN, passed on to the instrument
    // so that it ends a reply at the character itself.
    ViStatus setAttribute(ViAttr attr, ViUInt32 value) override;

    ViStatus readStatusByte(ViUInt16* stb, const Deadline& deadline) override;
    ViStatus assertTrigger(const Deadline& deadline) override;
    ViStatus deviceClear(const Deadline& deadline) override;
    ViStatus remoteLocal(ViUInt16 mode, const Deadline& deadline) override;

    // Service requests from the interrupt endpoint: the instrument needs no
    // request to send them (its *SRE decides), so a watch is only a thread
    // that waits on the device file, from start to stop. The status byte
    // read after one shows RQS (bit 6).
    bool deliversServiceRequests() const override { return device_->canRequestService(); }
    ViStatus startServiceRequests(ServiceRequestSink raised, const Deadline& deadline) override;
    void stopServiceRequests() override;

  private:
    // Gives the device the time left of the call; VI_ERROR_TMO once it has
    // passed, VI_ERROR_CONN_LOST after a close.
    ViStatus begin(const Deadline& deadline);
    // A failure of a call that the close cut short reads as the close.
    ViStatus finish(ViStatus status) const;

    void watch(const ServiceRequestSink& raised, const WakeSignal& wake);

    std::unique_ptr<UsbtmcDevice> device_;
    std::atomic<bool> interrupted_{false};
    // The watch, which interrupt() ends from another thread; the mutex
    // orders a close against a start.
    std::mutex watchMutex_;
    ServiceRequestWatch watch_;
    // A service request was delivered and no status byte read since.
    std::atomic<bool> requestUnread_{false};
    ViByte termchar_ = '\n';
    bool termcharEn_ = false;
};

}  // namespace qmdc::visa
