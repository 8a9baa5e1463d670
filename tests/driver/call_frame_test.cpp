// The frame of the exported functions: unknown handles, pointer checks, the
// unsupported trigger functions, locking across threads and exceptions.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <functional>
#include <future>
#include <mutex>
#include <thread>
#include <vector>

#include "IviSession.h"
#include "QmDC.h"
#include "driver_test_support.h"
#include "kiln/lifecycle/session_lifecycle.h"
#include "kiln/session/call_frame.h"
#include "kiln/session/driver_session.h"

using qmdc_test::ErrorCode;
using qmdc_test::ErrorDescription;

namespace {

// Every framed export, called with harmless arguments.
std::vector<std::function<ViStatus(ViSession)>> FramedCalls() {
    static ViChar text[256];
    static ViInt16 result16;
    static ViInt32 result32;
    static ViByte bytes[8];
    static ViInt64 count;
    return {
        [](ViSession vi) { return QmDC_reset(vi); },
        [](ViSession vi) { return QmDC_ResetWithDefaults(vi); },
        [](ViSession vi) { return QmDC_Disable(vi); },
        [](ViSession vi) { return QmDC_self_test(vi, &result16, text); },
        [](ViSession vi) { return QmDC_revision_query(vi, text, text); },
        [](ViSession vi) { return QmDC_error_query(vi, &result32, text); },
        [](ViSession vi) { return QmDC_GetNextError(vi, 256, text); },
        [](ViSession vi) { return QmDC_ClearStatus(vi); },
        [](ViSession vi) { return QmDC_viWrite(vi, 1, bytes, &count); },
        [](ViSession vi) { return QmDC_viRead(vi, 1, bytes, &count); },
        [](ViSession vi) { return QmDC_LockSession(vi, nullptr); },
        [](ViSession vi) { return QmDC_UnlockSession(vi, nullptr); },
        [](ViSession vi) { return QmDC_Abort(vi); },
        [](ViSession vi) { return QmDC_ConfigureTriggerSource(vi, "", 0); },
        [](ViSession vi) { return QmDC_close(vi); },
    };
}

}  // namespace

TEST(CallFrame, UnknownAndClosedHandlesAreRejectedWithoutErrorInformation) {
    auto session = qmdc_test::Simulated();
    const ViSession closed = session->Release();
    ASSERT_EQ(QmDC_close(closed), VI_SUCCESS);
    for (ViSession vi : {ViSession(0), ViSession(12345678), closed}) {
        IviSession_SetError(VI_NULL, QMDC_ERROR_RESET_FAILED, "before");
        for (const auto& call : FramedCalls()) {
            EXPECT_EQ(call(vi), QMDC_ERROR_INVALID_SESSION_HANDLE) << "handle " << vi;
        }
        EXPECT_EQ(ErrorDescription(VI_NULL), "before");
    }
}

