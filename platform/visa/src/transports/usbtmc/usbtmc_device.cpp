// usbtmc_device.cpp - USB INSTR resources through the Linux kernel's usbtmc
// driver: the sysfs match of the name, the device file and its ioctls.
// (Why this driver rather than libusb: see usbtmc_device.h.)
#include "usbtmc_device.h"

#include <fcntl.h>
#include <linux/usb/tmc.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cerrno>

#include "adopt_handle.h"
#include "find_rsrc.h"
#include "usbtmc_transport.h"
#include "wake_signal.h"

namespace qmdc::visa {

namespace {

// The kernel refuses shorter timeouts (USBTMC_MIN_TIMEOUT).
constexpr ViUInt32 kMinKernelTimeoutMs = 100;
constexpr __u8 kEomAttribute = 0x01;  // bmTransferAttributes: the message ends here
// How long a watch waits on its wake signal alone while the device file
// reports a state it cannot clear itself (see awaitServiceRequest).
constexpr int kSlowLookMs = 100;

struct ErrnoMap {
    int err;
    ViStatus status;
};
// What the driver answers: a transfer that timed out (after which it has
// already aborted it), one the close cancelled, a device that is gone, an
// operation the instrument does not declare in its capabilities.
const ErrnoMap kErrors[] = {
    {ETIMEDOUT, VI_ERROR_TMO},       {ECANCELED, VI_ERROR_CONN_LOST}, {ENODEV, VI_ERROR_CONN_LOST},
    {ESHUTDOWN, VI_ERROR_CONN_LOST}, {ENXIO, VI_ERROR_CONN_LOST},     {EPERM, VI_ERROR_NSUP_OPER},
    {ENOTTY, VI_ERROR_NSUP_OPER},    {EACCES, VI_ERROR_NPERMISSION},  {EBUSY, VI_ERROR_RSRC_BUSY},
};

ViStatus errnoStatus(int err, ViStatus otherwise) {
    for (const ErrnoMap& e : kErrors)
        if (e.err == err) return e.status;
    return otherwise;
}

class KernelUsbtmcDevice final : public UsbtmcDevice {
  public:
    explicit KernelUsbtmcDevice(int fd) : fd_(fd) {}
    ~KernelUsbtmcDevice() override { ::close(fd_); }
    KernelUsbtmcDevice(const KernelUsbtmcDevice&) = delete;
    KernelUsbtmcDevice& operator=(const KernelUsbtmcDevice&) = delete;
    bool ready() const { return true; }

    ViStatus setTimeout(ViUInt32 ms) override {
        __u32 value = ms < kMinKernelTimeoutMs ? kMinKernelTimeoutMs : ms;
        if (value == timeoutMs_) return VI_SUCCESS;
        if (!control(USBTMC_IOCTL_SET_TIMEOUT, &value)) return errnoStatus(errno, VI_ERROR_IO);
        timeoutMs_ = value;
        return VI_SUCCESS;
    }

    ViStatus setTermChar(ViByte ch, bool enabled) override {
        usbtmc_termchar t{ch, static_cast<__u8>(enabled ? 1 : 0)};
        return control(USBTMC_IOCTL_CONFIG_TERMCHAR, &t) ? VI_SUCCESS
                                                         : errnoStatus(errno, VI_ERROR_IO);
    }

    ViStatus read(ViByte* buf, size_t cap, size_t* got, bool* end) override {
        *got = 0;
        *end = false;
        ssize_t n;
        do n = ::read(fd_, buf, cap);
        while (n < 0 && errno == EINTR);
        if (n < 0) return errnoStatus(errno, VI_ERROR_IO);
        *got = static_cast<size_t>(n);
        // A short read ends the message; a full one may too, which the
        // attributes of the last transfer tell.
        __u8 attributes = 0;
        *end = *got < cap || (control(USBTMC_IOCTL_MSG_IN_ATTR, &attributes) &&
                              (attributes & kEomAttribute) != 0);
        return VI_SUCCESS;
    }

    ViStatus write(const ViByte* buf, size_t len, bool end, size_t* sent) override {
        *sent = 0;
        // The driver ends every write with END unless told otherwise.
        __u8 eom = end ? 1 : 0;
        if (eom != eom_) {
            if (!control(USBTMC_IOCTL_EOM_ENABLE, &eom)) return errnoStatus(errno, VI_ERROR_IO);
            eom_ = eom;
        }
        while (*sent < len) {
            const ssize_t n = ::write(fd_, buf + *sent, len - *sent);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) return errnoStatus(errno, VI_ERROR_IO);
            if (n == 0) return VI_ERROR_IO;
            *sent += static_cast<size_t>(n);
        }
        return VI_SUCCESS;
    }

    ViStatus clear() override { return simple(USBTMC_IOCTL_CLEAR); }
    ViStatus trigger() override { return simple(USBTMC488_IOCTL_TRIGGER); }
    ViStatus gotoLocal() override { return simple(USBTMC488_IOCTL_GOTO_LOCAL); }
    ViStatus localLockout() override { return simple(USBTMC488_IOCTL_LOCAL_LOCKOUT); }

    ViStatus readStb(ViByte* stb) override {
        unsigned char value = 0;
        if (!control(USBTMC488_IOCTL_READ_STB, &value)) return errnoStatus(errno, VI_ERROR_IO);
        *stb = value;
        return VI_SUCCESS;
    }

