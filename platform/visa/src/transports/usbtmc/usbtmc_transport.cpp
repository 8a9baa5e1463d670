// usbtmc_transport.cpp - the VISA operations of a USB INSTR session over
// one USBTMC interface (see usbtmc_device.h for the device itself).
#include "usbtmc_transport.h"

#include <algorithm>
#include <system_error>

namespace qmdc::visa {

namespace {

// The most one read asks of the instrument (the kernel driver splits it
// into bulk transfers of its own size).
constexpr size_t kMaxRead = 1 << 20;
constexpr ViUInt16 kRqs = 0x40;  // status byte: the instrument requests service

// What each VI_GPIB_REN_* mode does, in order: GO_TO_LOCAL, REN on or off,
// LOCAL_LOCKOUT.
enum Step : unsigned { kGtl = 1, kRenOff = 2, kRenOn = 4, kLlo = 8 };
const unsigned kRenSteps[] = {
    kRenOff,         // VI_GPIB_REN_DEASSERT
    kRenOn,          // VI_GPIB_REN_ASSERT
    kGtl | kRenOff,  // VI_GPIB_REN_DEASSERT_GTL
    kRenOn,          // VI_GPIB_REN_ASSERT_ADDRESS
    kRenOn | kLlo,   // VI_GPIB_REN_ASSERT_LLO
    kRenOn | kLlo,   // VI_GPIB_REN_ASSERT_ADDRESS_LLO
    kGtl,            // VI_GPIB_REN_ADDRESS_GTL
};

}  // namespace

UsbtmcTransport::UsbtmcTransport(std::unique_ptr<UsbtmcDevice> device)
    : device_(std::move(device)) {}

UsbtmcTransport::~UsbtmcTransport() {
    stopServiceRequests();
}

ViStatus UsbtmcTransport::begin(const Deadline& deadline) {
    if (interrupted_) return VI_ERROR_CONN_LOST;
    const ViUInt32 left = deadline.remainingVisaMs();
    if (left == 0) return VI_ERROR_TMO;
    return device_->setTimeout(left);
}

ViStatus UsbtmcTransport::finish(ViStatus status) const {
    return status < VI_SUCCESS && interrupted_ ? VI_ERROR_CONN_LOST : status;
}

void UsbtmcTransport::interrupt() {
    {
        std::lock_guard<std::mutex> lock(watchMutex_);
        interrupted_ = true;
        watch_.wake();
    }
    device_->cancel();
}

ViStatus UsbtmcTransport::startServiceRequests(ServiceRequestSink raised, const Deadline&) {
    stopServiceRequests();
    if (!device_->canRequestService()) return VI_ERROR_NSUP_OPER;
    // Under the lock, so that a close either sees the watch or is seen here.
    std::lock_guard<std::mutex> lock(watchMutex_);
    if (interrupted_) return VI_ERROR_CONN_LOST;
    return watch_.start(
        [this, raised = std::move(raised)](WakeSignal& wake) { watch(raised, wake); });
}

void UsbtmcTransport::stopServiceRequests() {
    watch_.stop();
}

// Ends when stopped, closed, or when the device fails (the session's next
// call then reports the failure).
void UsbtmcTransport::watch(const ServiceRequestSink& raised, const WakeSignal& wake) {
    while (device_->awaitServiceRequest(wake) == VI_SUCCESS) {
        requestUnread_ = true;
        raised();
    }
}

ViStatus UsbtmcTransport::read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) {
    bool end = false;
    return readMessage(buf, cap, deadline, got, &end);
}

ViStatus UsbtmcTransport::write(const ViByte* buf, size_t len, const Deadline& deadline,
                                size_t* sent) {
    return writeMessage(buf, len, true, deadline, sent);
}

ViStatus UsbtmcTransport::readMessage(ViByte* buf, size_t cap, const Deadline& deadline,
                                      size_t* got, bool* end) {
    *got = 0;
    *end = false;
    ViStatus status = begin(deadline);
    if (status != VI_SUCCESS) return status;
    status = device_->read(buf, std::min(cap, kMaxRead), got, end);
    // A device that says it delivered more than it was given room for is broken.
    if (status == VI_SUCCESS && *got > cap) {
        *got = 0;
        return VI_ERROR_IO;
    }
    return finish(status);
}

ViStatus UsbtmcTransport::writeMessage(const ViByte* buf, size_t len, bool end,
                                       const Deadline& deadline, size_t* sent) {
    *sent = 0;
    const ViStatus status = begin(deadline);
    if (status != VI_SUCCESS) return status;
    return finish(device_->write(buf, len, end, sent));
}

ViStatus UsbtmcTransport::setAttribute(ViAttr attr, ViUInt32 value) {
    if (attr == VI_ATTR_TERMCHAR)
        termchar_ = static_cast<ViByte>(value);
    else if (attr == VI_ATTR_TERMCHAR_EN)
        termcharEn_ = value != 0;
    else
        return VI_ERROR_NSUP_ATTR;
    // An instrument that cannot end a reply at the character still ends it
    // with END, and the session finds the character in what came: so a
    // refusal here changes no result.
    device_->setTermChar(termchar_, termcharEn_);
    return VI_SUCCESS;
}

ViStatus UsbtmcTransport::readStatusByte(ViUInt16* stb, const Deadline& deadline) {
    ViStatus status = begin(deadline);
    if (status != VI_SUCCESS) return status;
    ViByte value = 0;
    status = finish(device_->readStb(&value));
    if (status == VI_SUCCESS) *stb = value | (requestUnread_.exchange(false) ? kRqs : 0);
    return status;
}

ViStatus UsbtmcTransport::assertTrigger(const Deadline& deadline) {
    const ViStatus status = begin(deadline);
    return status != VI_SUCCESS ? status : finish(device_->trigger());
}

ViStatus UsbtmcTransport::deviceClear(const Deadline& deadline) {
    const ViStatus status = begin(deadline);
    return status != VI_SUCCESS ? status : finish(device_->clear());
}

ViStatus UsbtmcTransport::remoteLocal(ViUInt16 mode, const Deadline& deadline) {
    if (mode >= sizeof kRenSteps / sizeof kRenSteps[0]) return VI_ERROR_INV_MODE;
    const unsigned steps = kRenSteps[mode];
    ViStatus status = begin(deadline);
    if (status == VI_SUCCESS && (steps & kGtl)) status = device_->gotoLocal();
    if (status == VI_SUCCESS && (steps & (kRenOff | kRenOn)))
        status = device_->renControl((steps & kRenOn) != 0);
    if (status == VI_SUCCESS && (steps & kLlo)) status = device_->localLockout();
    return finish(status);
}

}  // namespace qmdc::visa
