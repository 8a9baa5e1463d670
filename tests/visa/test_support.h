// test_support.h - a scripted instrument on a loopback socket, a pseudo
// terminal, and small helpers shared by the VISA tests.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <sys/types.h>
#include <termios.h>

#include "visa.h"

namespace visatest {

using Ms = std::chrono::milliseconds;

// Milliseconds since `start` on the monotonic clock.
inline long long elapsedMs(std::chrono::steady_clock::time_point start) {
    return std::chrono::duration_cast<Ms>(std::chrono::steady_clock::now() - start).count();
}

// An instrument stand-in: listens on 127.0.0.1 (ephemeral port), records
// every line it receives and answers the lines it has a script for.
class ScriptedPeer {
  public:
    struct Reply {
        std::vector<std::string> segments;  // sent one by one (TCP_NODELAY)
        Ms delay{0};                        // before the first segment
        Ms gap{0};                          // between segments
        bool close = false;                 // close the connection afterwards
    };
    struct State {
        std::vector<std::string> lines;  // complete lines, with their "\n"
        std::string bytes;               // everything received
        int accepted = 0;
        int closedByClient = 0;
        int repliesSent = 0;
    };

    ScriptedPeer();
    ~ScriptedPeer();
    ScriptedPeer(const ScriptedPeer&) = delete;
    ScriptedPeer& operator=(const ScriptedPeer&) = delete;

    uint16_t port() const { return port_; }
    std::string resource() const;
    void on(const std::string& line, Reply reply);
    void on(const std::string& line, const std::string& answer) { on(line, Reply{{answer}}); }
    State state();
    // Waits until `pred` holds (or the timeout passes); returns whether it holds.
    bool waitFor(const std::function<bool(const State&)>& pred, Ms timeout = Ms(3000));

  private:
    void run();
    void answer(int fd, const Reply& reply, std::vector<int>& clients);

    int listener_ = -1;
    int wake_[2] = {-1, -1};
    uint16_t port_ = 0;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::map<std::string, Reply> script_;
    State state_;
    std::thread thread_;
};

// A pseudo terminal; the library opens its slave side as ASRL/dev/pts/N.
class Pty {
  public:
    Pty();
    ~Pty();
    std::string resource() const { return "ASRL" + slave_ + "::INSTR"; }
    const std::string& slavePath() const { return slave_; }
    void send(const std::string& bytes);
    // Reads until `n` bytes came or the timeout passed.
    std::string receive(size_t n, Ms timeout = Ms(2000));
    termios lineSettings();
    void hangUp();

  private:
    int master_ = -1;
    std::string slave_;
};

// Takes what the library writes to a pseudo terminal, on a thread of its
// own, at the pace of a slow instrument: nothing during `hold`, then at most
// `chunk` bytes every `period`. Stopped and joined by the destructor.
class PtyReader {
  public:
    struct Pace {
        Ms hold{0};
        size_t chunk = 65536;
        Ms period{0};
    };
    PtyReader(Pty& pty, Pace pace);
    ~PtyReader();
    PtyReader(const PtyReader&) = delete;
    PtyReader& operator=(const PtyReader&) = delete;
    size_t received() const { return received_; }

  private:
    std::atomic<bool> stop_{false};
    std::atomic<size_t> received_{0};
    std::thread thread_;
};

// How many descriptors of this process are open on `path`.
int descriptorsOpenOn(const std::string& path);

// Opens a resource manager for the test's lifetime.
class ResourceManager {
  public:
    ResourceManager();
    ~ResourceManager();
    ViSession rm() const { return rm_; }
    ViStatus open(const std::string& name, ViSession* vi, ViUInt32 timeoutMs = 0);
    // What viFindRsrc and viFindNext list for `expr` (their count checked),
    // with viFindRsrc's status.
    std::vector<std::string> find(const char* expr, ViStatus* status);

  private:
    ViSession rm_ = VI_NULL;
};

// Another process holding a lock on a resource: `program resource [key]`
// locks (shared with the key, else exclusive), says "locked" and holds the
// lock until its input closes. The destructor lets go and reaps it.
class LockHolderProcess {
  public:
    LockHolderProcess(const char* program, const std::string& resource, const char* key);
    ~LockHolderProcess();
    LockHolderProcess(const LockHolderProcess&) = delete;
    LockHolderProcess& operator=(const LockHolderProcess&) = delete;

    // Whether it started and said it holds the lock.
    bool locked() const { return locked_; }
    pid_t pid() const { return pid_; }
    // Closes its input: the holder unlocks and ends.
    void release();
    // Waits for it to end; its wait status, or -1 when there is none.
    int wait();

  private:
    pid_t pid_ = -1;
    int toChild_ = -1;
    int fromChild_ = -1;
    bool locked_ = false;
};

}  // namespace visatest
