// session.h - an instrument session: VISA message semantics over a transport.
#pragma once

#include <atomic>
#include <cstdarg>
#include <memory>
#include <mutex>
#include <string>

#include "deadline.h"
#include "event_queue.h"
#include "rsrc_name.h"
#include "services.h"
#include "transport.h"
#include "visa.h"

namespace qmdc::visa {

// Size of the pending input and of each formatted I/O buffer.
constexpr size_t kBufferSize = 4096;
// VI_ATTR_RSRC_IMPL_VERSION: 1.0.0.
constexpr ViUInt32 kImplVersion = 0x00100000;

class Session {
  public:
    Session(std::unique_ptr<Transport> transport, const ResourceName& name);
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    ViStatus getAttribute(ViAttr attr, void* value);
    ViStatus setAttribute(ViAttr attr, ViAttrState value);
    ViStatus read(ViByte* buf, ViUInt32 count, ViUInt32* retCount);
    ViStatus write(const ViByte* buf, ViUInt32 count, ViUInt32* retCount);
    ViStatus flush(ViUInt16 mask);
    ViStatus clear();
    ViStatus printf(const char* fmt, va_list* ap);
    ViStatus scanf(const char* fmt, va_list* ap);
    ViStatus queryf(const char* writeFmt, const char* readFmt, va_list* ap);
    // Called by viClose while another thread may still be blocked here: that
    // call, and any later one, ends with VI_ERROR_ABORT.
    void interrupt() {
        closed_ = true;
        events_.close();
        transport_->interrupt();
    }

    // viEnableEvent / viDisableEvent: under the session's lock, since asking
    // the instrument for service requests takes the connection. Waits and
    // handlers go to events() directly: a wait must not keep I/O out.
    ViStatus enableEvent(ViEventType type, ViUInt16 mechanism);
    ViStatus disableEvent(ViEventType type, ViUInt16 mechanism);
    EventQueue& events() { return events_; }

    // The operations some interfaces carry in their protocol (transport.h);
    // with VI_ATTR_IO_PROT = VI_PROT_4882_STRS, "*STB?" and "*TRG" stand in
    // for the status byte and the trigger on the others.
    ViStatus readStatusByte(ViUInt16* stb);
    ViStatus assertTrigger();
    // viGpibControlREN: a VI_GPIB_REN_* mode, where the protocol has it.
    ViStatus remoteLocal(ViUInt16 mode);
    ViStatus lockDevice(ViAccessMode mode, const char* key, ViUInt32 timeoutMs);
    ViStatus unlockDevice();
    // viBufWrite / viBufRead: bytes into the formatted write buffer, out of
    // the formatted read buffer, under the same flush rules as viPrintf and
    // viScanf.
    ViStatus bufWrite(const ViByte* buf, ViUInt32 count, ViUInt32* retCount);
    ViStatus bufRead(ViByte* buf, ViUInt32 count, ViUInt32* retCount);
    // viSetBuf: flushes the buffers named; their size is fixed (kBufferSize).
    ViStatus setBuf(ViUInt16 mask, ViUInt32 size);

    Services services;

  private:
    class FormattedInput;

    // Reads until END (VI_SUCCESS_TERM_CHAR, or VI_SUCCESS when END is not
    // the enabled termination character), the count (VI_SUCCESS_MAX_CNT) or,
    // with `anyData`, as soon as some bytes were delivered (VI_SUCCESS).
    ViStatus readSome(ViByte* buf, size_t count, const Deadline& deadline, bool anyData,
                      size_t* got, bool* end);
    // Every public operation takes one deadline when it starts and passes it
    // to each transfer it makes, so that one timeout bounds the whole call.
    Deadline callDeadline() const { return Deadline::after(timeoutMs_); }
    // Sends one message; with `end`, the transport's END marker follows.
    ViStatus send(const ViByte* buf, size_t len, bool end, const Deadline& deadline, size_t* sent);
    ViStatus flushWriteBuffer(bool end, const Deadline& deadline);
    // Sends every whole buffer's worth of the write buffer, without END.
    ViStatus sendFullBuffers(const Deadline& deadline);
    ViStatus printLocked(const char* fmt, va_list* ap, bool forceFlush, const Deadline& deadline);
    ViStatus scanLocked(const char* fmt, va_list* ap, const Deadline& deadline);
    // Appends the next bytes from the transport to the formatted read buffer
    // (it must have room).
    ViStatus fillReadBuffer(const Deadline& deadline);
    bool unreadIsBlank() const;
    // The message in the formatted read buffer has come to its END and only
    // blanks (its terminator) are left of it: it is used up.
    bool readBufferFinished() const { return rdEnd_ && unreadIsBlank(); }
    // Run before a scan takes its first byte. When the last scan stopped
    // inside a message with only blanks unread, whether that message is
    // used up depends on what follows: reads on until END (the message is
    // dropped and the scan starts on the next one) or until something else
    // (the scan goes on in this message). So "1.5\r" now and "\n" later
    // ends the same way as "1.5\r\n" at once.
    ViStatus settleReadBuffer(const Deadline& deadline);
    void discardReadBuffer();
    void discardInput();
    // Drops the pending input, here and in the transport.
    void discardPending();
    size_t pendingCount() const { return pendingEnd_ - pendingBegin_; }

    // A call that failed because viClose woke it was aborted, whatever the
    // transport saw; any other status passes unchanged.
    ViStatus transferFailure(ViStatus status) const {
        return status < VI_SUCCESS && closed_ ? VI_ERROR_ABORT : status;
    }

    std::mutex mutex_;  // one operation at a time
    std::atomic<bool> closed_{false};
    const std::unique_ptr<Transport> transport_;
    // Declared after the transport, so destroyed before it: the handlers
    // stop before the connection closes.
    EventQueue events_{*transport_};
    const std::string rsrcName_;
    const AttrScope scope_;
    const ViUInt16 intfNum_;

    ViUInt32 timeoutMs_ = 2000;
    ViUInt8 termchar_ = '\n';
    bool termcharEn_ = false;
    bool sendEnd_ = true;
    ViUInt16 rdBufMode_ = VI_FLUSH_DISABLE;
    ViUInt16 wrBufMode_ = VI_FLUSH_WHEN_FULL;

    // Received bytes not yet handed out (e.g. those after a termination
    // character), so that no read loses what the next one needs.
    ViByte pending_[kBufferSize];
    size_t pendingBegin_ = 0, pendingEnd_ = 0;
    // The protocol's END follows the last pending byte (not yet reported).
    bool pendingEndsMessage_ = false;

    // Formatted read buffer: rdBuf_[rdPos_, rdLen_) is unread; rdEnd_ means
    // the message ends after rdBuf_[rdLen_ - 1].
    ViByte rdBuf_[kBufferSize];
    size_t rdPos_ = 0, rdLen_ = 0;
    bool rdEnd_ = false;

    // Every answer asked for has been read to its END and nothing received is
    // left over, so no stale input can be waiting: a query then need not
    // drain the connection first (one system call less per query). Any
    // write of a query (a message with '?'), timeout, error or partly read
    // message clears it.
    bool inStep_ = false;

    std::string wrBuf_;    // formatted write buffer
    std::string scratch_;  // output of one viPrintf, kept for its capacity
};

}  // namespace qmdc::visa
