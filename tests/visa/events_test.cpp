// The event queue of a session against a transport whose service requests
// the test raises: mechanisms, queue, handlers, overflow and close, as scripts
// of calls and the statuses they must give.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "event_context.h"
#include "event_queue.h"

namespace qmdc::visa {
namespace {

// Delivers a service request each time the test calls raise(), while a watch
// is started; counts the starts and stops.
class SrqTransport final : public Transport {
  public:
    ViStatus startStatus = VI_SUCCESS;
    int starts = 0, stops = 0;

    void raise() {
        std::lock_guard<std::mutex> guard(mutex_);
        if (sink_) sink_();
    }

    bool deliversServiceRequests() const override { return true; }
    ViStatus startServiceRequests(ServiceRequestSink raised, const Deadline&) override {
        ++starts;
        if (startStatus < VI_SUCCESS) return startStatus;
        std::lock_guard<std::mutex> guard(mutex_);
        sink_ = std::move(raised);
        return VI_SUCCESS;
    }
    void stopServiceRequests() override {
        ++stops;
        std::lock_guard<std::mutex> guard(mutex_);
        sink_ = nullptr;
    }

    ViStatus read(ViByte*, size_t, const Deadline&, size_t*) override { return VI_ERROR_TMO; }
    ViStatus write(const ViByte*, size_t, const Deadline&, size_t*) override {
        return VI_ERROR_TMO;
    }
    void discardInput() override {}
    void interrupt() override {}
    EndRules endRules() const override { return {}; }
    ViStatus getAttribute(ViAttr, AttrValue*) override { return VI_ERROR_NSUP_ATTR; }
    ViStatus setAttribute(ViAttr, ViUInt32) override { return VI_ERROR_NSUP_ATTR; }

  private:
    std::mutex mutex_;
    ServiceRequestSink sink_;
};

// What the handlers saw; each handler's user handle points at one.
struct Calls {
    std::mutex mutex;
    std::condition_variable changed;
    int count = 0;
    ViStatus answer = VI_SUCCESS;
    ViEventType contextType = 0;  // VI_ATTR_EVENT_TYPE of the context it got
    ViEvent lastContext = VI_NULL;
    ViUInt16 stb = 0;  // read by readStatusInHandler