    ViStatus renControl(bool enable) override {
        unsigned char value = enable ? 1 : 0;
        return control(USBTMC488_IOCTL_REN_CONTROL, &value) ? VI_SUCCESS
                                                            : errnoStatus(errno, VI_ERROR_IO);
    }

    void cancel() override {
#ifdef USBTMC_IOCTL_CANCEL_IO
        ::ioctl(fd_, USBTMC_IOCTL_CANCEL_IO);  // kernels before 4.20: the read ends at its timeout
#endif
    }

    // The driver (kernel 4.6 and later) keeps the instrument's USB488
    // capabilities; SR1 says it requests service. A wait for a service
    // request with no time to wait (4.20 and later, the kernels that report
    // one as POLLPRI) fails with EFAULT when the interface has no interrupt
    // endpoint, with ENOTTY on an older kernel, and with ETIMEDOUT when the
    // endpoint is there but no request is pending.
    bool canRequestService() override {
        unsigned char caps = 0;
        if (!control(USBTMC488_IOCTL_GET_CAPS, &caps) || !(caps & USBTMC488_CAPABILITY_SR1))
            return false;
#ifdef USBTMC488_IOCTL_WAIT_SRQ
        __u32 noWait = 0;
        return control(USBTMC488_IOCTL_WAIT_SRQ, &noWait) || errno == ETIMEDOUT;
#else
        return false;
#endif
    }

    // The driver marks the open file when the interrupt endpoint brings a
    // service request, and poll() reports the mark as POLLPRI until it is
    // taken: by GET_SRQ_STB (no transfer; newer kernels), or by the status
    // byte read (READ_STB, which then sets RQS in the byte it answers).
    // Where GET_SRQ_STB is missing, the watch does not read the status byte
    // itself (a transfer it could not bound): it reports the request once
    // and leaves the mark to the application's status byte read, looking
    // again every kSlowLookMs until the mark is gone. POLLERR (a transfer of
    // this file failed, or a close cancelled it) lasts until the next
    // transfer; it gets the same slow look rather than a busy loop.
    ViStatus awaitServiceRequest(const WakeSignal& wake) override {
        for (;;) {
            pollfd fds[2] = {{fd_, POLLPRI, 0}, {wake.fd(), POLLIN, 0}};
            // A reported mark left for the status byte read: look again
            // later, to see it gone (and the next request come).
            if (::poll(fds, 2, reported_ ? kSlowLookMs : -1) < 0) {
                if (errno == EINTR) continue;
                return VI_ERROR_SYSTEM_ERROR;
            }
            if (fds[1].revents != 0) return VI_ERROR_ABORT;
            if (fds[0].revents & (POLLHUP | POLLNVAL)) return VI_ERROR_CONN_LOST;  // unplugged
            const bool marked = (fds[0].revents & POLLPRI) != 0;
            if (marked && !reported_) {
                reported_ = !takeServiceRequest();
                return VI_SUCCESS;
            }
            reported_ = marked;
            // A state poll() reports at once until someone else clears it.
            if (fds[0].revents & (POLLPRI | POLLERR)) {
                pollfd slow{wake.fd(), POLLIN, 0};
                if (::poll(&slow, 1, kSlowLookMs) > 0) return VI_ERROR_ABORT;
            }
        }
    }

  private:
    // Clears the driver's mark; false where the kernel cannot without a
    // status byte read.
    bool takeServiceRequest() {
#ifdef USBTMC_IOCTL_GET_SRQ_STB
        __u8 stb = 0;
        // ENOMSG: a status byte read took it first; the request was there.
        return control(USBTMC_IOCTL_GET_SRQ_STB, &stb) || errno != ENOTTY;
#else
        return false;
#endif
    }

    template <class Arg>
    bool control(unsigned long request, Arg* arg) {
        int rc;
        do rc = ::ioctl(fd_, request, arg);
        while (rc < 0 && errno == EINTR);
        return rc == 0;
    }
    ViStatus simple(unsigned long request) {
        int rc;
        do rc = ::ioctl(fd_, request);
        while (rc < 0 && errno == EINTR);
        return rc == 0 ? VI_SUCCESS : errnoStatus(errno, VI_ERROR_IO);
    }

    const int fd_;
    bool reported_ = false;  // the watch's: the pending mark was reported
    __u32 timeoutMs_ = 0;    // not yet set: the driver's default is 5000 ms
    __u8 eom_ = 1;           // the driver's default: every write ends with END
};

}  // namespace

std::unique_ptr<UsbtmcDevice> openUsbtmcDevice(const std::string& path, ViStatus* status) {
    const int fd = ::open(path.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0) {
        const int err = errno;
        *status = err == EACCES || err == EPERM ? VI_ERROR_NPERMISSION
                  : err == EBUSY                ? VI_ERROR_RSRC_BUSY
                                                : VI_ERROR_RSRC_NFOUND;
        return nullptr;
    }
    return adoptHandle<KernelUsbtmcDevice>(fd, ::close, status);
}

std::unique_ptr<Transport> openUsbtmc(const ResourceName& name, ViStatus* status) {
    std::string node;
    *status = findUsbtmcNode(DiscoveryPlaces::fromEnvironment().sysfs, name, &node);
    if (*status != VI_SUCCESS) return nullptr;
    std::unique_ptr<UsbtmcDevice> device = openUsbtmcDevice(node, status);
    if (!device) return nullptr;
    return std::make_unique<UsbtmcTransport>(std::move(device));
}

}  // namespace qmdc::visa
