// The VISA services around message I/O, as a client program calls them:
// every new call on every kind of session, locks within and across
// processes, parsing and finding names, the status byte, buffers and files.
#include <gtest/gtest.h>

#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "emulator_process.h"
#include "scoped_env.h"
#include "temp_folder.h"
#include "test_support.h"

extern char** environ;

namespace {

using namespace visatest;
using qmdc_test::ScopedEnv;
using qmdc_test::TempFolder;

ViStatus noHandler(ViSession, ViEventType, ViEvent, ViAddr) {
    return VI_SUCCESS;
}

// Every session a test needs, with the lock files in a folder of its own.
class VisaServices : public ::testing::Test {
  protected:
    TempFolder lockDir_;
    ScopedEnv lockEnv_{"QMDC_VISA_LOCK_DIR", lockDir_.path().c_str()};
    ScopedEnv noLanDiscovery_{"QMDC_VISA_DISCOVERY_MS", "0"};  // lan_discovery_test's
    ScriptedPeer peer_;
    ResourceManager rm_;

    ViSession open(const std::string& name, ViAccessMode mode = VI_NULL, ViUInt32 timeout = 0) {
        ViSession vi = VI_NULL;
        EXPECT_EQ(viOpen(rm_.rm(), name.c_str(), mode, timeout, &vi), VI_SUCCESS) << name;
        return vi;
    }
};

// One row per call: what it answers on a socket session, a serial session,
// the resource manager and a closed handle. Arguments that are out of range
// are checked after the handle, as the standard orders its errors.
TEST_F(VisaServices, EveryCallOnEveryKindOfSession) {
    Pty pty;
    const ViSession socket = open(peer_.resource());
    const ViSession serial = open(pty.resource());
    ViSession closed = open(peer_.resource());
    ASSERT_EQ(viClose(closed), VI_SUCCESS);

    ViUInt16 u16 = 0;
    ViUInt32 u32 = 0;
    ViChar text[256];
    ViByte bytes[16] = {};
    ViFindList list = VI_NULL;
    ViEventType type = 0;
    ViEvent event = 0;
    struct Row {
        const char* call;
        std::function<ViStatus(ViSession)> run;
        ViStatus socket, serial, manager, closed;
    };
    const ViStatus NSUP = VI_ERROR_NSUP_OPER, INV = VI_ERROR_INV_OBJECT;
    const Row rows[] = {
        {"viReadSTB", [&](ViSession vi) { return viReadSTB(vi, &u16); }, NSUP, NSUP, NSUP, INV},
        {"viAssertTrigger", [&](ViSession vi) { return viAssertTrigger(vi, VI_TRIG_PROT_DEFAULT); },
         NSUP, NSUP, NSUP, INV},
        {"viAssertTrigger protocol 7", [&](ViSession vi) { return viAssertTrigger(vi, 7); },
         VI_ERROR_INV_PROT, VI_ERROR_INV_PROT, NSUP, INV},
        {"viGpibControlREN", [&](ViSession vi) { return viGpibControlREN(vi, VI_GPIB_REN_ASSERT); },
         NSUP, NSUP, NSUP, INV},
        {"viGpibControlREN mode 7", [&](ViSession vi) { return viGpibControlREN(vi, 7); },
         VI_ERROR_INV_MODE, VI_ERROR_INV_MODE, NSUP, INV},
        {"viUnlock unlocked", [&](ViSession vi) { return viUnlock(vi); }, VI_ERROR_SESN_NLOCKED,
         VI_ERROR_SESN_NLOCKED, NSUP, INV},
        {"viLock type 3", [&](ViSession vi) { return viLock(vi, 3, 0, VI_NULL, text); },
         VI_ERROR_INV_LOCK_TYPE, VI_ERROR_INV_LOCK_TYPE, NSUP, INV},
        {"viEnableEvent SRQ",
         [&](ViSession vi) { return viEnableEvent(vi, VI_EVENT_SERVICE_REQ, VI_QUEUE, VI_NULL); },
         VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT, NSUP, INV},
        {"viEnableEvent mechanism 8",
         [&](ViSession vi) { return viEnableEvent(vi, VI_EVENT_SERVICE_REQ, 8, VI_NULL); },
         VI_ERROR_INV_MECH, VI_ERROR_INV_MECH, NSUP, INV},
        {"viDisableEvent all",
         [&](ViSession vi) { return viDisableEvent(vi, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH); },
         VI_SUCCESS_EVENT_DIS, VI_SUCCESS_EVENT_DIS, NSUP, INV},
        {"viDiscardEvents all",
         [&](ViSession vi) { return viDiscardEvents(vi, VI_ALL_ENABLED_EVENTS, VI_ALL_MECH); },
         VI_SUCCESS_QUEUE_EMPTY, VI_SUCCESS_QUEUE_EMPTY, NSUP, INV},
        {"viWaitOnEvent SRQ",
         [&](ViSession vi) { return viWaitOnEvent(vi, VI_EVENT_SERVICE_REQ, 0, &type, &event); },
         VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT, NSUP, INV},
        {"viWaitOnEvent all",
         [&](ViSession vi) { return viWaitOnEvent(vi, VI_ALL_ENABLED_EVENTS, 0, &type, &event); },
         VI_ERROR_NENABLED, VI_ERROR_NENABLED, NSUP, INV},
        {"viInstallHandler",
         [&](ViSession vi) {
             return viInstallHandler(vi, VI_EVENT_SERVICE_REQ, noHandler, VI_NULL);
         },
         VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT, NSUP, INV},
        {"viUninstallHandler",
         [&](ViSession vi) {
             return viUninstallHandler(vi, VI_EVENT_SERVICE_REQ, noHandler, VI_NULL);
         },
         VI_ERROR_INV_EVENT, VI_ERROR_INV_EVENT, NSUP, INV},
        {"viSetBuf read 4096", [&](ViSession vi) { return viSetBuf(vi, VI_READ_BUF, 4096); },
         VI_SUCCESS, VI_SUCCESS, NSUP, INV},
        {"viSetBuf write 100", [&](ViSession vi) { return viSetBuf(vi, VI_WRITE_BUF, 100); },
         VI_WARN_NSUP_BUF, VI_WARN_NSUP_BUF, NSUP, INV},
        {"viSetBuf mask 0", [&](ViSession vi) { return viSetBuf(vi, 0, 4096); }, VI_ERROR_INV_MASK,
         VI_ERROR_INV_MASK, NSUP, INV},
        {"viTerminate all", [&](ViSession vi) { return viTerminate(vi, VI_NULL, VI_NULL); },
         VI_SUCCESS, VI_SUCCESS, NSUP, INV},
        {"viTerminate job 5", [&](ViSession vi) { return viTerminate(vi, VI_NULL, 5); },
         VI_ERROR_INV_JOB_ID, VI_ERROR_INV_JOB_ID, NSUP, INV},
        {"viSPrintf", [&](ViSession vi) { return viSPrintf(vi, bytes, "%d", 5); }, VI_SUCCESS,
         VI_SUCCESS, NSUP, INV},
        {"viSScanf", [&](ViSession vi) { return viSScanf(vi, bytes, "%ld", &u32); }, VI_SUCCESS,
         VI_SUCCESS, NSUP, INV},
        {"viBufWrite 0 bytes", [&](ViSession vi) { return viBufWrite(vi, bytes, 0, &u32); },
         VI_SUCCESS, VI_SUCCESS, NSUP, INV},
        {"viReadToFile no such folder",
         [&](ViSession vi) { return viReadToFile(vi, "/nonexistent/f", 4, &u32); },
         VI_ERROR_FILE_ACCESS, VI_ERROR_FILE_ACCESS, NSUP, INV},
        {"viWriteFromFile missing",
         [&](ViSession vi) { return viWriteFromFile(vi, "/nonexistent/f", 4, &u32); },
         VI_ERROR_FILE_ACCESS, VI_ERROR_FILE_ACCESS, NSUP, INV},
        {"viGetAttribute MANF_NAME",
         [&](ViSession vi) { return viGetAttribute(vi, VI_ATTR_RSRC_MANF_NAME, text); }, VI_SUCCESS,
         VI_SUCCESS, VI_SUCCESS, INV},
        {"viGetAttribute SPEC_VERSION",
         [&](ViSession vi) { return viGetAttribute(vi, VI_ATTR_RSRC_SPEC_VERSION, &u32); },
         VI_SUCCESS, VI_SUCCESS, VI_SUCCESS, INV},
        {"viSetAttribute MANF_ID",
         [&](ViSession vi) { return viSetAttribute(vi, VI_ATTR_RSRC_MANF_ID, 1); },
         VI_ERROR_ATTR_READONLY, VI_ERROR_ATTR_READONLY, VI_ERROR_NSUP_ATTR, INV},
        {"viSetAttribute IO_PROT 3",
         [&](ViSession vi) { return viSetAttribute(vi, VI_ATTR_IO_PROT, 3); },
         VI_ERROR_NSUP_ATTR_STATE, VI_ERROR_NSUP_ATTR_STATE, VI_ERROR_NSUP_ATTR, INV},
        {"viSetAttribute MAX_QUEUE_LENGTH 0",
         [&](ViSession vi) { return viSetAttribute(vi, VI_ATTR_MAX_QUEUE_LENGTH, 0); },
         VI_ERROR_NSUP_ATTR_STATE, VI_ERROR_NSUP_ATTR_STATE, VI_ERROR_NSUP_ATTR, INV},
        {"viParseRsrc", [&](ViSession vi) { return viParseRsrc(vi, "ASRL1::INSTR", &u16, &u16); },
         INV, INV, VI_SUCCESS, INV},
        {"viFindRsrc", [&](ViSession vi) { return viFindRsrc(vi, "?*", &list, &u32, text); }, INV,
         INV, VI_SUCCESS, INV},
        {"viFindNext", [&](ViSession vi) { return viFindNext(vi, text); }, INV, INV, INV, INV},
    };
    ScopedEnv lan("QMDC_VISA_RESOURCES", peer_.resource().c_str());
    for (const Row& row : rows) {
        EXPECT_EQ(row.run(socket), row.socket) << row.call << " on a socket";
        EXPECT_EQ(row.run(serial), row.serial) << row.call << " on a serial line";
        EXPECT_EQ(row.run(rm_.rm()), row.manager) << row.call << " on the resource manager";
        EXPECT_EQ(row.run(closed), row.closed) << row.call << " on a closed session";
        if (list != VI_NULL) {
            EXPECT_EQ(viClose(list), VI_SUCCESS);
        }
        list = VI_NULL;
    }
}

// Null pointers where the call writes or reads through one: a status, never
// a crash.
TEST_F(VisaServices, NullPointersGetAStatus) {
    const ViSession vi = open(peer_.resource());
    ViUInt32 n = 0;
    ViFindList list = VI_NULL;
    ScopedEnv lan("QMDC_VISA_RESOURCES", peer_.resource().c_str());
    const struct {
        const char* call;
        ViStatus status;
        ViStatus expected;
    } rows[] = {
        {"viReadSTB", viReadSTB(vi, nullptr), VI_ERROR_USER_BUF},
        {"viLock shared", viLock(vi, VI_SHARED_LOCK, 0, VI_NULL, nullptr), VI_ERROR_INV_PARAMETER},
        {"viLock shared, a key asked for", viLock(vi, VI_SHARED_LOCK, 0, "k2", nullptr),
         VI_ERROR_INV_PARAMETER},
        {"viSPrintf", viSPrintf(vi, nullptr, "x"), VI_ERROR_USER_BUF},
        {"viSScanf", viSScanf(vi, nullptr, "%ld", &n), VI_ERROR_USER_BUF},
        {"viBufWrite", viBufWrite(vi, nullptr, 3, &n), VI_ERROR_USER_BUF},
        {"viBufRead", viBufRead(vi, nullptr, 3, &n), VI_ERROR_USER_BUF},
        {"viReadToFile", viReadToFile(vi, nullptr, 3, &n), VI_ERROR_USER_BUF},
        {"viWriteFromFile", viWriteFromFile(vi, nullptr, 3, &n), VI_ERROR_USER_BUF},
        {"viParseRsrc name", viParseRsrc(rm_.rm(), nullptr, nullptr, nullptr),
         VI_ERROR_INV_RSRC_NAME},
        {"viParseRsrcEx outputs",
         viParseRsrcEx(rm_.rm(), "ASRL1", nullptr, nullptr, nullptr, nullptr, nullptr), VI_SUCCESS},
        {"viFindRsrc expression", viFindRsrc(rm_.rm(), nullptr, &list, &n, nullptr),
         VI_ERROR_INV_EXPR},
        {"viFindRsrc outputs", viFindRsrc(rm_.rm(), "?*", nullptr, nullptr, nullptr), VI_SUCCESS},
        {"viWaitOnEvent outputs", viWaitOnEvent(vi, VI_EVENT_SERVICE_REQ, 0, nullptr, nullptr),
         VI_ERROR_INV_EVENT},
        {"viInstallHandler", viInstallHandler(vi, VI_EVENT_SERVICE_REQ, nullptr, nullptr),
         VI_ERROR_INV_HNDLR_REF},
        {"viGetAttribute", viGetAttribute(vi, VI_ATTR_RSRC_MANF_NAME, nullptr), VI_ERROR_USER_BUF},
    };
    for (const auto& row : rows) EXPECT_EQ(row.status, row.expected) << row.call;
}

TEST_F(VisaServices, ResourceAttributes) {
    const ViSession vi = open(peer_.resource());
    ViChar text[256] = {};
    ViUInt16 id = 1;
    ViVersion version = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_MANF_NAME, text), VI_SUCCESS);
    EXPECT_STREQ(text, "QmDC");
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_RSRC_MANF_ID, &id), VI_SUCCESS);
    EXPECT_EQ(id, 0);
    ASSERT_EQ(viGetAttribute(rm_.rm(), VI_ATTR_RSRC_SPEC_VERSION, &version), VI_SUCCESS);
    EXPECT_EQ(version, VI_SPEC_VERSION);
    // User data is the caller's, at full pointer width, per session.
    const unsigned long long mark = 0x1122334455667788ull;
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_USER_DATA, static_cast<ViAttrState>(mark)), VI_SUCCESS);
    unsigned long long back = 0;
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_USER_DATA, &back), VI_SUCCESS);
    EXPECT_EQ(back, static_cast<unsigned long long>(static_cast<ViAttrState>(mark)));
    ViUInt32 queue = 0;
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_MAX_QUEUE_LENGTH, 7), VI_SUCCESS);
    ASSERT_EQ(viGetAttribute(vi, VI_ATTR_MAX_QUEUE_LENGTH, &queue), VI_SUCCESS);
    EXPECT_EQ(queue, 7u);
}

