// api.cpp - the exported VISA functions: argument checks, handle lookup and
// a guard so that no C++ exception leaves the library.
#include <cstdio>
#include <cstring>

#include "api_exports.h"  // first: the exports keep default visibility

#include "api_guard.h"
#include "api_services.h"
#include "event_context.h"
#include "handle_table.h"
#include "open_failure.h"
#include "rsrc_name.h"
#include "session.h"
#include "status_text.h"
#include "trace.h"
#include "transport.h"

using namespace qmdc::visa;

namespace {

std::unique_ptr<Transport> openTransport(const ResourceName& name, ViUInt32 timeout,
                                         ViStatus* status) {
    switch (name.kind) {
        case RsrcKind::TcpSocket:
            return openTcpSocket(name, timeout, status);
        case RsrcKind::Serial:
            return openSerial(name, status);
        case RsrcKind::Vxi11:
            return openVxi11(name, timeout, status);
        case RsrcKind::Hislip:
            return openHislip(name, timeout, status);
        case RsrcKind::Usbtmc:
            return openUsbtmc(name, status);
        default:
            *status = VI_ERROR_RSRC_NFOUND;
            return nullptr;
    }
}

ViStatus openSession(ViSession rm, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                     ViPSession vi) {
    HandleTable& table = HandleTable::instance();
    if (!table.isResourceManager(rm)) return VI_ERROR_INV_OBJECT;
    const ViAccessMode known = VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK | VI_LOAD_CONFIG;
    if ((mode & ~known) || ((mode & VI_EXCLUSIVE_LOCK) && (mode & VI_SHARED_LOCK)))
        return VI_ERROR_INV_ACC_MODE;
    ResourceName parsed;
    ViStatus status = parseResourceName(name, &parsed);
    if (status != VI_SUCCESS) return status;
    initTrace();
    startOpen();
    std::unique_ptr<Transport> transport = openTransport(parsed, timeout, &status);
    if (!transport) {
        const std::string& reason = finishFailedOpen(status);
        if (traceOn())
            traceTransfer(parsed.canonical.c_str(), "open",
                          reinterpret_cast<const ViByte*>(reason.data()), reason.size(), -1,
                          status);
        return status;
    }
    return addSession(rm, std::make_shared<Session>(std::move(transport), parsed), parsed, mode,
                      timeout, vi);
}

}  // namespace

extern "C" {

ViStatus _VI_FUNC viOpenDefaultRM(ViPSession vi) {
    if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    return guarded([&] { return HandleTable::instance().openResourceManager(vi); });
}

ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode, ViUInt32 timeout,
                         ViPSession vi) {
    if (vi == nullptr) return VI_ERROR_INV_PARAMETER;
    *vi = VI_NULL;
    return guarded([&] { return openSession(sesn, name, mode, timeout, vi); });
}

ViStatus _VI_FUNC viClose(ViObject vi) {
    return guarded([&] {
        if (isFindList(vi)) return closeFindList(vi);
        if (isEventContext(vi)) return closeEventContext(vi);
        closeFindListsOf(vi);
        return HandleTable::instance().close(vi);
    });
}

ViStatus _VI_FUNC viGetAttribute(ViObject vi, ViAttr attrName, void _VI_PTR attrValue) {
    return guarded([&]() -> ViStatus {
        if (HandleTable::instance().isResourceManager(vi))
            return getManagerAttribute(attrName, attrValue);
        if (isEventContext(vi)) return getEventAttribute(vi, attrName, attrValue);
        return withAnySession(vi, [&](Session& s) {
            const ViStatus status = getServiceAttribute(s, attrName, attrValue);
            return status != kNotAServiceAttribute ? status : s.getAttribute(attrName, attrValue);
        });
    });
}

