// The IVI shared session services: handles, the recursive lock with the
// caller-has-lock flag, error information, and disposal under contention.
#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <set>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include "IviSession.h"

namespace {

ViSession NewHandle() {
    ViSession vi = VI_NULL;
    EXPECT_EQ(IviSession_New(&vi), VI_SUCCESS);
    EXPECT_NE(vi, VI_NULL);
    return vi;
}

}  // namespace

TEST(IviSessionHandles, AreNeverReusedAndStaleOnesAreRejected) {
    std::set<ViSession> seen;
    for (int i = 0; i < 100; ++i) {
        const ViSession vi = NewHandle();
        EXPECT_TRUE(seen.insert(vi).second);
        int data = i;
        ASSERT_EQ(IviSession_SetDataPtr(vi, &data), VI_SUCCESS);
        void* back = nullptr;
        ASSERT_EQ(IviSession_GetDataPtr(vi, &back), VI_SUCCESS);
        EXPECT_EQ(back, &data);
        ASSERT_EQ(IviSession_Dispose(vi), VI_SUCCESS);
        EXPECT_EQ(IviSession_GetDataPtr(vi, &back), IVISESSION_ERROR_INVALID_SESSION);
        EXPECT_EQ(IviSession_Lock(vi, nullptr), IVISESSION_ERROR_INVALID_SESSION);
        EXPECT_EQ(IviSession_Dispose(vi), IVISESSION_ERROR_INVALID_SESSION);
    }
    void* data = nullptr;
    EXPECT_EQ(IviSession_GetDataPtr(VI_NULL, &data), IVISESSION_ERROR_INVALID_SESSION);
    EXPECT_EQ(IviSession_New(nullptr), IVISESSION_ERROR_NULL_POINTER);
}

TEST(IviSessionLock, IsRecursiveAndNeedsOneUnlockPerLock) {
    const ViSession vi = NewHandle();
    ASSERT_EQ(IviSession_Lock(vi, nullptr), VI_SUCCESS);
    ASSERT_EQ(IviSession_Lock(vi, nullptr), VI_SUCCESS);
    ASSERT_EQ(IviSession_Unlock(vi, nullptr), VI_SUCCESS);
    // Still held once: another thread cannot take it.
    auto other = std::async(std::launch::async, [&] { return IviSession_Unlock(vi, nullptr); });
    EXPECT_EQ(other.get(), IVISESSION_ERROR_NOT_LOCK_OWNER);
    ASSERT_EQ(IviSession_Unlock(vi, nullptr), VI_SUCCESS);
    EXPECT_EQ(IviSession_Unlock(vi, nullptr), IVISESSION_ERROR_NOT_LOCK_OWNER);
    IviSession_Dispose(vi);
}

