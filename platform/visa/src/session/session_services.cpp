// session_services.cpp - the status byte, the trigger, remote/local control
// and the device lock: the transport's own where its protocol has them,
// 488.2 commands where the caller asked for that emulation
// (VI_ATTR_IO_PROT = VI_PROT_4882_STRS; not for remote/local control);
// switching events on and off.
#include <cstdarg>

#include "session.h"

namespace qmdc::visa {

namespace {

bool emulates4882(Services& services) {
    std::lock_guard<std::mutex> guard(services.mutex);
    return services.ioProt == VI_PROT_4882_STRS;
}

ViStatus queryWith(Session& s, const char* writeFmt, const char* readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    const ViStatus status = s.queryf(writeFmt, readFmt, &ap);
    va_end(ap);
    return status;
}

ViStatus printWith(Session& s, const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    const ViStatus status = s.printf(fmt, &ap);
    va_end(ap);
    return status;
}

}  // namespace

ViStatus Session::readStatusByte(ViUInt16* stb) {
    ViStatus status;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status = transferFailure(transport_->readStatusByte(stb, callDeadline()));
    }
    if (status != VI_ERROR_NSUP_OPER || !emulates4882(services)) return status;
    // "*STB?" answers a number 0..255; anything else is no status byte.
    ViInt32 value = -1;
    status = queryWith(*this, "*STB?\n", "%ld", &value);
    if (status < VI_SUCCESS) return status;
    if (value < 0 || value > 255) return VI_ERROR_IO;
    *stb = static_cast<ViUInt16>(value);
    return VI_SUCCESS;
}

ViStatus Session::assertTrigger() {
    ViStatus status;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        status = transferFailure(transport_->assertTrigger(callDeadline()));
    }
    if (status != VI_ERROR_NSUP_OPER || !emulates4882(services)) return status;
    return printWith(*this, "*TRG\n");
}

ViStatus Session::remoteLocal(ViUInt16 mode) {
    std::lock_guard<std::mutex> lock(mutex_);
    return transferFailure(transport_->remoteLocal(mode, callDeadline()));
}

ViStatus Session::lockDevice(ViAccessMode mode, const char* key, ViUInt32 timeoutMs) {
    std::lock_guard<std::mutex> lock(mutex_);
    return transferFailure(transport_->lockDevice(mode, key, timeoutMs));
}

ViStatus Session::unlockDevice() {
    std::lock_guard<std::mutex> lock(mutex_);
    return transferFailure(transport_->unlockDevice());
}

ViStatus Session::enableEvent(ViEventType type, ViUInt16 mechanism) {
    ViUInt32 maxQueue;
    {
        std::lock_guard<std::mutex> guard(services.mutex);
        maxQueue = services.maxQueueLength;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.enable(type, mechanism, maxQueue, callDeadline());
}

ViStatus Session::disableEvent(ViEventType type, ViUInt16 mechanism) {
    std::lock_guard<std::mutex> lock(mutex_);
    return events_.disable(type, mechanism);
}

}  // namespace qmdc::visa
