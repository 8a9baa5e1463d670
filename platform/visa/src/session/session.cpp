// session.cpp - termination, timeouts, buffers and formatted I/O of a session.
#include "session.h"

#include <algorithm>
#include <cstring>

#include "attributes.h"
#include "fmt_print.h"
#include "fmt_scan.h"
#include "fmt_conversion.h"
#include "trace.h"

namespace qmdc::visa {

// Feeds the scanner from the formatted read buffer, refilling it from the
// transport when it runs dry before END.
class Session::FormattedInput final : public ScanInput {
  public:
    FormattedInput(Session& s, const Deadline& deadline) : s_(s), deadline_(deadline) {}

    int peek() override {
        if (!settled_) {
            settled_ = true;
            const ViStatus status = s_.settleReadBuffer(deadline_);
            if (status < VI_SUCCESS) {
                failure_ = status;
                return kFail;
            }
        }
        while (s_.rdPos_ == s_.rdLen_) {
            if (s_.rdEnd_) return kEnd;
            if (failure_ != VI_SUCCESS) return kFail;
            s_.rdPos_ = s_.rdLen_ = 0;
            const ViStatus status = s_.fillReadBuffer(deadline_);
            if (status < VI_SUCCESS) failure_ = status;
        }
        return s_.rdBuf_[s_.rdPos_];
    }
    void advance() override { ++s_.rdPos_; }
    ViStatus failure() const override { return failure_; }

