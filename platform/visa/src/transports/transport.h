// transport.h - the byte pipe under a session (socket, serial line, ...).
//
// The session above keeps the VISA semantics (termination, buffers,
// formatted I/O); a transport only moves bytes within a deadline and owns
// the attributes of its interface. Platform code lives in its own folders
// (posix/, win32/); what a SOCKET resource is on every platform is written
// once, in tcp_transport.*, over the socket calls of socket_api.h.
#pragma once

#include <cstddef>
#include <functional>
#include <memory>

#include "attributes.h"
#include "deadline.h"
#include "rsrc_name.h"
#include "visa.h"

namespace qmdc::visa {

// How the transport marks message ends (END) beyond VI_ATTR_TERMCHAR_EN.
struct EndRules {
    bool termcharEndsRead = false;  // serial END_IN termchar
    bool termcharOnWrite = false;   // serial END_OUT termchar
    bool pauseEndsRead = false;     // socket with SUPPRESS_END_EN off
};

class Transport {
  public:
    virtual ~Transport() = default;

    // The deadline is that of the whole VISA call: a call that makes several
    // transfers passes the same one to each, so that one timeout bounds it.
    //
    // Waits until input is there (or the deadline passes), then reads at most
    // `cap` bytes: VI_SUCCESS with *got > 0, VI_ERROR_TMO, VI_ERROR_CONN_LOST
    // or VI_ERROR_IO.
    virtual ViStatus read(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got) = 0;
    // Sends all `len` bytes unless the deadline passes or the line fails;
    // *sent counts the bytes that left.
    virtual ViStatus write(const ViByte* buf, size_t len, const Deadline& deadline,
                           size_t* sent) = 0;
    // The same for interfaces whose protocol marks the end of a message
    // (HiSLIP DataEnd, VXI-11 END): *end tells that the bytes delivered end
    // one, and may come with *got == 0 (an empty last part). A byte stream
    // has no such mark and leaves *end false.
    virtual ViStatus readMessage(ViByte* buf, size_t cap, const Deadline& deadline, size_t* got,
                                 bool* end) {
        *end = false;
        return read(buf, cap, deadline, got);
    }
    // Sends `len` bytes of a message; `end` asks for the protocol's END after
    // the last of them. A byte stream just writes.
    virtual ViStatus writeMessage(const ViByte* buf, size_t len, bool /*end*/,
                                  const Deadline& deadline, size_t* sent) {
        return write(buf, len, deadline, sent);
    }
    // The next write is a question whose answer the caller reads at once, in
    // the same call: a lost connection shows in that read, so a transport
    // that asks before each write whether its peer has closed (a socket
    // session) may skip asking for that write. The write clears it; a caller
    // whose write did not happen clears it itself.
    virtual void answerReadNext(bool /*yes*/) {}
    // Drops input that has already arrived, without waiting for more.
    virtual void discardInput() = 0;
    // Ends every wait of this transport, the one another thread may be
    // blocked in now and any to come, at once with VI_ERROR_CONN_LOST, even
    // under an infinite timeout; later reads and writes fail the same way.
    // Called by viClose from another thread than the one that may be inside
    // read() or write(), so it must be safe against them (an implementation
    // polls a wake signal beside the device, or closes the socket's traffic).
    virtual void interrupt() = 0;
    virtual EndRules endRules() const = 0;

    // Attributes of the interface; VI_ERROR_NSUP_ATTR for others.
    virtual ViStatus getAttribute(ViAttr attr, AttrValue* out) = 0;
    virtual ViStatus setAttribute(ViAttr attr, ViUInt32 value) = 0;

    // Operations that only some interfaces carry in their protocol (VXI-11,
    // HiSLIP, USBTMC). The defaults say the interface has no such thing;
    // the session decides what a call means without it (a socket's clear
    // only drops the session's buffers and unread input).

    // The instrument's status byte, as the protocol delivers it.
    virtual ViStatus readStatusByte(ViUInt16* /*stb*/, const Deadline& /*deadline*/) {
        return VI_ERROR_NSUP_OPER;
    }
    virtual ViStatus assertTrigger(const Deadline& /*deadline*/) { return VI_ERROR_NSUP_OPER; }
    // The protocol's device clear; VI_SUCCESS where the interface has none.
    virtual ViStatus deviceClear(const Deadline& /*deadline*/) { return VI_SUCCESS; }
    // The protocol's own lock on the instrument (exclusive, or shared with
    // `accessKey`), held until unlockDevice; VI_SUCCESS where there is none,
    // since the library's own lock table still applies.
    virtual ViStatus lockDevice(ViAccessMode /*mode*/, const char* /*accessKey*/,
                                ViUInt32 /*timeoutMs*/) {
        return VI_SUCCESS;
    }
    virtual ViStatus unlockDevice() { return VI_SUCCESS; }
    // VI_GPIB_REN_* style remote/local control.
    virtual ViStatus remoteLocal(ViUInt16 /*mode*/, const Deadline& /*deadline*/) {
        return VI_ERROR_NSUP_OPER;
    }

    // Service requests, where the protocol delivers them (HiSLIP's
    // AsyncServiceRequest, the VXI-11 interrupt channel, the USBTMC interrupt
    // endpoint). startServiceRequests asks the instrument for them and starts
    // watching: `raised` is then called once per request, from a thread of
    // the transport's own, until stopServiceRequests() returns (it waits for
    // a call of `raised` in progress). `raised` only queues the event and
    // returns, and never throws; the transport holds none of its locks while
    // it calls it.
    // Called under the session's lock, never concurrently with each other;
    // the destructor stops a watch still running.
    using ServiceRequestSink = std::function<void()>;
    virtual bool deliversServiceRequests() const { return false; }
    virtual ViStatus startServiceRequests(ServiceRequestSink /*raised*/,
                                          const Deadline& /*deadline*/) {
        return VI_ERROR_NSUP_OPER;
    }
    virtual void stopServiceRequests() {}
};

// Implemented by the platform's transport files. On failure they return
// null and set *status (VI_ERROR_RSRC_NFOUND, ...).
std::unique_ptr<Transport> openTcpSocket(const ResourceName& name, ViUInt32 openTimeoutMs,
                                         ViStatus* status);
std::unique_ptr<Transport> openSerial(const ResourceName& name, ViStatus* status);
// TCPIP INSTR resources (VXI-11, HiSLIP) and USB INSTR (USBTMC); each lives in
// its own files with its protocol codec kept apart from the socket code.
std::unique_ptr<Transport> openVxi11(const ResourceName& name, ViUInt32 openTimeoutMs,
                                     ViStatus* status);
std::unique_ptr<Transport> openHislip(const ResourceName& name, ViUInt32 openTimeoutMs,
                                      ViStatus* status);
std::unique_ptr<Transport> openUsbtmc(const ResourceName& name, ViStatus* status);

}  // namespace qmdc::visa
