// handle_table.cpp - session handles and resource manager ownership.
#include "handle_table.h"

#include <vector>

#include "event_context.h"
#include "lock_table.h"

namespace qmdc::visa {

HandleTable& HandleTable::instance() {
    // Never destroyed: a thread may still close a session while the process exits.
    static HandleTable* table = new HandleTable;
    return *table;
}

ViStatus HandleTable::newHandle(ViSession* out) {
    if (next_ == 0) return VI_ERROR_ALLOC;
    *out = next_++;
    return VI_SUCCESS;
}

ViStatus HandleTable::openResourceManager(ViSession* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    const ViStatus status = newHandle(out);
    if (status == VI_SUCCESS) entries_.emplace(*out, Entry{0, nullptr});
    return status;
}

ViStatus HandleTable::add(ViSession rm, std::shared_ptr<Session> session, ViSession* out) {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!entries_.count(rm) || entries_[rm].owner != 0) return VI_ERROR_INV_OBJECT;
    const ViStatus status = newHandle(out);
    if (status == VI_SUCCESS) entries_.emplace(*out, Entry{rm, std::move(session)});
    return status;
}

std::shared_ptr<Session> HandleTable::find(ViSession vi) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(vi);
    return it == entries_.end() ? nullptr : it->second.session;
}

bool HandleTable::isResourceManager(ViSession vi) {
    std::lock_guard<std::mutex> lock(mutex_);
    const auto it = entries_.find(vi);
    return it != entries_.end() && it->second.owner == 0;
}

ViStatus HandleTable::close(ViSession vi) {
    std::vector<std::shared_ptr<Session>> closing;
    {
        std::lock_guard<std::mutex> lock(mutex_);
        const auto it = entries_.find(vi);
        if (it == entries_.end()) return VI_ERROR_INV_OBJECT;
        if (it->second.owner == 0) {
            for (auto e = entries_.begin(); e != entries_.end();) {
                if (e->second.owner == vi) {
                    closing.push_back(std::move(e->second.session));
                    e = entries_.erase(e);
                } else {
                    ++e;
                }
            }
        } else {
            closing.push_back(std::move(it->second.session));
        }
        entries_.erase(vi);
    }
    // Outside the lock: a session still in use elsewhere is woken up and
    // destroyed (its descriptor closed) when that call returns.
    // Its locks go at once, whoever else still uses the session object.
    for (auto& session : closing) {
        LockTable::instance().closed(session->services.lockKey, session->services.handle);
        closeEventContextsOf(session->services.handle);
        session->interrupt();
    }
    return VI_SUCCESS;
}

}  // namespace qmdc::visa
