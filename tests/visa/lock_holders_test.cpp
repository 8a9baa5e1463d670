// The count of lock holders that spares a call the kernel's lock query: two
// mappings of one lock file stand for two processes, and a real second
// process (lock_holder) holds a lock and dies with it.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdint>
#include <string>

#include "lock_holders.h"
#include "scoped_env.h"
#include "temp_folder.h"
#include "test_support.h"

extern char** environ;

namespace {

using namespace visatest;
using qmdc::visa::LockHolders;
using qmdc_test::ScopedEnv;
using qmdc_test::TempFolder;

// The word at the start of the one lock file in `dir`: the count of holders
// in its low half.
uint32_t countIn(const std::string& dir) {
    std::string file;
    if (DIR* d = opendir(dir.c_str())) {
        while (const dirent* e = readdir(d))
            if (std::string(e->d_name).rfind("qmdcvisa-", 0) == 0) file = dir + "/" + e->d_name;
        closedir(d);
    }
    uint64_t word = ~uint64_t{0};
    const int fd = open(file.c_str(), O_RDONLY);
    EXPECT_GE(fd, 0) << "no lock file in " << dir;
    if (fd >= 0) {
        EXPECT_EQ(pread(fd, &word, sizeof word, 0), static_cast<ssize_t>(sizeof word));
        close(fd);
    }
    return static_cast<uint32_t>(word);
}

TEST(VisaLockHolders, CountRepairAndGenerations) {
    TempFolder dir;
    const std::string path = dir.path() + "/qmdcvisa-x.lock";
    const int fdA = open(path.c_str(), O_RDWR | O_CREAT, 0666);
    const int fdB = open(path.c_str(), O_RDWR);
    ASSERT_GE(fdA, 0);
    ASSERT_GE(fdB, 0);
    LockHolders a, b;  // two processes' views of one file
    a.attach(fdA, true);
    b.attach(fdB, true);
    uint64_t seen = 0;
    EXPECT_FALSE(b.mayBeHeld(&seen)) << "a new file counts nobody";

    a.add(1);
    ASSERT_TRUE(b.mayBeHeld(&seen));
    // A look that found nobody after this snapshot: A died holding its lock.
    b.repair(seen);
    EXPECT_FALSE(b.mayBeHeld(&seen));

    // A repair whose snapshot is older than a change does nothing, even when
    // the count has come back to the same value (the generation moved on).
    a.add(1);
    ASSERT_TRUE(b.mayBeHeld(&seen));
    const uint64_t old = seen;
    a.add(-1);
    a.add(1);
    b.repair(old);
    EXPECT_TRUE(b.mayBeHeld(&seen)) << "a holder counted after the snapshot stays counted";
    a.add(-1);
    EXPECT_FALSE(b.mayBeHeld(&seen));
    a.add(-1);  // never below 0
    EXPECT_FALSE(b.mayBeHeld(&seen));

    // A file it may not write: counts are read, never changed.
    const int fdRead = open(path.c_str(), O_RDONLY);
    LockHolders reader;
    reader.attach(fdRead, false);
    a.add(1);
    ASSERT_TRUE(reader.mayBeHeld(&seen));
    reader.add(1);
    reader.repair(seen);
    EXPECT_TRUE(b.mayBeHeld(&seen));
    // No mapping (an empty file it may not extend): every call looks.
    const std::string empty = dir.path() + "/qmdcvisa-empty.lock";
    close(open(empty.c_str(), O_RDWR | O_CREAT, 0666));
    const int fdEmpty = open(empty.c_str(), O_RDONLY);
    LockHolders unmapped;
    unmapped.attach(fdEmpty, false);
    EXPECT_TRUE(unmapped.mayBeHeld(&seen));
    for (int fd : {fdA, fdB, fdRead, fdEmpty}) close(fd);
}

// Another process holds the lock and then goes: with viUnlock, or killed
// while holding it. Either way a session here is kept out while it holds
// the lock and gets in at once after, and the count of holders is 0 again
// (the kill leaves its count behind until the first look finds nobody).
TEST(VisaLockHolders, SecondProcessGetsInWhenTheHolderEnds) {
    struct Row {
        const char* holderKey;  // null: exclusive
        bool killed;            // SIGKILL rather than unlock and exit
    };
    const Row rows[] = {{nullptr, false}, {nullptr, true}, {"bench-7", true}};
    for (const Row& row : rows) {
        SCOPED_TRACE(std::string(row.holderKey ? row.holderKey : "exclusive") +
                     (row.killed ? ", killed" : ", unlocked"));
        TempFolder lockDir;
        ScopedEnv lockEnv{"QMDC_VISA_LOCK_DIR", lockDir.path().c_str()};
        ResourceManager rm;
        Pty pty;
        const std::string resource = pty.resource();
        LockHolderProcess holder(QMDC_LOCK_HOLDER, resource, row.holderKey);
        ASSERT_TRUE(holder.locked());
        EXPECT_EQ(countIn(lockDir.path()), 1u);

        ViSession vi = VI_NULL;
        ASSERT_EQ(viOpen(rm.rm(), resource.c_str(), VI_NULL, 0, &vi), VI_SUCCESS);
        ViUInt32 n = 0;
        const auto write = [&] {
            return viWrite(vi, reinterpret_cast<const ViByte*>("X\n"), 2, &n);
        };
        EXPECT_EQ(write(), VI_ERROR_RSRC_LOCKED);
        if (row.killed) kill(holder.pid(), SIGKILL);
        holder.release();  // an unlocking holder lets go and ends
        ASSERT_NE(holder.wait(), -1);
        EXPECT_EQ(countIn(lockDir.path()), row.killed ? 1u : 0u) << "before the first look";
        EXPECT_EQ(write(), VI_SUCCESS);
        EXPECT_EQ(countIn(lockDir.path()), 0u) << "after it";
        // This process's own lock is counted while held.
        ASSERT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
        EXPECT_EQ(countIn(lockDir.path()), 1u);
        EXPECT_EQ(viUnlock(vi), VI_SUCCESS);
        EXPECT_EQ(countIn(lockDir.path()), 0u);
        viClose(vi);
    }
}

}  // namespace
