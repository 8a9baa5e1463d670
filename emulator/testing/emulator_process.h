// Test helper: runs qmdc-emulator as a child process for the lifetime of the object.
//
//   qmdc::testing::EmulatorProcess emulator({"--model", "Bench 50-20 QM"});
//   ViSession vi;
//   viOpen(rm, emulator.resource().c_str(), VI_NULL, VI_NULL, &vi);
//
// The constructor starts the program (the one this library was built with, QMDC_EMULATOR_PATH)
// with the given arguments and waits up to 10 s for the resource name(s) it prints; it
// throws std::runtime_error if the program cannot be started or prints none. The destructor
// stops it with SIGTERM (SIGKILL after 5 s) and reaps it. The child also gets SIGTERM if the
// thread that created the object exits first.
#ifndef QMDC_EMULATOR_TESTING_EMULATOR_PROCESS_H
#define QMDC_EMULATOR_TESTING_EMULATOR_PROCESS_H

#include <sys/types.h>

#include <string>
#include <vector>

namespace qmdc::testing {

class EmulatorProcess {
  public:
    explicit EmulatorProcess(std::vector<std::string> args = {});
    ~EmulatorProcess();
    EmulatorProcess(const EmulatorProcess&) = delete;
    EmulatorProcess& operator=(const EmulatorProcess&) = delete;

    // The first resource name printed: the TCP one when the emulator serves TCP.
    const std::string& resource() const { return resources_.front(); }
    // All of them, in printed order (TCP, then the pty, then HiSLIP).
    const std::vector<std::string>& resources() const { return resources_; }
    pid_t pid() const { return pid_; }
    bool running();
    // Whether a system portmapper (rpcbind) holds port 111 of 127.0.0.1: then only one
    // emulator at a time can serve VXI-11 on this host (it registers there), and every
    // EmulatorProcess with --vxi11 waits for the one before it, in any test program (a file
    // lock in the temporary directory; Python tests take it too).
    static bool SystemPortmapperRunning();
    // Sends SIGTERM and waits for the exit; returns the exit status (128 + signal number
    // if a signal ended it). Idempotent; the destructor needs no call to it.
    int Stop();

  private:
    pid_t pid_ = -1;
    bool reaped_ = false;
    int exitStatus_ = -1;
    std::vector<std::string> resources_;
    bool holdsVxi11Turn_ = false;

    void Reap(int waitStatus);
    void Terminate();
    bool WaitForExit(int timeoutMs);
};

}  // namespace qmdc::testing

#endif