  private:
    Session& s_;
    const Deadline& deadline_;
    bool settled_ = false;  // settleReadBuffer() ran for this scan
    ViStatus failure_ = VI_SUCCESS;
};

namespace {

AttrScope scopeOf(RsrcKind kind) {
    switch (kind) {
        case RsrcKind::TcpSocket:
            return AttrScope::Socket;
        case RsrcKind::Vxi11:
        case RsrcKind::Hislip:
            return AttrScope::TcpInstr;
        case RsrcKind::Usbtmc:
            return AttrScope::Usb;
        default:
            return AttrScope::Serial;
    }
}

}  // namespace

Session::Session(std::unique_ptr<Transport> transport, const ResourceName& name)
    : transport_(std::move(transport)),
      rsrcName_(name.canonical),
      scope_(scopeOf(name.kind)),
      intfNum_(name.board) {}

ViStatus Session::getAttribute(ViAttr attr, void* value) {
    if (value == nullptr) return VI_ERROR_USER_BUF;
    const AttrDesc* desc = findAttr(attr);
    if (desc == nullptr || !attrApplies(*desc, scope_)) return VI_ERROR_NSUP_ATTR;
    std::lock_guard<std::mutex> lock(mutex_);
    AttrValue v;
    switch (attr) {
        case VI_ATTR_RSRC_NAME:
            v.setString(rsrcName_.c_str());
            break;
        case VI_ATTR_RSRC_CLASS:
            v.setString(scope_ == AttrScope::Socket ? "SOCKET" : "INSTR");
            break;
        case VI_ATTR_RSRC_IMPL_VERSION:
            v.num = kImplVersion;
            break;
        case VI_ATTR_RSRC_LOCK_STATE:
            v.num = VI_NO_LOCK;
            break;
        case VI_ATTR_INTF_TYPE:
            v.num = scope_ == AttrScope::Serial ? VI_INTF_ASRL
                    : scope_ == AttrScope::Usb  ? VI_INTF_USB
                                                : VI_INTF_TCPIP;
            break;
        case VI_ATTR_INTF_NUM:
            v.num = intfNum_;
            break;
        case VI_ATTR_TMO_VALUE:
            v.num = timeoutMs_;
            break;
        case VI_ATTR_TERMCHAR:
            v.num = termchar_;
            break;
        case VI_ATTR_TERMCHAR_EN:
            v.num = termcharEn_;
            break;
        case VI_ATTR_SEND_END_EN:
            v.num = sendEnd_;
            break;
        case VI_ATTR_IO_PROT:
            v.num = VI_PROT_NORMAL;
            break;
        case VI_ATTR_RD_BUF_OPER_MODE:
            v.num = rdBufMode_;
            break;
        case VI_ATTR_WR_BUF_OPER_MODE:
            v.num = wrBufMode_;
            break;
        case VI_ATTR_RD_BUF_SIZE:
        case VI_ATTR_WR_BUF_SIZE:
            v.num = kBufferSize;
            break;
        default: {
            const ViStatus status = transport_->getAttribute(attr, &v);
            if (status < VI_SUCCESS) return status;
            if (attr == VI_ATTR_ASRL_AVAIL_NUM) v.num += static_cast<ViUInt32>(pendingCount());
        }
    }
    storeAttrValue(*desc, v, value);
    return VI_SUCCESS;
}

ViStatus Session::setAttribute(ViAttr attr, ViAttrState value) {
    const AttrDesc* desc = findAttr(attr);
    if (desc == nullptr || !attrApplies(*desc, scope_)) return VI_ERROR_NSUP_ATTR;
    if (!desc->writable) return VI_ERROR_ATTR_READONLY;
    ViUInt32 v = 0;
    const ViStatus narrowed = narrowAttrValue(*desc, value, &v);
    if (narrowed != VI_SUCCESS) return narrowed;
    std::lock_guard<std::mutex> lock(mutex_);
    switch (attr) {
        case VI_ATTR_TMO_VALUE:
            timeoutMs_ = v;
            return VI_SUCCESS;
        // The transport hears of the termination character too: an interface
        // whose instrument can end a reply at it (USBTMC) is told.
        case VI_ATTR_TERMCHAR:
            termchar_ = static_cast<ViUInt8>(v);
            transport_->setAttribute(attr, v);
            return VI_SUCCESS;
        case VI_ATTR_TERMCHAR_EN:
            termcharEn_ = v != 0;
            transport_->setAttribute(attr, v);
            return VI_SUCCESS;
        case VI_ATTR_SEND_END_EN:
            sendEnd_ = v != 0;
            return VI_SUCCESS;
        case VI_ATTR_IO_PROT:
            return v == VI_PROT_NORMAL ? VI_SUCCESS : VI_ERROR_NSUP_ATTR_STATE;
        case VI_ATTR_RD_BUF_OPER_MODE:
            if (v != VI_FLUSH_ON_ACCESS && v != VI_FLUSH_DISABLE) return VI_ERROR_NSUP_ATTR_STATE;
            rdBufMode_ = static_cast<ViUInt16>(v);
            return VI_SUCCESS;
        case VI_ATTR_WR_BUF_OPER_MODE:
            if (v != VI_FLUSH_ON_ACCESS && v != VI_FLUSH_WHEN_FULL) return VI_ERROR_NSUP_ATTR_STATE;
            wrBufMode_ = static_cast<ViUInt16>(v);
            return VI_SUCCESS;
        default:
            return transport_->setAttribute(attr, v);
    }
}

ViStatus Session::readSome(ViByte* buf, size_t count, const Deadline& deadline, bool anyData,
                           size_t* got, bool* end) {
    const EndRules rules = transport_->endRules();
    const bool termEnds = termcharEn_ || rules.termcharEndsRead;
    *got = 0;
    *end = false;
    if (count == 0) return VI_SUCCESS_MAX_CNT;
    for (;;) {
        if (pendingCount() > 0 || pendingEndsMessage_) {
            const ViByte* from = pending_ + pendingBegin_;
            size_t n = std::min(pendingCount(), count - *got);
            if (termEnds) {
                if (const void* hit = std::memchr(from, termchar_, n)) {
                    n = static_cast<size_t>(static_cast<const ViByte*>(hit) - from) + 1;
                    *end = true;
                }
            }
            std::memcpy(buf + *got, from, n);
            pendingBegin_ += n;
            *got += n;
            // The protocol's END with the termination character is one end, not two.
            if (*end && pendingCount() == 0) pendingEndsMessage_ = false;
            if (*end) return termcharEn_ ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS;
            if (pendingEndsMessage_ && pendingCount() == 0) {
                pendingEndsMessage_ = false;  // the protocol's END, reported once
                *end = true;
                return VI_SUCCESS;
            }
            if (*got == count) return VI_SUCCESS_MAX_CNT;
            if (rules.pauseEndsRead) {
                *end = true;
                return VI_SUCCESS;
            }
            if (anyData) return VI_SUCCESS;
        }
        pendingBegin_ = pendingEnd_ = 0;
        size_t n = 0;
        const ViStatus status =
            transport_->readMessage(pending_, kBufferSize, deadline, &n, &pendingEndsMessage_);
        if (status < VI_SUCCESS) return transferFailure(status);
        pendingEnd_ = n;
    }
}

ViStatus Session::read(ViByte* buf, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    if (buf == nullptr && count > 0) return VI_ERROR_USER_BUF;
    std::lock_guard<std::mutex> lock(mutex_);
    size_t got = 0;
    bool end = false;
    const ViStatus status = readSome(buf, count, callDeadline(), false, &got, &end);
    inStep_ = status >= VI_SUCCESS && end && pendingCount() == 0;
    if (traceOn()) traceTransfer(rsrcName_.c_str(), "read", buf, got, -1, status);
    if (retCount != nullptr) *retCount = static_cast<ViUInt32>(got);
    return status;
}

ViStatus Session::send(const ViByte* buf, size_t len, bool end, const Deadline& deadline,
                       size_t* sent) {
    // The instrument may answer what is sent now, unless it is no query: a
    // message without '?' has no answer (IEEE 488.2), so a command leaves
    // the session in step and the query after it need not drain first.
    if (std::memchr(buf, '?', len) != nullptr) inStep_ = false;
    ViStatus status = transport_->writeMessage(buf, len, end && sendEnd_, deadline, sent);
    const bool appendTermchar = end && sendEnd_ && transport_->endRules().termcharOnWrite;
    if (status == VI_SUCCESS && appendTermchar) {
        size_t one = 0;
        status = transport_->write(&termchar_, 1, deadline, &one);
    }
    status = transferFailure(status);
    if (traceOn())
        traceTransfer(rsrcName_.c_str(), "write", buf, *sent, appendTermchar ? termchar_ : -1,
                      status);
    return status;
}

ViStatus Session::write(const ViByte* buf, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    if (buf == nullptr && count > 0) return VI_ERROR_USER_BUF;
    std::lock_guard<std::mutex> lock(mutex_);
    size_t sent = 0;
    const ViStatus status = send(buf, count, true, callDeadline(), &sent);
    if (retCount != nullptr) *retCount = static_cast<ViUInt32>(sent);
    return status;
}

ViStatus Session::flushWriteBuffer(bool end, const Deadline& deadline) {
    if (wrBuf_.empty()) return VI_SUCCESS;
    size_t sent = 0;
    const ViStatus status =
        send(reinterpret_cast<const ViByte*>(wrBuf_.data()), wrBuf_.size(), end, deadline, &sent);
    wrBuf_.clear();  // also after a failure: the next command must not carry this one's rest
    return status;
}

void Session::discardReadBuffer() {
    rdPos_ = rdLen_ = 0;
    rdEnd_ = false;
}

void Session::discardPending() {
    pendingBegin_ = pendingEnd_ = 0;
    pendingEndsMessage_ = false;
    transport_->discardInput();
}

void Session::discardInput() {
    discardReadBuffer();
    discardPending();
    inStep_ = true;
}

ViStatus Session::flush(ViUInt16 mask) {
    const auto both = [mask](unsigned a, unsigned b) { return (mask & a) && (mask & b); };
    if (mask == 0 || (mask & ~0xFFu) || both(VI_READ_BUF, VI_READ_BUF_DISCARD) ||
        both(VI_WRITE_BUF, VI_WRITE_BUF_DISCARD) || both(VI_IO_IN_BUF, VI_IO_IN_BUF_DISCARD) ||
        both(VI_IO_OUT_BUF, VI_IO_OUT_BUF_DISCARD))
        return VI_ERROR_INV_MASK;
    std::lock_guard<std::mutex> lock(mutex_);
    const Deadline deadline = callDeadline();
    ViStatus status = VI_SUCCESS;
    if (mask & VI_WRITE_BUF_DISCARD) wrBuf_.clear();
    if (mask & VI_WRITE_BUF) status = flushWriteBuffer(true, deadline);
    if (mask & VI_READ_BUF) {
        // Inside a message that has not ended: read on to its END so that
        // the next scan starts on a fresh message.
        const bool midMessage = rdLen_ > 0 && !rdEnd_;
        discardReadBuffer();
        for (bool end = !midMessage; !end && status >= VI_SUCCESS;) {
            size_t got = 0;
            status = readSome(rdBuf_, kBufferSize, deadline, true, &got, &end);
        }
        discardReadBuffer();
    }
    if (mask & VI_READ_BUF_DISCARD) discardReadBuffer();
    if (mask & (VI_IO_IN_BUF | VI_IO_IN_BUF_DISCARD)) discardPending();
    return status < VI_SUCCESS ? status : VI_SUCCESS;
}

ViStatus Session::clear() {
    std::lock_guard<std::mutex> lock(mutex_);
    wrBuf_.clear();
    discardInput();
    // The protocol's device clear, where it has one, also empties the
    // instrument's buffers and drops what was on its way.
    return transferFailure(transport_->deviceClear(callDeadline()));
}

ViStatus Session::printLocked(const char* fmt, va_list* ap, bool forceFlush,
                              const Deadline& deadline) {
    scratch_.clear();
    const ViStatus status = printFormat(scratch_, fmt, ap);
    if (status != VI_SUCCESS) return status;
    wrBuf_ += scratch_;
    // A format that ends in a linefeed ends the message (END).
    const bool end = forceFlush || (*fmt != '\0' && fmt[std::strlen(fmt) - 1] == '\n');
    if (end || wrBufMode_ == VI_FLUSH_ON_ACCESS) return flushWriteBuffer(end, deadline);
    return sendFullBuffers(deadline);
}

ViStatus Session::sendFullBuffers(const Deadline& deadline) {
    // Full: every whole buffer's worth leaves now, without END, in one
    // transfer (cutting a long text buffer by buffer would move the rest of
    // it each time); what is left waits for more.
    const size_t full = wrBuf_.size() - wrBuf_.size() % kBufferSize;
    if (full == 0) return VI_SUCCESS;
    size_t sent = 0;
    const ViStatus sendStatus =
        send(reinterpret_cast<const ViByte*>(wrBuf_.data()), full, false, deadline, &sent);
    if (sendStatus < VI_SUCCESS) {
        wrBuf_.clear();
        return sendStatus;
    }
    wrBuf_.erase(0, full);
    return VI_SUCCESS;
}

ViStatus Session::bufWrite(const ViByte* buf, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    if (buf == nullptr && count > 0) return VI_ERROR_USER_BUF;
    std::lock_guard<std::mutex> lock(mutex_);
    const Deadline deadline = callDeadline();
    wrBuf_.append(reinterpret_cast<const char*>(buf), count);
    const ViStatus status = wrBufMode_ == VI_FLUSH_ON_ACCESS ? flushWriteBuffer(false, deadline)
                                                             : sendFullBuffers(deadline);
    if (status >= VI_SUCCESS && retCount != nullptr) *retCount = count;
    return status;
}

ViStatus Session::bufRead(ViByte* buf, ViUInt32 count, ViUInt32* retCount) {
    if (retCount != nullptr) *retCount = 0;
    if (buf == nullptr && count > 0) return VI_ERROR_USER_BUF;
    std::lock_guard<std::mutex> lock(mutex_);
    const Deadline deadline = callDeadline();
    FormattedInput input(*this, deadline);
    ViUInt32 got = 0;
    ViStatus status = VI_SUCCESS_MAX_CNT;
    while (got < count) {
        const int c = input.peek();
        if (c == ScanInput::kEnd) {
            status = termcharEn_ ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS;
            break;
        }
        if (c == ScanInput::kFail) {
            status = input.failure();
            break;
        }
        buf[got++] = static_cast<ViByte>(c);
        input.advance();
    }
    if (status < VI_SUCCESS || rdPos_ == rdLen_ || rdBufMode_ == VI_FLUSH_ON_ACCESS) {
        if (rdEnd_ && rdPos_ == rdLen_ && status == VI_SUCCESS_MAX_CNT)
            status = termcharEn_ ? VI_SUCCESS_TERM_CHAR : VI_SUCCESS;
        if (rdEnd_ || status < VI_SUCCESS || rdBufMode_ == VI_FLUSH_ON_ACCESS) discardReadBuffer();
    }
    inStep_ = false;
    if (retCount != nullptr) *retCount = got;
    return status;
}

ViStatus Session::setBuf(ViUInt16 mask, ViUInt32 size) {
    const unsigned known = VI_READ_BUF | VI_WRITE_BUF | VI_IO_IN_BUF | VI_IO_OUT_BUF;
    if (mask == 0 || (mask & ~known)) return VI_ERROR_INV_MASK;
    std::lock_guard<std::mutex> lock(mutex_);
    ViStatus status = VI_SUCCESS;
    if (mask & VI_WRITE_BUF) status = flushWriteBuffer(false, callDeadline());
    if (mask & VI_READ_BUF) discardReadBuffer();
    if (status < VI_SUCCESS) return status;
    // The formatted buffers keep their size; the low-level ones are the
    // operating system's.
    const bool formatted = mask & (VI_READ_BUF | VI_WRITE_BUF);
    if ((formatted && size != kBufferSize) || (mask & (VI_IO_IN_BUF | VI_IO_OUT_BUF)))
        return VI_WARN_NSUP_BUF;
    return VI_SUCCESS;
}

ViStatus Session::fillReadBuffer(const Deadline& deadline) {
    ViByte* const to = rdBuf_ + rdLen_;
    size_t got = 0;
    bool end = false;
    const ViStatus status = readSome(to, kBufferSize - rdLen_, deadline, true, &got, &end);
    if (traceOn()) traceTransfer(rsrcName_.c_str(), "read", to, got, -1, status);
    rdLen_ += got;
    rdEnd_ = end;
    return status;
}

bool Session::unreadIsBlank() const {
    const auto blank = [](ViByte c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
    return std::all_of(rdBuf_ + rdPos_, rdBuf_ + rdLen_, blank);
}

ViStatus Session::settleReadBuffer(const Deadline& deadline) {
    // rdLen_ > 0 without END: the last scan stopped inside a message.
    while (rdLen_ > 0 && !rdEnd_ && unreadIsBlank()) {
        // The blanks stay (a "%c" may want them), moved to the front to make
        // room for what comes next.
        const size_t unread = rdLen_ - rdPos_;
        std::memmove(rdBuf_, rdBuf_ + rdPos_, unread);
        rdPos_ = 0;
        rdLen_ = unread;
        if (rdLen_ == kBufferSize) return VI_SUCCESS;  // a buffer of blanks is content
        const ViStatus status = fillReadBuffer(deadline);
        if (status < VI_SUCCESS) return status;
    }
    if (readBufferFinished()) discardReadBuffer();
    return VI_SUCCESS;
}

ViStatus Session::scanLocked(const char* fmt, va_list* ap, const Deadline& deadline) {
    FormattedInput input(*this, deadline);
    const ViStatus status = scanFormat(input, fmt, ap);
    // A message whose END has come is used up once its conversions have
    // taken everything but its terminator: the next scan starts on the next
    // message. Kept, the linefeed "%lf" leaves would be the whole of the
    // next scan's input, which would end at once and store nothing.
    const bool finished = readBufferFinished();
    inStep_ = status >= VI_SUCCESS && finished && pendingCount() == 0;
    if (status == VI_ERROR_TMO || status == VI_ERROR_CONN_LOST || status == VI_ERROR_IO ||
        finished || rdBufMode_ == VI_FLUSH_ON_ACCESS)
        discardReadBuffer();  // a broken or finished message is used up
    return status;
}

ViStatus Session::printf(const char* fmt, va_list* ap) {
    std::lock_guard<std::mutex> lock(mutex_);
    return printLocked(fmt, ap, false, callDeadline());
}

ViStatus Session::scanf(const char* fmt, va_list* ap) {
    std::lock_guard<std::mutex> lock(mutex_);
    return scanLocked(fmt, ap, callDeadline());
}

ViStatus Session::queryf(const char* writeFmt, const char* readFmt, va_list* ap) {
    // Both formats are checked before the command leaves, so that a bad scan
    // format cannot strand an answer.
    ViStatus status = checkFormat(readFmt, FmtMode::Scan);
    if (status != VI_SUCCESS) return status;
    std::lock_guard<std::mutex> lock(mutex_);
    const Deadline deadline = callDeadline();  // one timeout for the question and its answer
    // An answer that came after an earlier timeout, or the answer to a
    // question written without reading it, is not this one's; nor is what a
    // scan left in the read buffer, which costs nothing to drop.
    if (inStep_) {
        discardReadBuffer();
    } else {
        discardInput();
    }
    // Its answer is read next: a peer that has closed shows there, so the
    // command's write need not ask first.
    transport_->answerReadNext(true);
    status = printLocked(writeFmt, ap, true, deadline);
    transport_->answerReadNext(false);  // when nothing was written
    if (status < VI_SUCCESS) return status;
    return scanLocked(readFmt, ap, deadline);
}

}  // namespace qmdc::visa
