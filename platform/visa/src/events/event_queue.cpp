// event_queue.cpp - mechanisms, queue, handlers and the dispatcher thread.
#include "event_queue.h"

#include <algorithm>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>
#include <vector>

#include "event_context.h"

namespace qmdc::visa {

namespace {

constexpr ViUInt16 kMechanisms = VI_QUEUE | VI_HNDLR | VI_SUSPEND_HNDLR;

struct Handler {
    ViHndlr function;
    ViAddr userHandle;
};

// One event type the session can have.
struct TypeState {
    ViEventType type;
    ViUInt16 mechanisms = 0;        // VI_QUEUE | VI_HNDLR or VI_SUSPEND_HNDLR
    bool sourceOn = false;          // the transport is watching for it
    std::vector<Handler> handlers;  // in the order installed
    size_t suspended = 0;           // events kept while handlers are suspended
};

// viDisableEvent and viDiscardEvents take a mechanism mask; VI_ALL_MECH is
// every one.
bool validMask(ViUInt16 mechanism) {
    return mechanism == VI_ALL_MECH || (mechanism != 0 && !(mechanism & ~kMechanisms));
}

}  // namespace

struct EventQueue::State {
    std::mutex mutex;
    std::condition_variable changed;  // wakes waiters and the dispatcher
    std::vector<TypeState> types;
    std::deque<ViEventType> queue;  // for viWaitOnEvent, oldest first
    size_t maxQueue = 50;
    bool everEnabled = false;
    bool lost = false;  // the queue was full when an event came
    std::deque<ViEventType> toDispatch;
    bool closed = false;
    ViSession session = VI_NULL;

    TypeState* find(ViEventType type) {
        for (TypeState& t : types)
            if (t.type == type) return &t;
        return nullptr;
    }

    // From the transport's thread: queue the event for each enabled
    // mechanism; an event that finds the queue full, or no memory to be
    // kept in, is lost, and the next wait says so. Never throws: the
    // transport's thread has nowhere to send an exception.
    void post(ViEventType type) noexcept {
        std::lock_guard<std::mutex> guard(mutex);
        TypeState* t = find(type);
        if (closed || t == nullptr) return;
        try {
            if (t->mechanisms & VI_QUEUE) {
                if (queue.size() < maxQueue)
                    queue.push_back(type);
                else
                    lost = true;
            }
            if (t->mechanisms & VI_HNDLR) toDispatch.push_back(type);
        } catch (const std::bad_alloc&) {
            lost = true;
        }
        if (t->mechanisms & VI_SUSPEND_HNDLR) ++t->suspended;
        changed.notify_all();
    }