ViStatus _VI_FUNC viSetAttribute(ViObject vi, ViAttr attrName, ViAttrState attrValue) {
    return guarded([&]() -> ViStatus {
        if (HandleTable::instance().isResourceManager(vi)) return VI_ERROR_NSUP_ATTR;
        if (isEventContext(vi))
            return attrName == VI_ATTR_EVENT_TYPE ? VI_ERROR_ATTR_READONLY : VI_ERROR_NSUP_ATTR;
        return withAnySession(vi, [&](Session& s) {
            const ViStatus status = setServiceAttribute(s, attrName, attrValue);
            return status != kNotAServiceAttribute ? status : s.setAttribute(attrName, attrValue);
        });
    });
}

ViStatus _VI_FUNC viStatusDesc(ViObject, ViStatus status, ViChar _VI_FAR desc[]) {
    if (desc == nullptr) return VI_ERROR_USER_BUF;
    if (const StatusText* text = findStatus(status)) {
        // After a failed open on this thread, its reason follows the text.
        const std::string& reason = openFailureReason(status);
        std::snprintf(desc, 256, "%s%s%s", text->text, reason.empty() ? "" : "  ", reason.c_str());
        return VI_SUCCESS;
    }
    std::snprintf(desc, 256, "Unknown status value 0x%08X.", static_cast<unsigned>(status));
    return VI_WARN_UNKNOWN_STATUS;
}

ViStatus _VI_FUNC viRead(ViSession vi, ViPBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    return withSession(vi, [&](Session& s) { return s.read(buf, cnt, retCnt); });
}

ViStatus _VI_FUNC viWrite(ViSession vi, ViConstBuf buf, ViUInt32 cnt, ViPUInt32 retCnt) {
    if (retCnt != nullptr) *retCnt = 0;
    return withSession(vi, [&](Session& s) { return s.write(buf, cnt, retCnt); });
}

ViStatus _VI_FUNC viFlush(ViSession vi, ViUInt16 mask) {
    return withSession(vi, [&](Session& s) { return s.flush(mask); });
}

ViStatus _VI_FUNC viClear(ViSession vi) {
    return withSession(vi, [&](Session& s) { return s.clear(); });
}

ViStatus _VI_FUNC viVPrintf(ViSession vi, ViConstString writeFmt, ViVAList params) {
    va_list ap;
    va_copy(ap, params);
    const ViStatus status = withSession(vi, [&](Session& s) { return s.printf(writeFmt, &ap); });
    va_end(ap);
    return status;
}

ViStatus _VI_FUNCC viPrintf(ViSession vi, ViConstString writeFmt, ...) {
    va_list ap;
    va_start(ap, writeFmt);
    const ViStatus status = withSession(vi, [&](Session& s) { return s.printf(writeFmt, &ap); });
    va_end(ap);
    return status;
}

ViStatus _VI_FUNC viVScanf(ViSession vi, ViConstString readFmt, ViVAList params) {
    va_list ap;
    va_copy(ap, params);
    const ViStatus status = withSession(vi, [&](Session& s) { return s.scanf(readFmt, &ap); });
    va_end(ap);
    return status;
}

ViStatus _VI_FUNCC viScanf(ViSession vi, ViConstString readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    const ViStatus status = withSession(vi, [&](Session& s) { return s.scanf(readFmt, &ap); });
    va_end(ap);
    return status;
}

ViStatus _VI_FUNC viVQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt,
                            ViVAList params) {
    va_list ap;
    va_copy(ap, params);
    const ViStatus status =
        withSession(vi, [&](Session& s) { return s.queryf(writeFmt, readFmt, &ap); });
    va_end(ap);
    return status;
}

ViStatus _VI_FUNCC viQueryf(ViSession vi, ViConstString writeFmt, ViConstString readFmt, ...) {
    va_list ap;
    va_start(ap, readFmt);
    const ViStatus status =
        withSession(vi, [&](Session& s) { return s.queryf(writeFmt, readFmt, &ap); });
    va_end(ap);
    return status;
}

}  // extern "C"