    bool waitFor(int n) {
        std::unique_lock<std::mutex> lock(mutex);
        return changed.wait_for(lock, std::chrono::seconds(5), [&] { return count >= n; });
    }
};

ViStatus _VI_FUNCH recordCall(ViSession, ViEventType, ViEvent context, ViAddr user) {
    Calls& calls = *static_cast<Calls*>(user);
    std::lock_guard<std::mutex> guard(calls.mutex);
    getEventAttribute(context, VI_ATTR_EVENT_TYPE, &calls.contextType);
    calls.lastContext = context;
    ++calls.count;
    calls.changed.notify_all();
    return calls.answer;
}

constexpr ViEventType kSrq = VI_EVENT_SERVICE_REQ;
constexpr ViEventType kAll = VI_ALL_ENABLED_EVENTS;

enum class Op {
    Enable,     // type, mechanism
    Disable,    // type, mechanism
    Discard,    // type, mechanism
    Raise,      // `mechanism` times
    Wait,       // type, timeout 0
    Install,    // handler `mechanism` (0 or 1)
    Uninstall,  // handler `mechanism` (0, 1; 2: VI_ANY_HNDLR)
    Handled,    // handler `mechanism` has been called `expect` times by now (or within 5 s)
    Starts,     // the transport was started `expect` times and stopped `mechanism` times
};

struct Step {
    Op op;
    ViEventType type;
    ViUInt16 mechanism;
    ViStatus expect;
};

struct Script {
    const char* name;
    ViUInt32 maxQueue;
    ViStatus startStatus;
    std::vector<Step> steps;
};

const Script kScripts[] = {
    {"queue delivers each request once",
     50,
     VI_SUCCESS,
     {{Op::Enable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Wait, kSrq, 0, VI_SUCCESS},
      {Op::Wait, kSrq, 0, VI_ERROR_TMO},
      {Op::Raise, 0, 2, 0},
      {Op::Wait, kAll, 0, VI_SUCCESS_QUEUE_NEMPTY},
      {Op::Wait, kAll, 0, VI_SUCCESS},
      {Op::Wait, kAll, 0, VI_ERROR_TMO}}},
    {"enabling twice says so; the watch starts once",
     50,
     VI_SUCCESS,
     {{Op::Enable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Enable, kSrq, VI_QUEUE, VI_SUCCESS_EVENT_EN},
      {Op::Install, kSrq, 0, VI_SUCCESS},
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Starts, 0, 0, 1},
      {Op::Disable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Starts, 0, 0, 1},
      {Op::Disable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Starts, 0, 1, 1},
      {Op::Disable, kAll, VI_ALL_MECH, VI_SUCCESS_EVENT_DIS}}},
    {"arguments refused before anything is started",
     50,
     VI_SUCCESS,
     {{Op::Enable, kSrq, 0, VI_ERROR_INV_MECH},
      {Op::Enable, kSrq, VI_HNDLR | VI_SUSPEND_HNDLR, VI_ERROR_INV_MECH},
      {Op::Enable, kSrq, 8, VI_ERROR_INV_MECH},
      {Op::Enable, kSrq, VI_ALL_MECH, VI_ERROR_INV_MECH},
      {Op::Disable, kSrq, 0, VI_ERROR_INV_MECH},
      {Op::Discard, kSrq, 16, VI_ERROR_INV_MECH},
      {Op::Enable, kSrq, VI_HNDLR, VI_ERROR_HNDLR_NINSTALLED},
      {Op::Enable, VI_EVENT_IO_COMPLETION, VI_QUEUE, VI_ERROR_INV_EVENT},
      {Op::Enable, kAll, VI_QUEUE, VI_ERROR_INV_EVENT},
      {Op::Wait, VI_EVENT_TRIG, 0, VI_ERROR_INV_EVENT},
      {Op::Install, VI_EVENT_CLEAR, 0, VI_ERROR_INV_EVENT},
      {Op::Wait, kSrq, 0, VI_ERROR_NENABLED},
      {Op::Wait, kAll, 0, VI_ERROR_NENABLED},
      {Op::Starts, 0, 0, 0}}},
    {"a watch that cannot start enables nothing",
     50,
     VI_ERROR_CONN_LOST,
     {{Op::Enable, kSrq, VI_QUEUE, VI_ERROR_CONN_LOST},
      {Op::Wait, kSrq, 0, VI_ERROR_NENABLED},
      {Op::Disable, kAll, VI_ALL_MECH, VI_SUCCESS_EVENT_DIS}}},
    {"events queued before disabling can still be taken",
     50,
     VI_SUCCESS,
     {{Op::Enable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Disable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Wait, kSrq, 0, VI_SUCCESS},
      {Op::Wait, kSrq, 0, VI_ERROR_NENABLED}}},
    {"discarding empties the queue once",
     50,
     VI_SUCCESS,
     {{Op::Enable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Raise, 0, 3, 0},
      {Op::Discard, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Discard, kAll, VI_ALL_MECH, VI_SUCCESS_QUEUE_EMPTY},
      {Op::Wait, kSrq, 0, VI_ERROR_TMO}}},
    {"a full queue loses the newest and the next wait says so",
     2,
     VI_SUCCESS,
     {{Op::Enable, kSrq, VI_QUEUE, VI_SUCCESS},
      {Op::Raise, 0, 3, 0},
      {Op::Wait, kSrq, 0, VI_WARN_QUEUE_OVERFLOW},
      {Op::Wait, kSrq, 0, VI_SUCCESS},
      {Op::Wait, kSrq, 0, VI_ERROR_TMO}}},
    {"handlers and the queue both get each event once",
     50,
     VI_SUCCESS,
     {{Op::Install, kSrq, 0, VI_SUCCESS},
      {Op::Install, kSrq, 1, VI_SUCCESS},
      {Op::Enable, kSrq, VI_HNDLR | VI_QUEUE, VI_SUCCESS},
      {Op::Raise, 0, 2, 0},
      {Op::Handled, 0, 0, 2},
      {Op::Handled, 0, 1, 2},
      {Op::Wait, kSrq, 0, VI_SUCCESS_QUEUE_NEMPTY}}},
    {"a handler answering VI_SUCCESS_NCHAIN ends the chain",
     50,
     VI_SUCCESS,
     {{Op::Install, kSrq, 0, VI_SUCCESS},
      {Op::Install, kSrq, 2, VI_SUCCESS},  // handler 2 answers VI_SUCCESS_NCHAIN
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Handled, 0, 2, 1},
      {Op::Raise, 0, 1, 0},
      {Op::Handled, 0, 2, 2},
      {Op::Handled, 0, 0, 0}}},
    {"suspended handlers get what came meanwhile when resumed",
     50,
     VI_SUCCESS,
     {{Op::Install, kSrq, 0, VI_SUCCESS},
      {Op::Enable, kSrq, VI_SUSPEND_HNDLR, VI_SUCCESS},
      {Op::Raise, 0, 2, 0},
      {Op::Handled, 0, 0, 0},
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Handled, 0, 0, 2},
      {Op::Enable, kSrq, VI_SUSPEND_HNDLR, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Discard, kSrq, VI_SUSPEND_HNDLR, VI_SUCCESS},
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Handled, 0, 0, 3}}},
    // The dispatcher already waits (handlers were enabled) when the suspended event is let
    // go: re-enabling must wake it, with no other event to do so.
    {"a dispatcher waiting already is woken by the resume",
     50,
     VI_SUCCESS,
     {{Op::Install, kSrq, 0, VI_SUCCESS},
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Enable, kSrq, VI_SUSPEND_HNDLR, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Handled, 0, 0, 0},
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Handled, 0, 0, 1}}},
    {"uninstalling",
     50,
     VI_SUCCESS,
     {{Op::Uninstall, kSrq, 0, VI_ERROR_INV_HNDLR_REF},
      {Op::Install, kSrq, 0, VI_SUCCESS},
      {Op::Install, kSrq, 1, VI_SUCCESS},
      {Op::Uninstall, kSrq, 1, VI_SUCCESS},
      {Op::Uninstall, kSrq, 1, VI_ERROR_INV_HNDLR_REF},
      {Op::Enable, kSrq, VI_HNDLR, VI_SUCCESS},
      {Op::Raise, 0, 1, 0},
      {Op::Handled, 0, 0, 1},
      {Op::Uninstall, kSrq, 2, VI_SUCCESS},
      {Op::Enable, kSrq, VI_HNDLR, VI_ERROR_HNDLR_NINSTALLED}}},
};