    // The dispatcher: calls the handlers of each event, newest installed
    // first, until one answers VI_SUCCESS_NCHAIN. Each call gets a context of
    // its own, closed when the handler returns.
    static void dispatch(std::shared_ptr<State> self) {
        std::unique_lock<std::mutex> lock(self->mutex);
        for (;;) {
            self->changed.wait(lock, [&] { return self->closed || !self->toDispatch.empty(); });
            if (self->closed) return;
            const ViEventType type = self->toDispatch.front();
            self->toDispatch.pop_front();
            const TypeState* t = self->find(type);
            if (t == nullptr || !(t->mechanisms & VI_HNDLR)) continue;
            const std::vector<Handler> handlers = t->handlers;
            const ViSession session = self->session;
            lock.unlock();
            for (auto h = handlers.rbegin(); h != handlers.rend(); ++h) {
                ViEvent context = VI_NULL;
                if (openEventContext(session, type, &context) != VI_SUCCESS) break;
                const ViStatus answer = h->function(session, type, context, h->userHandle);
                closeEventContext(context);
                if (answer == VI_SUCCESS_NCHAIN) break;
            }
            lock.lock();
        }
    }
};

EventQueue::EventQueue(Transport& transport)
    : transport_(transport), state_(std::make_shared<State>()) {
    if (transport.deliversServiceRequests()) {
        TypeState serviceRequests;
        serviceRequests.type = VI_EVENT_SERVICE_REQ;
        state_->types.push_back(serviceRequests);
    }
}

EventQueue::~EventQueue() {
    close();
    if (!dispatcher_.joinable()) return;
    // The last user of a session may be its own handler (it closed the
    // session and then made one more call): the thread cannot join itself,
    // and it only touches the shared state from here on.
    if (dispatcher_.get_id() == std::this_thread::get_id())
        dispatcher_.detach();
    else
        dispatcher_.join();
}

ViStatus EventQueue::checkType(ViEventType type) const {
    std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->find(type) ? VI_SUCCESS : VI_ERROR_INV_EVENT;
}

bool EventQueue::everEnabled() const {
    std::lock_guard<std::mutex> guard(state_->mutex);
    return state_->everEnabled;
}

void EventQueue::setSessionHandle(ViSession vi) {
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->session = vi;
}

ViStatus EventQueue::startSource(ViEventType type, const Deadline& deadline) {
    // Only service requests come from the instrument.
    if (type != VI_EVENT_SERVICE_REQ) return VI_SUCCESS;
    std::weak_ptr<State> state = state_;
    return transport_.startServiceRequests(
        [state] {
            if (const auto s = state.lock()) s->post(VI_EVENT_SERVICE_REQ);
        },
        deadline);
}

ViStatus EventQueue::startDispatcher() {
    try {
        dispatcher_ = std::thread(&State::dispatch, state_);
    } catch (const std::system_error&) {
        return VI_ERROR_SYSTEM_ERROR;
    } catch (const std::bad_alloc&) {
        return VI_ERROR_ALLOC;
    }
    return VI_SUCCESS;
}

void EventQueue::stopSource(ViEventType type) {
    if (type == VI_EVENT_SERVICE_REQ) transport_.stopServiceRequests();
}

ViStatus EventQueue::enable(ViEventType type, ViUInt16 mechanism, ViUInt32 maxQueue,
                            const Deadline& deadline) {
    if (mechanism == 0 || (mechanism & ~kMechanisms) ||
        ((mechanism & VI_HNDLR) && (mechanism & VI_SUSPEND_HNDLR)))
        return VI_ERROR_INV_MECH;
    bool startIt = false;
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        if (state_->closed) return VI_ERROR_ABORT;
        TypeState* t = state_->find(type);
        if (t == nullptr) return VI_ERROR_INV_EVENT;
        if ((mechanism & VI_HNDLR) && t->handlers.empty()) return VI_ERROR_HNDLR_NINSTALLED;
        startIt = !t->sourceOn;
    }
    // Outside the lock: asking the instrument takes time, and its first
    // service request may come before the answer.
    if (startIt) {
        const ViStatus started = startSource(type, deadline);
        if (started < VI_SUCCESS) return started;
    }
    // The dispatcher comes before any change, so that a thread the system
    // refuses leaves the session as it was, not with handlers enabled and
    // nothing to call them. Enables are never concurrent (the session's lock).
    if ((mechanism & VI_HNDLR) && !dispatcher_.joinable()) {
        const ViStatus started = startDispatcher();
        if (started != VI_SUCCESS) {
            if (startIt) stopSource(type);
            return started;
        }
    }
    std::lock_guard<std::mutex> guard(state_->mutex);
    TypeState& t = *state_->find(type);
    t.sourceOn = true;
    if (!state_->everEnabled) {
        state_->everEnabled = true;
        state_->maxQueue = maxQueue;
    }
    const bool already = (t.mechanisms & mechanism) != 0;
    t.mechanisms |= mechanism;
    if (mechanism & VI_HNDLR) {
        // Handlers back from suspension get what came meanwhile.
        t.mechanisms &= ~VI_SUSPEND_HNDLR;
        state_->toDispatch.insert(state_->toDispatch.end(), t.suspended, type);
        t.suspended = 0;
        state_->changed.notify_all();
    }
    if (mechanism & VI_SUSPEND_HNDLR) t.mechanisms &= ~VI_HNDLR;
    return already ? VI_SUCCESS_EVENT_EN : VI_SUCCESS;
}

ViStatus EventQueue::disable(ViEventType type, ViUInt16 mechanism) {
    if (!validMask(mechanism)) return VI_ERROR_INV_MECH;
    std::vector<ViEventType> toStop;
    bool changedAny = false;
    {
        std::lock_guard<std::mutex> guard(state_->mutex);
        if (type != VI_ALL_ENABLED_EVENTS && !state_->find(type)) return VI_ERROR_INV_EVENT;
        for (TypeState& t : state_->types) {
            if (type != VI_ALL_ENABLED_EVENTS && t.type != type) continue;
            const ViUInt16 off = t.mechanisms & mechanism;
            changedAny = changedAny || off != 0;
            t.mechanisms &= ~off;
            if (off & VI_HNDLR) {
                auto& d = state_->toDispatch;
                d.erase(std::remove(d.begin(), d.end(), t.type), d.end());
            }
            if (t.mechanisms == 0 && t.sourceOn) {
                t.sourceOn = false;
                toStop.push_back(t.type);
            }
        }
    }
    // Outside the lock: stopping waits for a delivery in progress, which
    // takes the lock.
    for (ViEventType t : toStop) stopSource(t);
    return changedAny ? VI_SUCCESS : VI_SUCCESS_EVENT_DIS;
}