TEST(CallFrame, NullPointersNameTheFirstMissingParameter) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    ViChar text[256];
    ViInt32 code;
    EXPECT_EQ(QmDC_error_query(vi, nullptr, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'QmDC_error_query', parameter 'ErrorCode'.");
    EXPECT_EQ(QmDC_error_query(vi, &code, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'QmDC_error_query', parameter 'ErrorMessage'.");
    EXPECT_EQ(QmDC_self_test(vi, nullptr, text), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'QmDC_self_test', parameter 'TestResult'.");
    EXPECT_EQ(QmDC_GetNextError(vi, 10, nullptr), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(vi),
              "Null pointer passed for function 'QmDC_GetNextError', parameter 'Val'.");
}

TEST(CallFrame, ParameterListBeyondItsNamesSaysUnknown) {
    auto session = qmdc_test::Simulated();
    int value = 0;
    EXPECT_EQ(kiln::CheckNullPointers(session->vi(), " Fn ", "Only", &value, nullptr),
              QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(ErrorDescription(session->vi()),
              "Null pointer passed for function 'Fn', parameter '<unknown parameter>'.");
}

TEST(CallFrame, TriggerFunctionsAreUnsupportedAndRecordNothing) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    const std::function<ViStatus()> calls[] = {
        [&] { return QmDC_Abort(vi); },
        [&] { return QmDC_Initiate(vi); },
        [&] { return QmDC_SendSoftwareTrigger(vi); },
        [&] { return QmDC_ConfigureTriggerSource(vi, "CH1", 1); },
        [&] { return QmDC_ConfigureTriggeredVoltageLevel(vi, "CH1", 1.0); },
        [&] { return QmDC_ConfigureTriggeredCurrentLimit(vi, nullptr, 1.0); },
    };
    ASSERT_EQ(QmDC_ClearError(vi), VI_SUCCESS);
    for (const auto& call : calls) {
        EXPECT_EQ(call(), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
        EXPECT_EQ(ErrorCode(vi), VI_SUCCESS);
    }
    ViChar text[256];
    ASSERT_EQ(QmDC_error_query(vi, nullptr, text), QMDC_ERROR_NULL_POINTER);
    EXPECT_EQ(QmDC_Initiate(vi), QMDC_ERROR_FUNCTION_NOT_SUPPORTED);
    EXPECT_EQ(ErrorCode(vi), QMDC_ERROR_NULL_POINTER);
}

// The only test that sees a call take the session lock (a frame without its
// SessionLock lets the other thread through): do not weaken it.
TEST(CallFrame, LockedSessionMakesOtherThreadsWait) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    ViBoolean hasLock = VI_FALSE;
    ASSERT_EQ(QmDC_LockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_TRUE);
    // The owner keeps working while it holds the lock.
    EXPECT_EQ(QmDC_reset(vi), VI_SUCCESS);

    std::atomic<bool> done{false};
    auto other = std::async(std::launch::async, [&] {
        const ViStatus status = QmDC_reset(vi);
        done = true;
        return status;
    });
    EXPECT_EQ(other.wait_for(std::chrono::milliseconds(200)), std::future_status::timeout);
    EXPECT_FALSE(done);
    ASSERT_EQ(QmDC_UnlockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_FALSE);
    EXPECT_EQ(other.get(), VI_SUCCESS);
}

TEST(CallFrame, ExceptionBecomesStatusAndReleasesTheLock) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->vi();
    EXPECT_EQ(kiln::Framed(vi, [](kiln::DriverSession&) -> ViStatus { throw std::bad_alloc(); }),
              QMDC_ERROR_OUT_OF_MEMORY);
    EXPECT_EQ(ErrorCode(vi), QMDC_ERROR_OUT_OF_MEMORY);
    EXPECT_EQ(kiln::Framed(
                  vi, [](kiln::DriverSession&) -> ViStatus { throw std::runtime_error("boom"); }),
              QMDC_ERROR_CANNOT_RECOVER);
    EXPECT_EQ(ErrorDescription(vi), "Failure cannot recover.  Internal error: boom");
    // Another thread can take the lock: nothing leaked it.
    EXPECT_EQ(std::async(std::launch::async, [&] { return QmDC_reset(vi); }).get(), VI_SUCCESS);
}

TEST(CallFrame, CloseWaitsForACallInFlightAndLaterCallsFail) {
    auto session = qmdc_test::Simulated();
    const ViSession vi = session->Release();
    ViBoolean hasLock = VI_FALSE;
    ASSERT_EQ(QmDC_LockSession(vi, &hasLock), VI_SUCCESS);
    auto waiter = std::async(std::launch::async, [&] { return QmDC_reset(vi); });
    auto closer = std::async(std::launch::async, [&] { return QmDC_close(vi); });
    EXPECT_EQ(closer.wait_for(std::chrono::milliseconds(100)), std::future_status::timeout);
    ASSERT_EQ(QmDC_UnlockSession(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(closer.get(), VI_SUCCESS);
    const ViStatus waited = waiter.get();
    // The waiter ran before the close or found the handle gone.
    EXPECT_TRUE(waited == VI_SUCCESS || waited == QMDC_ERROR_INVALID_SESSION_HANDLE) << waited;
    EXPECT_EQ(QmDC_reset(vi), QMDC_ERROR_INVALID_SESSION_HANDLE);
    EXPECT_EQ(QmDC_close(vi), QMDC_ERROR_INVALID_SESSION_HANDLE);
}

// A program's watchdog thread and its main thread may close one handle at the
// same moment: one close does it, the other finds no session, and neither
// touches a session the other is freeing. The close hook below holds the
// first close for a moment at the point where the second once also passed
// the check and went on to run the hooks and reach the session (which ASan
// and TSan see as a use after free); the hook must run once per handle.
TEST(CallFrame, TwoClosesAtOnceCloseOnce) {
    static std::atomic<ViSession> watched{VI_NULL};
    static std::atomic<int> hookRuns{0};
    static std::once_flag addHook;
    std::call_once(addHook, [] {
        kiln::AddSessionCloseHook([](ViSession vi) {
            if (vi != watched.load()) return;
            hookRuns.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::milliseconds(2));
        });
    });
    for (int round = 0; round < 100; ++round) {
        const ViSession vi = qmdc_test::Simulated()->Release();
        watched = vi;
        hookRuns = 0;
        std::atomic<int> ready{0};
        auto close = [&] {
            ready.fetch_add(1);
            while (ready.load() < 2) std::this_thread::yield();
            return QmDC_close(vi);
        };
        auto first = std::async(std::launch::async, close);
        auto second = std::async(std::launch::async, close);
        const ViStatus statuses[] = {first.get(), second.get()};
        const int closed = (statuses[0] == VI_SUCCESS) + (statuses[1] == VI_SUCCESS);
        ASSERT_EQ(closed, 1) << statuses[0] << " " << statuses[1];
        for (const ViStatus status : statuses) {
            ASSERT_TRUE(status == VI_SUCCESS || status == QMDC_ERROR_INVALID_SESSION_HANDLE)
                << status;
        }
        ASSERT_EQ(hookRuns.load(), 1) << "round " << round;
        ASSERT_EQ(QmDC_close(vi), QMDC_ERROR_INVALID_SESSION_HANDLE);
    }
    watched = VI_NULL;
}
