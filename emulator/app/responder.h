// What every port does with a client's bytes, in one place: split them into lines
// (LineSplitter), run each line on the instrument and turn its answers into the bytes to
// send, with the fault options applied (Responder), and say when each piece of an answer
// goes (Schedule: --delay-ms, --stall-after, --split), so that each port only frames and
// queues what it is given.
#ifndef QMDC_EMULATOR_APP_RESPONDER_H
#define QMDC_EMULATOR_APP_RESPONDER_H

#include <chrono>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "app/faults.h"
#include "app/transport.h"
#include "core/engine.h"

namespace qmdc::emu {

// A client's message counter and whether its connection is to close once its answers have
// gone (--drop-after).
struct ClientCount {
    long messages = 0;
    bool drop = false;
};

class Responder {
  public:
    static constexpr size_t kMaxLine = 65536;  // the instrument's input buffer

    Responder(Engine& engine, const FaultPlan& faults, bool verbose)
        : engine_(engine), faults_(faults), verbose_(verbose) {}

    // Runs one line from the client `who` names ("tcp", "hislip 7", "vxi11 3") and returns
    // the bytes to send for it (empty: nothing).
    std::string Run(const std::string& who, const std::string& line, ClientCount& count);
    // The client's line did not fit the input buffer: dropped, and the instrument says so.
    void Overflow(const std::string& who);
    void Log(const std::string& who, const char* what, std::string_view text) const;
    bool verbose() const { return verbose_; }
    const FaultPlan& faults() const { return faults_; }

  private:
    Engine& engine_;
    const FaultPlan& faults_;
    bool verbose_;
};

// Splits bytes into lines the same way on every port: a linefeed ends a line, a carriage
// return before it is dropped, END (a HiSLIP DataEnd, a VXI-11 write with END) ends the last
// line without one; empty lines are skipped. A line longer than the input buffer is dropped
// as it comes (-363), up to its linefeed.
class LineSplitter {
  public:
    // Calls onLine for each whole line; false from onLine stops it (the client is dropped)
    // and comes back.
    bool Feed(std::string_view bytes, bool end, Responder& responder, const std::string& who,
              const std::function<bool(const std::string&)>& onLine);
    void Clear() {
        input_.clear();
        discarding_ = false;
    }
    bool empty() const { return input_.empty() && !discarding_; }

  private:
    std::string input_;
    bool discarding_ = false;  // skipping the rest of an overlong line
};

// The pieces of `reply` as the fault options have them go, from `now` on: after --delay-ms
// (the first --stall-after bytes at once, the rest after the delay), in --split chunks 2 ms
// apart, and never in chunks larger than maxChunk (0: no limit).
std::vector<TimedPiece> Schedule(const std::string& reply, const FaultPlan& faults,
                                 Clock::time_point now, size_t maxChunk = 0);

}  // namespace qmdc::emu

#endif