TEST(VisaEvents, ScriptsGiveTheStandardStatuses) {
    for (const Script& script : kScripts) {
        SCOPED_TRACE(script.name);
        SrqTransport transport;
        transport.startStatus = script.startStatus;
        Calls calls[3];
        calls[2].answer = VI_SUCCESS_NCHAIN;
        {
            EventQueue events(transport);
            events.setSessionHandle(7);
            const Deadline deadline = Deadline::after(1000);
            for (size_t i = 0; i < script.steps.size(); ++i) {
                const Step& s = script.steps[i];
                SCOPED_TRACE(::testing::Message() << "step " << i);
                ViEventType got = 0;
                Calls& c = calls[s.mechanism % 3];
                const ViAddr user = &c;
                const ViHndlr handler =
                    s.mechanism == 2 && s.op == Op::Uninstall ? VI_ANY_HNDLR : recordCall;
                switch (s.op) {
                    case Op::Enable:
                        EXPECT_EQ(events.enable(s.type, s.mechanism, script.maxQueue, deadline),
                                  s.expect);
                        break;
                    case Op::Disable:
                        EXPECT_EQ(events.disable(s.type, s.mechanism), s.expect);
                        break;
                    case Op::Discard:
                        EXPECT_EQ(events.discard(s.type, s.mechanism), s.expect);
                        break;
                    case Op::Raise:
                        for (int n = 0; n < s.mechanism; ++n) transport.raise();
                        break;
                    case Op::Wait:
                        EXPECT_EQ(events.wait(s.type, 0, &got), s.expect);
                        EXPECT_EQ(got, s.expect >= VI_SUCCESS ? kSrq : 0u);
                        break;
                    case Op::Install:
                        EXPECT_EQ(events.installHandler(s.type, recordCall, user), s.expect);
                        break;
                    case Op::Uninstall:
                        EXPECT_EQ(events.uninstallHandler(s.type, handler, user), s.expect);
                        break;
                    case Op::Handled:
                        EXPECT_TRUE(c.waitFor(s.expect));
                        // Give a wrong extra call the time to show.
                        std::this_thread::sleep_for(std::chrono::milliseconds(20));
                        {
                            std::lock_guard<std::mutex> guard(c.mutex);
                            EXPECT_EQ(c.count, s.expect);
                            if (c.count > 0) {
                                EXPECT_EQ(c.contextType, kSrq);
                                // The context went when the handler returned.
                                EXPECT_FALSE(isEventContext(c.lastContext));
                            }
                        }
                        break;
                    case Op::Starts:
                        EXPECT_EQ(transport.starts, s.expect);
                        EXPECT_EQ(transport.stops, s.mechanism);
                        break;
                }
            }
        }
    }
}