TEST(IviSessionLock, CallerFlagMakesLockAndUnlockIdempotent) {
    const ViSession vi = NewHandle();
    ViBoolean hasLock = VI_FALSE;
    ASSERT_EQ(IviSession_Lock(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_TRUE);
    ASSERT_EQ(IviSession_Lock(vi, &hasLock), VI_SUCCESS);  // no second hold
    ASSERT_EQ(IviSession_Unlock(vi, &hasLock), VI_SUCCESS);
    EXPECT_EQ(hasLock, VI_FALSE);
    ASSERT_EQ(IviSession_Unlock(vi, &hasLock), VI_SUCCESS);  // nothing to undo
    // Free for another thread now.
    auto other = std::async(std::launch::async, [&] {
        const ViStatus locked = IviSession_Lock(vi, nullptr);
        IviSession_Unlock(vi, nullptr);
        return locked;
    });
    EXPECT_EQ(other.get(), VI_SUCCESS);
    IviSession_Dispose(vi);
}

TEST(IviSessionLock, WaitersGetTheLockInTurn) {
    const ViSession vi = NewHandle();
    int counter = 0;  // guarded by the session lock only
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&] {
            for (int i = 0; i < 1000; ++i) {
                ASSERT_EQ(IviSession_Lock(vi, nullptr), VI_SUCCESS);
                ++counter;
                ASSERT_EQ(IviSession_Unlock(vi, nullptr), VI_SUCCESS);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    EXPECT_EQ(counter, 4000);
    IviSession_Dispose(vi);
}

TEST(IviSessionLock, DisposeWakesWaitersWithAFailure) {
    const ViSession vi = NewHandle();
    ASSERT_EQ(IviSession_Lock(vi, nullptr), VI_SUCCESS);
    std::atomic<int> waiting{0};
    std::vector<std::future<ViStatus>> waiters;
    for (int i = 0; i < 3; ++i) {
        waiters.push_back(std::async(std::launch::async, [&] {
            ++waiting;
            return IviSession_Lock(vi, nullptr);
        }));
    }
    while (waiting < 3) std::this_thread::yield();
    std::this_thread::sleep_for(std::chrono::milliseconds(20));  // let them block
    ASSERT_EQ(IviSession_Dispose(vi), VI_SUCCESS);
    for (auto& waiter : waiters) EXPECT_EQ(waiter.get(), IVISESSION_ERROR_INVALID_SESSION);
    // The holder's own unlock fails cleanly.
    EXPECT_EQ(IviSession_Unlock(vi, nullptr), IVISESSION_ERROR_INVALID_SESSION);
}

TEST(IviSessionErrors, AreKeptPerSessionAndPerThreadForNull) {
    const ViSession vi = NewHandle();
    ASSERT_EQ(IviSession_SetError(vi, -5, "session text"), VI_SUCCESS);
    ASSERT_EQ(IviSession_SetError(VI_NULL, -6, "thread text"), VI_SUCCESS);
    ViStatus code = 0;
    ViChar text[64];
    ASSERT_EQ(IviSession_GetError(vi, sizeof text, &code, text), VI_SUCCESS);
    EXPECT_EQ(code, -5);
    EXPECT_STREQ(text, "session text");
    ASSERT_EQ(IviSession_GetError(VI_NULL, sizeof text, &code, text), VI_SUCCESS);
    EXPECT_EQ(code, -6);
    EXPECT_STREQ(text, "thread text");
    // Another thread has its own VI_NULL slot.
    std::async(std::launch::async, [&] {
        ViStatus otherCode = 1;
        ViChar otherText[8] = "x";
        EXPECT_EQ(IviSession_GetError(VI_NULL, sizeof otherText, &otherCode, otherText),
                  VI_SUCCESS);
        EXPECT_EQ(otherCode, 0);
        EXPECT_STREQ(otherText, "");
    }).get();
    ASSERT_EQ(IviSession_ClearError(vi), VI_SUCCESS);
    ASSERT_EQ(IviSession_GetError(vi, sizeof text, &code, text), VI_SUCCESS);
    EXPECT_EQ(code, 0);
    EXPECT_STREQ(text, "");
    IviSession_Dispose(vi);
    EXPECT_EQ(IviSession_SetError(vi, -1, "late"), IVISESSION_ERROR_INVALID_SESSION);
}

TEST(IviSessionErrors, BufferSizeRules) {
    const ViSession vi = NewHandle();
    const std::string description = "twenty-one characters";
    ASSERT_EQ(IviSession_SetError(vi, -7, description.c_str()), VI_SUCCESS);
    ViStatus code = 0;
    EXPECT_EQ(IviSession_GetError(vi, 0, &code, nullptr), ViStatus(description.size() + 1));
    EXPECT_EQ(code, -7);
    EXPECT_EQ(IviSession_GetError(vi, -3, nullptr, nullptr), ViStatus(description.size() + 1));
    ViChar small[8];
    std::memset(small, '#', sizeof small);
    ViChar guard[4] = {'G', 'G', 'G', 'G'};
    EXPECT_EQ(IviSession_GetError(vi, 6, nullptr, small), ViStatus(description.size() + 1));
    EXPECT_STREQ(small, "twent");
    EXPECT_EQ(small[6], '#');
    EXPECT_EQ(guard[0], 'G');
    ViChar exact[22];
    EXPECT_EQ(IviSession_GetError(vi, sizeof exact, nullptr, exact), VI_SUCCESS);
    EXPECT_EQ(description, exact);
    IviSession_Dispose(vi);
}
