// usbtmc_device.h - one USBTMC interface as the transport sees it: the
// operations of the kernel's usbtmc device file (/dev/usbtmcN).
//
// Why the kernel's driver and not libusb: it needs no extra library, the
// kernel already carries out the USBTMC bulk protocol (message headers,
// bTag, aborts and clears on a stalled or timed-out transfer), and access
// to /dev/usbtmcN is granted by udev rules like that of a serial port,
// without a detach of the kernel driver.
//
// The transport is written against this interface only, so that tests run
// it against a scripted device model; the real one is usbtmc_device.cpp.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "visa.h"

namespace qmdc::visa {

class WakeSignal;

class UsbtmcDevice {
  public:
    virtual ~UsbtmcDevice() = default;

    // Each call below waits at most this long for the instrument.
    virtual ViStatus setTimeout(ViUInt32 ms) = 0;
    // Asks the instrument to end a reply at `ch` when `enabled` (if it can).
    virtual ViStatus setTermChar(ViByte ch, bool enabled) = 0;
    // One read of at most `cap` bytes of the instrument's reply; *end tells
    // that they end its message (a short transfer or the END flag).
    // VI_SUCCESS, VI_ERROR_TMO, VI_ERROR_CONN_LOST, VI_ERROR_IO.
    virtual ViStatus read(ViByte* buf, size_t cap, size_t* got, bool* end) = 0;
    // Sends `len` bytes of a message, with END after them when `end`.
    virtual ViStatus write(const ViByte* buf, size_t len, bool end, size_t* sent) = 0;
    virtual ViStatus clear() = 0;
    virtual ViStatus readStb(ViByte* stb) = 0;
    virtual ViStatus trigger() = 0;
    // USBTMC488 REN_CONTROL (remote enable on/off), GO_TO_LOCAL and
    // LOCAL_LOCKOUT.
    virtual ViStatus renControl(bool enable) = 0;
    virtual ViStatus gotoLocal() = 0;
    virtual ViStatus localLockout() = 0;
    // From another thread: ends a read or write in progress at once.
    virtual void cancel() = 0;

    // Service requests, which the instrument sends on its interrupt
    // endpoint. Whether they can come here: the instrument says it requests
    // service (USB488 SR1), it has the endpoint, and the system passes them on.
    virtual bool canRequestService() = 0;
    // Waits until the instrument requests service, or until `wake` is
    // raised: VI_SUCCESS once per request, VI_ERROR_ABORT when woken,
    // VI_ERROR_CONN_LOST (or VI_ERROR_IO) when the device fails. A request
    // stays pending until this call or a status byte read takes it, so one
    // that came before the wait started is reported by it. Runs on a thread
    // of its own, beside the calls above.
    virtual ViStatus awaitServiceRequest(const WakeSignal& wake) = 0;
};

// Opens the device file; null and *status (VI_ERROR_RSRC_NFOUND,
// VI_ERROR_RSRC_BUSY, VI_ERROR_NPERMISSION) on failure.
std::unique_ptr<UsbtmcDevice> openUsbtmcDevice(const std::string& path, ViStatus* status);

}  // namespace qmdc::visa