// Close ends a wait with no time limit, and a handler that closes its own
// session's queue (as viClose from a handler does) neither hangs nor crashes.
TEST(VisaEvents, CloseEndsWaitsAndHandlers) {
    SrqTransport transport;
    auto events = std::make_unique<EventQueue>(transport);
    ASSERT_EQ(events->enable(kSrq, VI_QUEUE, 50, Deadline::after(1000)), VI_SUCCESS);
    std::atomic<ViStatus> waited{VI_SUCCESS};
    std::thread waiter([&] {
        ViEventType got = 0;
        waited = events->wait(kSrq, VI_TMO_INFINITE, &got);
    });
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    events->close();
    waiter.join();
    EXPECT_EQ(waited.load(), VI_ERROR_ABORT);
    transport.raise();  // after close: dropped
    ViEventType got = 0;
    EXPECT_EQ(events->wait(kSrq, 0, &got), VI_ERROR_ABORT);
    EXPECT_EQ(events->enable(kSrq, VI_QUEUE, 50, Deadline::after(1000)), VI_ERROR_ABORT);

    // The queue destroyed from inside its own handler.
    struct Owner {
        std::unique_ptr<EventQueue> queue;
        std::atomic<bool> done{false};
    } owner;
    SrqTransport second;
    owner.queue = std::make_unique<EventQueue>(second);
    const ViHndlr destroyOwn = [](ViSession, ViEventType, ViEvent, ViAddr user) -> ViStatus {
        auto& o = *static_cast<Owner*>(user);
        o.queue.reset();
        o.done = true;
        return VI_SUCCESS;
    };
    ASSERT_EQ(owner.queue->installHandler(kSrq, destroyOwn, &owner), VI_SUCCESS);
    ASSERT_EQ(owner.queue->enable(kSrq, VI_HNDLR, 50, Deadline::after(1000)), VI_SUCCESS);
    second.raise();
    for (int i = 0; i < 500 && !owner.done; ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    EXPECT_TRUE(owner.done.load());
}

// A service request handler as programs write it, through the public calls only: the
// event type of its context, and the status byte read in the handler as the standard
// expects.
ViStatus _VI_FUNCH readStatusInHandler(ViSession vi, ViEventType, ViEvent context, ViAddr user) {
    Calls& calls = *static_cast<Calls*>(user);
    ViEventType type = 0;
    ViUInt16 stb = 0;
    viGetAttribute(context, VI_ATTR_EVENT_TYPE, &type);
    viReadSTB(vi, &stb);
    std::lock_guard<std::mutex> guard(calls.mutex);
    calls.contextType = type;
    calls.stb = stb;
    ++calls.count;
    calls.changed.notify_all();
    return calls.answer;
}

// Service requests from the emulator through the public calls, one row per interface
// whose protocol delivers them: the queue, a handler, and close while a wait is going.
TEST(VisaEvents, ServiceRequestsFromTheEmulator) {
    struct Row {
        const char* what;
        std::vector<std::string> emulatorArgs;  // serving that interface alone
    };
    const Row rows[] = {
        {"HiSLIP", {"--hislip"}},
        {"VXI-11", {"--vxi11"}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        qmdc::testing::EmulatorProcess emulator(row.emulatorArgs);
        ViSession rm = VI_NULL, vi = VI_NULL;
        ASSERT_EQ(viOpenDefaultRM(&rm), VI_SUCCESS);
        ASSERT_EQ(viOpen(rm, emulator.resource().c_str(), VI_NULL, 2000, &vi), VI_SUCCESS);
        viSetAttribute(vi, VI_ATTR_TMO_VALUE, 2000);

        // Operation complete with its event enabled for service: one event in the queue.
        ASSERT_EQ(viEnableEvent(vi, kSrq, VI_QUEUE, VI_NULL), VI_SUCCESS);
        ASSERT_EQ(viPrintf(vi, const_cast<ViString>("*CLS;*ESE 1;*SRE 32\n")), VI_SUCCESS);
        ASSERT_EQ(viPrintf(vi, const_cast<ViString>("*OPC\n")), VI_SUCCESS);
        ViEventType type = 0;
        ViEvent context = VI_NULL;
        ASSERT_EQ(viWaitOnEvent(vi, kSrq, 2000, &type, &context), VI_SUCCESS);
        EXPECT_EQ(type, kSrq);
        ViUInt16 stb = 0;
        EXPECT_EQ(viReadSTB(vi, &stb), VI_SUCCESS);
        EXPECT_EQ(stb & 0x60, 0x60);  // requesting service, for the standard event summary
        EXPECT_EQ(viClose(context), VI_SUCCESS);
        // The bit stays on: no second request.
        ASSERT_EQ(viPrintf(vi, const_cast<ViString>("*OPC\n")), VI_SUCCESS);
        EXPECT_EQ(viReadSTB(vi, &stb), VI_SUCCESS);
        EXPECT_EQ(viWaitOnEvent(vi, kSrq, 100, &type, VI_NULL), VI_ERROR_TMO);
        ASSERT_EQ(viDisableEvent(vi, kSrq, VI_QUEUE), VI_SUCCESS);

        // A handler, which reads the status byte itself.
        Calls seen;
        ASSERT_EQ(viInstallHandler(vi, kSrq, readStatusInHandler, &seen), VI_SUCCESS);
        ASSERT_EQ(viEnableEvent(vi, kSrq, VI_HNDLR, VI_NULL), VI_SUCCESS);
        ASSERT_EQ(viPrintf(vi, const_cast<ViString>("*CLS\n*OPC\n")), VI_SUCCESS);
        ASSERT_TRUE(seen.waitFor(1));
        {
            std::lock_guard<std::mutex> guard(seen.mutex);
            EXPECT_EQ(seen.contextType, kSrq);
            EXPECT_EQ(seen.stb & 0x40, 0x40);
        }

        // Close from another thread ends a wait with no time limit at once.
        ASSERT_EQ(viEnableEvent(vi, kSrq, VI_QUEUE, VI_NULL), VI_SUCCESS);
        std::atomic<ViStatus> waited{VI_SUCCESS};
        std::thread waiter(
            [&] { waited = viWaitOnEvent(vi, kSrq, VI_TMO_INFINITE, &type, VI_NULL); });
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
        const auto start = std::chrono::steady_clock::now();
        EXPECT_EQ(viClose(vi), VI_SUCCESS);
        waiter.join();
        EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
        EXPECT_EQ(waited.load(), VI_ERROR_ABORT);
        EXPECT_EQ(seen.count, 1);
        viClose(rm);
    }
}

}  // namespace
}  // namespace qmdc::visa