ViStatus EventQueue::discard(ViEventType type, ViUInt16 mechanism) {
    if (!validMask(mechanism)) return VI_ERROR_INV_MECH;
    std::lock_guard<std::mutex> guard(state_->mutex);
    if (type != VI_ALL_ENABLED_EVENTS && !state_->find(type)) return VI_ERROR_INV_EVENT;
    const auto matches = [type](ViEventType t) {
        return type == VI_ALL_ENABLED_EVENTS || t == type;
    };
    const auto drop = [&](std::deque<ViEventType>& d) {
        const auto end = std::remove_if(d.begin(), d.end(), matches);
        const bool any = end != d.end();
        d.erase(end, d.end());
        return any;
    };
    bool any = false;
    if (mechanism & VI_QUEUE) {
        any = drop(state_->queue) || any;
        if (type == VI_ALL_ENABLED_EVENTS) state_->lost = false;
    }
    if (mechanism & VI_HNDLR) any = drop(state_->toDispatch) || any;
    if (mechanism & VI_SUSPEND_HNDLR) {
        for (TypeState& t : state_->types) {
            if (!matches(t.type)) continue;
            any = any || t.suspended != 0;
            t.suspended = 0;
        }
    }
    return any ? VI_SUCCESS : VI_SUCCESS_QUEUE_EMPTY;
}

ViStatus EventQueue::wait(ViEventType type, ViUInt32 timeoutMs, ViEventType* outType) {
    const Deadline deadline = Deadline::after(timeoutMs);
    State& s = *state_;
    std::unique_lock<std::mutex> lock(s.mutex);
    if (type != VI_ALL_ENABLED_EVENTS && !s.find(type)) return VI_ERROR_INV_EVENT;
    const auto matches = [type](ViEventType t) {
        return type == VI_ALL_ENABLED_EVENTS || t == type;
    };
    const auto queued = [&] { return std::find_if(s.queue.begin(), s.queue.end(), matches); };
    // Events queued before their type was switched off can still be taken.
    const bool enabled = std::any_of(s.types.begin(), s.types.end(), [&](const TypeState& t) {
        return matches(t.type) && (t.mechanisms & VI_QUEUE);
    });
    if (!enabled && queued() == s.queue.end()) return VI_ERROR_NENABLED;
    const auto ready = [&] { return s.closed || queued() != s.queue.end(); };
    if (deadline.infinite())
        s.changed.wait(lock, ready);
    else
        s.changed.wait_until(lock, deadline.at(), ready);
    if (s.closed) return VI_ERROR_ABORT;
    const auto it = queued();
    if (it == s.queue.end()) return VI_ERROR_TMO;
    *outType = *it;
    s.queue.erase(it);
    if (s.lost) {
        s.lost = false;
        return VI_WARN_QUEUE_OVERFLOW;
    }
    return queued() != s.queue.end() ? VI_SUCCESS_QUEUE_NEMPTY : VI_SUCCESS;
}

ViStatus EventQueue::installHandler(ViEventType type, ViHndlr handler, ViAddr userHandle) {
    std::lock_guard<std::mutex> guard(state_->mutex);
    TypeState* t = state_->find(type);
    if (t == nullptr) return VI_ERROR_INV_EVENT;
    t->handlers.push_back({handler, userHandle});
    return VI_SUCCESS;
}

ViStatus EventQueue::uninstallHandler(ViEventType type, ViHndlr handler, ViAddr userHandle) {
    std::lock_guard<std::mutex> guard(state_->mutex);
    TypeState* t = state_->find(type);
    if (t == nullptr) return VI_ERROR_INV_EVENT;
    auto& hs = t->handlers;
    if (handler == VI_ANY_HNDLR) {
        hs.clear();
        return VI_SUCCESS;
    }
    // The one installed last with this function and user handle.
    for (auto h = hs.rbegin(); h != hs.rend(); ++h) {
        if (h->function == handler && h->userHandle == userHandle) {
            hs.erase(std::next(h).base());
            return VI_SUCCESS;
        }
    }
    return VI_ERROR_INV_HNDLR_REF;
}

void EventQueue::close() {
    std::lock_guard<std::mutex> guard(state_->mutex);
    state_->closed = true;
    state_->changed.notify_all();
}

}  // namespace qmdc::visa
