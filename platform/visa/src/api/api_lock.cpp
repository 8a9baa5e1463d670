// api_lock.cpp - viLock, viUnlock and the lock modes of viOpen.
#include "api_exports.h"  // first: the exports keep default visibility
#include <cstdio>
#include <string>

#include "api_guard.h"
#include "api_services.h"
#include "deadline.h"

using namespace qmdc::visa;

namespace qmdc::visa {

ViStatus addSession(ViSession rm, std::shared_ptr<Session> session, const ResourceName& name,
                    ViAccessMode mode, ViUInt32 timeoutMs, ViSession* vi) {
    // A serial line has several names (ASRL1, ASRL/dev/ttyS0): its lock is
    // the device's.
    const std::string& key = name.kind == RsrcKind::Serial ? name.device : name.canonical;
    session->services.lockKey = key;
    session->services.kind = name.kind;
    LockTable& locks = LockTable::instance();
    locks.opened(key);
    HandleTable& table = HandleTable::instance();
    ViStatus status = table.add(rm, session, vi);
    if (status != VI_SUCCESS) {
        locks.closed(key, VI_NULL);
        return status;
    }
    session->services.handle = *vi;
    session->events().setSessionHandle(*vi);
    const ViAccessMode lockMode = mode & (VI_EXCLUSIVE_LOCK | VI_SHARED_LOCK);
    if (lockMode == VI_NO_LOCK) return VI_SUCCESS;
    // viOpen's timeout is how long to wait for the lock.
    std::string accessKey;
    status = locks.lock(key, *vi, lockMode, timeoutMs, nullptr, &accessKey);
    if (status >= VI_SUCCESS) return VI_SUCCESS;
    table.close(*vi);
    *vi = VI_NULL;
    return status == VI_ERROR_TMO ? VI_ERROR_RSRC_LOCKED : status;
}

}  // namespace qmdc::visa

extern "C" {

ViStatus _VI_FUNC viLock(ViSession vi, ViAccessMode lockType, ViUInt32 timeout,
                         ViKeyId requestedKey, ViChar _VI_FAR accessKey[]) {
    return withAnySession(vi, [&](Session& s) -> ViStatus {
        if (lockType == VI_SHARED_LOCK && accessKey == nullptr) return VI_ERROR_INV_PARAMETER;
        LockTable& locks = LockTable::instance();
        const std::string& rsrc = s.services.lockKey;
        // One timeout for the wait here and the instrument's own lock.
        const Deadline deadline = Deadline::after(timeout);
        std::string key;
        ViStatus status = locks.lock(rsrc, vi, lockType, timeout, requestedKey, &key);
        // Not waiting at all, the lock was simply taken; waiting, time ran out.
        if (status < VI_SUCCESS)
            return status == VI_ERROR_TMO && timeout == VI_TMO_IMMEDIATE ? VI_ERROR_RSRC_LOCKED
                                                                         : status;
        // The instrument's own lock (VXI-11, HiSLIP), waiting at the
        // instrument for what is left of the timeout: taken with the first
        // lock this session holds, and again as an exclusive one when a
        // session that shares the resource takes the exclusive lock (VXI-11
        // instruments know no shared lock; a HiSLIP server upgrades).
        const bool upgrade = lockType == VI_EXCLUSIVE_LOCK && status == VI_SUCCESS;
        if (locks.held(rsrc, vi) == 1 || upgrade) {
            const ViStatus device = s.lockDevice(lockType, key.c_str(), deadline.remainingVisaMs());
            if (device < VI_SUCCESS) {
                locks.unlock(rsrc, vi);
                return device;
            }
        }
        if (lockType == VI_SHARED_LOCK) std::snprintf(accessKey, 256, "%s", key.c_str());
        return status;
    });
}

ViStatus _VI_FUNC viUnlock(ViSession vi) {
    return withAnySession(vi, [&](Session& s) -> ViStatus {
        LockTable& locks = LockTable::instance();
        const std::string& rsrc = s.services.lockKey;
        // With the session's last lock goes the instrument's, and with its
        // last exclusive one the instrument's exclusive lock (back to the
        // shared lock taken before it: a HiSLIP server releases the exclusive
        // lock first). The instrument's goes first: a session waiting here
        // for the lock goes to the instrument as soon as it has it, and must
        // not find the old lock still there.
        const bool last = locks.held(rsrc, vi) == 1;
        const bool lastExclusive = locks.latest(rsrc, vi) == VI_EXCLUSIVE_LOCK &&
                                   locks.held(rsrc, vi, VI_EXCLUSIVE_LOCK) == 1;
        const ViStatus device = last || lastExclusive ? s.unlockDevice() : VI_SUCCESS;
        const ViStatus status = locks.unlock(rsrc, vi);
        return status >= VI_SUCCESS && device < VI_SUCCESS ? device : status;
    });
}

}  // extern "C"
