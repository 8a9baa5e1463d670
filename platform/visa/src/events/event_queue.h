// event_queue.h - the events of one session: the mechanisms enabled for
// each type, the queue viWaitOnEvent takes from, the handlers and the thread
// that calls them.
//
// Events come from the transport's own thread (a service request arriving);
// post() only queues them. Handlers run on a dispatcher thread of the
// session's, never on the transport's, so a handler may use the session
// (read the status byte) while the transport goes on watching.
#pragma once

#include <memory>
#include <thread>

#include "deadline.h"
#include "transport.h"
#include "visa.h"

namespace qmdc::visa {

class EventQueue {
  public:
    explicit EventQueue(Transport& transport);
    ~EventQueue();
    EventQueue(const EventQueue&) = delete;
    EventQueue& operator=(const EventQueue&) = delete;

    // viEnableEvent / viDisableEvent / viDiscardEvents. Enabling and
    // disabling may talk to the instrument (asking it for service requests),
    // so the session runs them under its lock. `maxQueue` is
    // VI_ATTR_MAX_QUEUE_LENGTH, fixed at the first enable.
    ViStatus enable(ViEventType type, ViUInt16 mechanism, ViUInt32 maxQueue,
                    const Deadline& deadline);
    ViStatus disable(ViEventType type, ViUInt16 mechanism);
    ViStatus discard(ViEventType type, ViUInt16 mechanism);
    // Whether an event was ever enabled (VI_ATTR_MAX_QUEUE_LENGTH is then
    // read-only).
    bool everEnabled() const;

    // viWaitOnEvent: the oldest queued event of `type` (or of any type for
    // VI_ALL_ENABLED_EVENTS) within `timeoutMs`.
    ViStatus wait(ViEventType type, ViUInt32 timeoutMs, ViEventType* outType);

    ViStatus installHandler(ViEventType type, ViHndlr handler, ViAddr userHandle);
    ViStatus uninstallHandler(ViEventType type, ViHndlr handler, ViAddr userHandle);

    // The session's handle, passed to handlers (set by viOpen).
    void setSessionHandle(ViSession vi);
    // viClose: waits in progress end with VI_ERROR_ABORT and handlers are
    // no longer called (the transport's interrupt(), which viClose calls
    // next, ends its watch). Safe from any thread, including a handler's.
    void close();

    // The event types this session can have: VI_ERROR_INV_EVENT for others.
    ViStatus checkType(ViEventType type) const;

  private:
    struct State;
    ViStatus startSource(ViEventType type, const Deadline& deadline);
    void stopSource(ViEventType type);
    // VI_ERROR_SYSTEM_ERROR or VI_ERROR_ALLOC when no thread can be made.
    ViStatus startDispatcher();

    Transport& transport_;
    const std::shared_ptr<State> state_;  // shared with the dispatcher and the sources
    std::thread dispatcher_;              // started by the first VI_HNDLR enable
};

}  // namespace qmdc::visa