TEST_F(VisaServices, LocksBetweenSessionsOfOneProcess) {
    const ViSession a = open(peer_.resource());
    const ViSession b = open(peer_.resource());
    ViChar key[256] = {};
    ViAccessMode state = 0;
    ViUInt32 n = 0;
    // Exclusive, nested.
    ASSERT_EQ(viLock(a, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
    EXPECT_EQ(viLock(a, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS_NESTED_EXCLUSIVE);
    EXPECT_EQ(viGetAttribute(b, VI_ATTR_RSRC_LOCK_STATE, &state), VI_SUCCESS);
    EXPECT_EQ(state, static_cast<ViAccessMode>(VI_EXCLUSIVE_LOCK));
    EXPECT_EQ(viWrite(b, reinterpret_cast<const ViByte*>("X\n"), 2, &n), VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viPrintf(b, "X\n"), VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viLock(b, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_ERROR_RSRC_LOCKED);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(viLock(b, VI_SHARED_LOCK, 150, VI_NULL, key), VI_ERROR_TMO);
    EXPECT_GE(elapsedMs(start), 140);
    EXPECT_EQ(viUnlock(a), VI_SUCCESS_NESTED_EXCLUSIVE);
    EXPECT_EQ(viUnlock(a), VI_SUCCESS);
    EXPECT_EQ(viUnlock(a), VI_ERROR_SESN_NLOCKED);
    // Shared: the key lets a second session in, and only with it.
    ASSERT_EQ(viLock(a, VI_SHARED_LOCK, 0, "bench-7", key), VI_SUCCESS);
    EXPECT_STREQ(key, "bench-7");
    EXPECT_EQ(viWrite(b, reinterpret_cast<const ViByte*>("X\n"), 2, &n), VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viLock(b, VI_SHARED_LOCK, 0, "other", key), VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(viLock(b, VI_SHARED_LOCK, 0, "bench-7", key), VI_SUCCESS);
    EXPECT_EQ(viWrite(b, reinterpret_cast<const ViByte*>("X\n"), 2, &n), VI_SUCCESS);
    EXPECT_EQ(viLock(a, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_ERROR_RSRC_LOCKED);
    // A waiting lock is granted as soon as the holder lets go.
    ASSERT_EQ(viUnlock(b), VI_SUCCESS);
    std::thread release([&] {
        std::this_thread::sleep_for(Ms(100));
        viUnlock(a);
    });
    EXPECT_EQ(viLock(b, VI_EXCLUSIVE_LOCK, 3000, VI_NULL, VI_NULL), VI_SUCCESS);
    release.join();
    // Closing a session gives up its locks.
    ASSERT_EQ(viClose(b), VI_SUCCESS);
    EXPECT_EQ(viLock(a, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL), VI_SUCCESS);
}

// Session A takes a first lock, then A or B asks for a second one. Each row
// guards a boundary of the rules: a shared lock's holder may take the
// exclusive one (upgrade) and an exclusive holder a shared one (downgrade),
// nobody else may; an access key of 255 characters is kept whole (B gets in
// with the key A was given back), one of 256 is refused, not cut short.
TEST_F(VisaServices, LockRulesAtTheirBoundaries) {
    const std::string key255(255, 'k'), key256(256, 'k');
    const char* const kGiven = "given";  // B asks with the key A was given back
    struct Row {
        const char* note;
        ViAccessMode firstMode;
        const char* firstKey;
        ViStatus first;
        bool byA;
        ViAccessMode mode;
        const char* key;
        ViStatus second;
    };
    const ViAccessMode X = VI_EXCLUSIVE_LOCK, S = VI_SHARED_LOCK;
    const Row rows[] = {
        {"upgrade", S, "k", VI_SUCCESS, true, X, VI_NULL, VI_SUCCESS},
        {"no upgrade for another session", S, "k", VI_SUCCESS, false, X, VI_NULL,
         VI_ERROR_RSRC_LOCKED},
        {"downgrade", X, VI_NULL, VI_SUCCESS, true, S, "k", VI_SUCCESS},
        {"shared with the key", S, "k", VI_SUCCESS, false, S, "k", VI_SUCCESS},
        {"shared with a key one longer", S, "k", VI_SUCCESS, false, S, "kk", VI_ERROR_RSRC_LOCKED},
        {"key of 255", S, key255.c_str(), VI_SUCCESS, false, S, kGiven, VI_SUCCESS},
        {"made-up key", S, VI_NULL, VI_SUCCESS, false, S, kGiven, VI_SUCCESS},
        {"key of 256", S, key256.c_str(), VI_ERROR_INV_ACCESS_KEY, false, S, nullptr, VI_SUCCESS},
    };
    for (const Row& row : rows) {
        const ViSession a = open(peer_.resource()), b = open(peer_.resource());
        ViChar given[256] = "", again[256] = "";
        EXPECT_EQ(viLock(a, row.firstMode, 0, row.firstKey, given), row.first) << row.note;
        if (row.first == VI_SUCCESS && row.firstKey != VI_NULL) {
            EXPECT_STREQ(given, row.firstKey) << row.note;
        }
        if (row.first == VI_SUCCESS) {
            const char* key = row.key == kGiven ? given : row.key;
            EXPECT_EQ(viLock(row.byA ? a : b, row.mode, 0, key, again), row.second) << row.note;
        }
        viClose(a);
        viClose(b);
    }
}

// The instrument's own lock (VXI-11, HiSLIP) follows the session's locks:
// after A's steps, can another link (opened under board 1, so that only the
// instrument stands between them) take the instrument? Over VXI-11 it asks
// for the exclusive lock, over HiSLIP for a shared one with A's key, which
// only an exclusive lock of A's keeps out. Each row guards one step: the
// lock kept while a nested one is given back, the upgrade and downgrade
// reaching the instrument.
TEST_F(VisaServices, InstrumentLockFollowsTheSessionsLocks) {
    qmdc::testing::EmulatorProcess emulator({"--vxi11", "--hislip"});
    ASSERT_EQ(emulator.resources().size(), 2u);
    const struct {
        const char* steps;  // X exclusive, S shared with key "k", U unlock
        bool keptOut;
    } rows[] = {
        {"X", true},  {"XXU", true},  {"XXUU", false}, {"S", false},
        {"SX", true}, {"SXU", false}, {"XSU", true},   {"SXUU", false},
    };
    for (const std::string& resource : emulator.resources()) {
        const bool hislip = resource.find("hislip") != std::string::npos;
        const std::string other = "TCPIP1" + resource.substr(resource.find("::"));
        for (const auto& row : rows) {
            const ViSession a = open(resource), b = open(other);
            ViChar key[256];
            for (const char* step = row.steps; *step != '\0'; ++step) {
                const ViStatus status = *step == 'U' ? viUnlock(a)
                                        : *step == 'X'
                                            ? viLock(a, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL)
                                            : viLock(a, VI_SHARED_LOCK, 0, "k", key);
                EXPECT_GE(status, VI_SUCCESS) << resource << " " << row.steps;
            }
            const ViStatus probe = hislip ? viLock(b, VI_SHARED_LOCK, 0, "k", key)
                                          : viLock(b, VI_EXCLUSIVE_LOCK, 0, VI_NULL, VI_NULL);
            EXPECT_EQ(probe < VI_SUCCESS, row.keptOut) << resource << " " << row.steps;
            viClose(b);
            viClose(a);
        }
    }
}

TEST_F(VisaServices, OpenWithAnExclusiveLock) {
    const ViSession first = open(peer_.resource(), VI_EXCLUSIVE_LOCK);
    ViSession second = VI_NULL;
    EXPECT_EQ(viOpen(rm_.rm(), peer_.resource().c_str(), VI_EXCLUSIVE_LOCK, 50, &second),
              VI_ERROR_RSRC_LOCKED);
    EXPECT_EQ(second, VI_NULL);
    ASSERT_EQ(viClose(first), VI_SUCCESS);
    EXPECT_EQ(viOpen(rm_.rm(), peer_.resource().c_str(), VI_EXCLUSIVE_LOCK, 50, &second),
              VI_SUCCESS);
}

// Another process holds the lock (lock_holder: opens, locks, says "locked",
// lets go when its standard input ends): an exclusive lock, or a shared one
// whose key only a session with the same key gets past.
TEST_F(VisaServices, LocksBetweenProcesses) {
    struct Row {
        const char* holderKey;  // null: the holder locks exclusively
        ViStatus keyless, exclusive, sharedOtherKey, sharedSameKey;
    };
    const Row rows[] = {
        {nullptr, VI_ERROR_RSRC_LOCKED, VI_ERROR_TMO, VI_ERROR_TMO, VI_ERROR_TMO},
        {"bench-7", VI_ERROR_RSRC_LOCKED, VI_ERROR_TMO, VI_ERROR_TMO, VI_SUCCESS},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.holderKey ? row.holderKey : "exclusive");
        Pty pty;
        const std::string resource = pty.resource();
        LockHolderProcess holder(QMDC_LOCK_HOLDER, resource, row.holderKey);
        ASSERT_TRUE(holder.locked());

        const ViSession vi = open(resource);
        ViUInt32 n = 0;
        ViChar key[256];
        const auto write = [&] {
            return viWrite(vi, reinterpret_cast<const ViByte*>("X\n"), 2, &n);
        };
        EXPECT_EQ(write(), row.keyless);
        EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 100, VI_NULL, VI_NULL), row.exclusive);
        EXPECT_EQ(viLock(vi, VI_SHARED_LOCK, 100, "another", key), row.sharedOtherKey);
        if (row.holderKey != nullptr) {
            EXPECT_EQ(viLock(vi, VI_SHARED_LOCK, 100, row.holderKey, key), row.sharedSameKey);
            EXPECT_EQ(write(), VI_SUCCESS);
            EXPECT_EQ(viUnlock(vi), VI_SUCCESS);
        }
        holder.release();  // the holder unlocks and ends
        EXPECT_EQ(viLock(vi, VI_EXCLUSIVE_LOCK, 5000, VI_NULL, VI_NULL), VI_SUCCESS);
        EXPECT_EQ(write(), VI_SUCCESS);
        EXPECT_EQ(viUnlock(vi), VI_SUCCESS);
        const int status = holder.wait();
        ASSERT_NE(status, -1);
        EXPECT_EQ(WEXITSTATUS(status), 0);
        viClose(vi);
    }
}

TEST_F(VisaServices, StatusByteAndTriggerThrough4882Commands) {
    peer_.on("*STB?\n", "80\n");
    const ViSession vi = open(peer_.resource());
    ViUInt16 stb = 0;
    EXPECT_EQ(viReadSTB(vi, &stb), VI_ERROR_NSUP_OPER);  // a socket has no status byte
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_IO_PROT, VI_PROT_4882_STRS), VI_SUCCESS);
    ASSERT_EQ(viReadSTB(vi, &stb), VI_SUCCESS);
    EXPECT_EQ(stb, 80);
    ASSERT_EQ(viAssertTrigger(vi, VI_TRIG_PROT_DEFAULT), VI_SUCCESS);
    EXPECT_TRUE(peer_.waitFor([](const ScriptedPeer::State& s) {
        return s.lines.size() == 2 && s.lines[1] == "*TRG\n";
    }));
    peer_.on("*STB?\n", "BUSY\n");
    EXPECT_EQ(viReadSTB(vi, &stb), VI_ERROR_IO);
}

// The instrument's remote/local state over the LAN protocols that carry it:
// every VI_GPIB_REN_* mode reaches the emulator and is acknowledged, and the
// session goes on answering.
TEST_F(VisaServices, RemoteLocalOverVxi11AndHislip) {
    qmdc::testing::EmulatorProcess emulator({"--vxi11", "--hislip"});
    ASSERT_EQ(emulator.resources().size(), 2u);
    for (const std::string& resource : emulator.resources()) {
        const ViSession vi = open(resource);
        for (ViUInt16 mode = VI_GPIB_REN_DEASSERT; mode <= VI_GPIB_REN_ADDRESS_GTL; ++mode)
            EXPECT_EQ(viGpibControlREN(vi, mode), VI_SUCCESS) << resource << " mode " << mode;
        EXPECT_EQ(viGpibControlREN(vi, VI_GPIB_REN_ADDRESS_GTL + 1), VI_ERROR_INV_MODE) << resource;
        ViChar idn[256] = "";
        EXPECT_EQ(viQueryf(vi, "*IDN?\n", "%255[^\n]", idn), VI_SUCCESS) << resource;
        EXPECT_STREQ(idn, "Orvane,Rack 30-70 QM,SN0001,1.2.3") << resource;
        EXPECT_EQ(viClose(vi), VI_SUCCESS);
    }
}

TEST_F(VisaServices, BuffersFilesAndMemory) {
    peer_.on("Q\n", "ANSWER-1\n");
    const ViSession vi = open(peer_.resource());
    ViUInt32 n = 0;
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    // viBufWrite collects; viFlush sends with END.
    ASSERT_EQ(viBufWrite(vi, reinterpret_cast<const ViByte*>("Q\n"), 2, &n), VI_SUCCESS);
    EXPECT_EQ(n, 2u);
    ASSERT_EQ(viFlush(vi, VI_WRITE_BUF), VI_SUCCESS);
    ViByte buf[32] = {};
    ASSERT_EQ(viBufRead(vi, buf, 6, &n), VI_SUCCESS_MAX_CNT);
    ASSERT_EQ(viBufRead(vi, buf + 6, sizeof buf - 6, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_STREQ(reinterpret_cast<char*>(buf), "ANSWER-1\n");

    TempFolder folder;
    const std::string out = folder.path() + "/answer.txt", in = folder.path() + "/command.txt";
    std::ofstream(in) << "Q\nignored";
    ASSERT_EQ(viWriteFromFile(vi, in.c_str(), 2, &n), VI_SUCCESS);
    EXPECT_EQ(n, 2u);
    ASSERT_EQ(viReadToFile(vi, out.c_str(), 100, &n), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(n, 9u);
    ASSERT_EQ(viSetAttribute(vi, VI_ATTR_FILE_APPEND_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(viWriteFromFile(vi, in.c_str(), 2, &n), VI_SUCCESS);
    ASSERT_EQ(viReadToFile(vi, out.c_str(), 100, &n), VI_SUCCESS_TERM_CHAR);
    std::ifstream saved(out);
    const std::string content((std::istreambuf_iterator<char>(saved)), {});
    EXPECT_EQ(content, "ANSWER-1\nANSWER-1\n");

    ViChar text[64];
    ASSERT_EQ(viSPrintf(vi, reinterpret_cast<ViByte*>(text), "VOLT %.2f;CURR %ld", 1.5, 3),
              VI_SUCCESS);
    EXPECT_STREQ(text, "VOLT 1.50;CURR 3");
    ViReal64 volt = 0;
    ViInt32 curr = 0;
    ASSERT_EQ(viSScanf(vi, reinterpret_cast<ViByte*>(text), "VOLT %lf;CURR %ld", &volt, &curr),
              VI_SUCCESS);
    EXPECT_EQ(volt, 1.5);
    EXPECT_EQ(curr, 3);
}

TEST(VisaResourceNames, ParseAsCallersSeeThem) {
    ResourceManager rm;
    const struct {
        const char* name;
        ViStatus open;  // what viOpen answers for the kind (before any I/O)
        ViUInt16 intfType, intfNum;
        const char* cls;
        const char* canonical;
    } rows[] = {
        {"ASRL1::INSTR", VI_SUCCESS, VI_INTF_ASRL, 1, "INSTR", "ASRL1::INSTR"},
        {"asrl/dev/ttyUSB0", VI_SUCCESS, VI_INTF_ASRL, 0, "INSTR", "ASRL/dev/ttyUSB0::INSTR"},
        {"TCPIP::h::5025::SOCKET", VI_SUCCESS, VI_INTF_TCPIP, 0, "SOCKET",
         "TCPIP0::h::5025::SOCKET"},
        {"GPIB1::5::INSTR", VI_ERROR_INTF_NUM_NCONFIG, VI_INTF_GPIB, 1, "INSTR", "GPIB1::5::INSTR"},
        {"gpib::intfc", VI_ERROR_INTF_NUM_NCONFIG, VI_INTF_GPIB, 0, "INTFC", "GPIB0::INTFC"},
        {"USB::0x1AB1::0x0E11::DP8::INSTR", VI_SUCCESS, VI_INTF_USB, 0, "INSTR",
         "USB0::0x1AB1::0x0E11::DP8::INSTR"},
        {"USB2::1::2::SN::3::RAW", VI_ERROR_INTF_NUM_NCONFIG, VI_INTF_USB, 2, "RAW",
         "USB2::1::2::SN::3::RAW"},
    };
    for (const auto& row : rows) {
        ViUInt16 type = 0, num = 99;
        ViChar cls[256], canonical[256], alias[256] = "x";
        ASSERT_EQ(viParseRsrcEx(rm.rm(), row.name, &type, &num, cls, canonical, alias), VI_SUCCESS)
            << row.name;
        EXPECT_EQ(type, row.intfType) << row.name;
        EXPECT_EQ(num, row.intfNum) << row.name;
        EXPECT_STREQ(cls, row.cls) << row.name;
        EXPECT_STREQ(canonical, row.canonical) << row.name;
        EXPECT_STREQ(alias, "") << row.name;
        if (row.open == VI_ERROR_INTF_NUM_NCONFIG) {
            ViSession vi = VI_NULL;
            EXPECT_EQ(viOpen(rm.rm(), row.name, VI_NULL, 0, &vi), row.open) << row.name;
        }
    }
    ViUInt16 type, num;
    EXPECT_EQ(viParseRsrc(rm.rm(), "VXI0::1::INSTR", &type, &num), VI_ERROR_INV_RSRC_NAME);
    ViChar desc[256];
    ASSERT_EQ(viStatusDesc(VI_NULL, VI_ERROR_INTF_NUM_NCONFIG, desc), VI_SUCCESS);
    EXPECT_NE(std::strstr(desc, "not supported"), nullptr) << desc;
}

// Discovery on a made-up sysfs tree and the user's list of LAN instruments.
// The tree holds a near miss for each rule (a ttyS port without a UART or
// without a type, a virtual console, a mouse); the rows, one for each part of
// the grammar and each near miss of an expression ("." is a dot, not "?";
// USB ids are upper-case hex, as the canonical name writes them).
TEST(VisaFindRsrc, ExpressionsOverDiscoveredResources) {
    TempFolder tree;
    const auto put = [&](const std::string& path, const std::string& text) {
        std::filesystem::create_directories(
            std::filesystem::path(tree.path() + path).parent_path());
        std::ofstream(tree.path() + path) << text << "\n";
    };
    put("/class/tty/ttyS0/type", "4");    // a 16550A: ASRL1
    put("/class/tty/ttyS1/type", "0");    // no UART behind it
    put("/class/tty/ttyS2/dev", "4:66");  // no type at all: no UART either
    put("/class/tty/ttyS10/type", "4");   // ASRL11
    put("/class/tty/ttyUSB0/dev", "188:0");
    put("/class/tty/ttyACM3/dev", "166:3");
    put("/class/tty/tty5/dev", "4:5");  // a virtual console
    put("/bus/usb/devices/1-2/idVendor", "1ab1");
    put("/bus/usb/devices/1-2/idProduct", "0e11");
    put("/bus/usb/devices/1-2/serial", "DP8B1234");
    put("/bus/usb/devices/1-2:1.0/bInterfaceClass", "fe");
    put("/bus/usb/devices/1-2:1.0/bInterfaceSubClass", "03");
    put("/bus/usb/devices/1-2:1.0/bInterfaceNumber", "00");
    put("/bus/usb/devices/1-3/idVendor", "046d");  // a mouse
    put("/bus/usb/devices/1-3:1.0/bInterfaceClass", "03");
    put("/lan.txt",
        "# bench\ntcpip::10.0.0.7::5025::socket\nnot-a-name\nTCPIP::192x168y1z5::inst0\n");
    ScopedEnv sysfs("QMDC_VISA_SYSFS", tree.path().c_str());
    ScopedEnv file("QMDC_VISA_RESOURCES_FILE", (tree.path() + "/lan.txt").c_str());
    ScopedEnv noLanDiscovery("QMDC_VISA_DISCOVERY_MS", "0");
    ScopedEnv lan("QMDC_VISA_RESOURCES",
                  "TCPIP::10.0.0.8::inst0::INSTR; TCPIP::10.0.0.7::5025::SOCKET");
    ResourceManager rm;
    using Names = std::vector<std::string>;
    const struct {
        const char* expr;
        ViStatus status;
        Names names;
    } rows[] = {
        {"?*::INSTR",
         VI_SUCCESS,
         {"ASRL1::INSTR", "ASRL11::INSTR", "ASRL/dev/ttyACM3::INSTR", "ASRL/dev/ttyUSB0::INSTR",
          "USB0::0x1AB1::0x0E11::DP8B1234::0::INSTR", "TCPIP0::192x168y1z5::inst0::INSTR",
          "TCPIP0::10.0.0.8::inst0::INSTR"}},
        {"ASRL?*",
         VI_SUCCESS,
         {"ASRL1::INSTR", "ASRL11::INSTR", "ASRL/dev/ttyACM3::INSTR", "ASRL/dev/ttyUSB0::INSTR"}},
        {"asrl[0-9]+::instr", VI_SUCCESS, {"ASRL1::INSTR", "ASRL11::INSTR"}},
        {"TCPIP?*",
         VI_SUCCESS,
         {"TCPIP0::10.0.0.7::5025::SOCKET", "TCPIP0::192x168y1z5::inst0::INSTR",
          "TCPIP0::10.0.0.8::inst0::INSTR"}},
        {"?*SOCKET|USB?*",
         VI_SUCCESS,
         {"USB0::0x1AB1::0x0E11::DP8B1234::0::INSTR", "TCPIP0::10.0.0.7::5025::SOCKET"}},
        {"TCPIP0::10.0.0.7::5025::SOCKET", VI_SUCCESS, {"TCPIP0::10.0.0.7::5025::SOCKET"}},
        {"TCPIP0::10?0?0?7::5025::SOCKET", VI_SUCCESS, {"TCPIP0::10.0.0.7::5025::SOCKET"}},
        {"TCPIP0::10x0.0.7::5025::SOCKET", VI_ERROR_RSRC_NFOUND, {}},     // "." is no wildcard
        {"TCPIP0::192.168.1.5::inst0::INSTR", VI_ERROR_RSRC_NFOUND, {}},  // not 192x168y1z5
        {"USB0::0x1AB1::0x0E11::?*", VI_SUCCESS, {"USB0::0x1AB1::0x0E11::DP8B1234::0::INSTR"}},
        {"GPIB?*", VI_ERROR_RSRC_NFOUND, {}},
        {"ASRL[0-9", VI_ERROR_INV_EXPR, {}},
        {"?*::INSTR{VI_ATTR_INTF_NUM==1}", VI_ERROR_INV_EXPR, {}},
        {"(ASRL", VI_ERROR_INV_EXPR, {}},
    };
    for (const auto& row : rows) {
        ViStatus status = VI_SUCCESS;
        const Names names = rm.find(row.expr, &status);
        EXPECT_EQ(status, row.status) << row.expr;
        EXPECT_EQ(names, row.names) << row.expr;
    }
}

}  // namespace
