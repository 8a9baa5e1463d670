// event_context.cpp - event handles, in a range of their own.
#include "event_context.h"

#include <map>
#include <mutex>

namespace qmdc::visa {

namespace {

// Sessions count up from 1 and find lists from 0x7F000001; events take the
// range between, and come round to its start after a billion events,
// skipping handles still open.
constexpr ViEvent kFirstEvent = 0x40000001u;
constexpr ViEvent kLastEvent = 0x7EFFFFFFu;

struct Contexts {
    std::mutex mutex;
    ViEvent next = kFirstEvent;
    struct Context {
        ViSession owner;
        ViEventType type;
    };
    std::map<ViEvent, Context> open;
};

Contexts& contexts() {
    static Contexts* all = new Contexts;  // a handler may still close one at exit
    return *all;
}

}  // namespace

ViStatus openEventContext(ViSession owner, ViEventType type, ViEvent* out) {
    Contexts& c = contexts();
    std::lock_guard<std::mutex> guard(c.mutex);
    if (c.open.size() > kLastEvent - kFirstEvent) return VI_ERROR_ALLOC;
    while (c.open.count(c.next)) c.next = c.next == kLastEvent ? kFirstEvent : c.next + 1;
    *out = c.next;
    c.next = c.next == kLastEvent ? kFirstEvent : c.next + 1;
    c.open[*out] = {owner, type};
    return VI_SUCCESS;
}

bool isEventContext(ViObject vi) {
    if (vi < kFirstEvent || vi > kLastEvent) return false;
    Contexts& c = contexts();
    std::lock_guard<std::mutex> guard(c.mutex);
    return c.open.count(vi) > 0;
}

ViStatus closeEventContext(ViObject vi) {
    Contexts& c = contexts();
    std::lock_guard<std::mutex> guard(c.mutex);
    return c.open.erase(vi) > 0 ? VI_SUCCESS : VI_ERROR_INV_OBJECT;
}

void closeEventContextsOf(ViSession owner) {
    Contexts& c = contexts();
    std::lock_guard<std::mutex> guard(c.mutex);
    for (auto it = c.open.begin(); it != c.open.end();)
        it = it->second.owner == owner ? c.open.erase(it) : std::next(it);
}

ViStatus getEventAttribute(ViObject vi, ViAttr attr, void* value) {
    Contexts& c = contexts();
    std::lock_guard<std::mutex> guard(c.mutex);
    const auto it = c.open.find(vi);
    if (it == c.open.end()) return VI_ERROR_INV_OBJECT;
    if (attr != VI_ATTR_EVENT_TYPE) return VI_ERROR_NSUP_ATTR;
    if (value == nullptr) return VI_ERROR_INV_PARAMETER;
    *static_cast<ViEventType*>(value) = it->second.type;
    return VI_SUCCESS;
}

}  // namespace qmdc::visa
