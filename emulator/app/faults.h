// Fault injection on the replies: queries that go unanswered, come back as junk or as an
// endless line, and the connection-level faults the server applies.
#ifndef QMDC_EMULATOR_APP_FAULTS_H
#define QMDC_EMULATOR_APP_FAULTS_H

#include <set>
#include <string>
#include <vector>

#include "app/options.h"
#include "core/engine.h"

namespace qmdc::emu {

class FaultPlan {
  public:
    // Resolves the headers named on the command line against the command table and arms
    // the engine's event-status injections. False with a message for an unknown header.
    bool Configure(const FaultOptions& options, Engine& engine, std::string& error);

    // The bytes to send for the answers of one line; empty when nothing is to be sent.
    std::string Reply(const std::vector<Response>& responses) const;

    int delayMs() const { return delayMs_; }
    long dropAfter() const { return dropAfter_; }
    size_t split() const { return split_; }
    size_t stallAfter() const { return stallAfter_; }
    // VXI-11 only: "huge" or "junk" replaces each device_read reply by a broken RPC record.
    const std::string& badRecord() const { return badRecord_; }

    static constexpr size_t kOversizeLength = 100000;

  private:
    int delayMs_ = 0;
    long dropAfter_ = 0;
    size_t split_ = 0;
    size_t stallAfter_ = 0;
    std::string lineEnding_ = "\n";
    std::string badRecord_;
    std::set<CommandId> noReply_;
    std::set<CommandId> garbage_;
    std::set<CommandId> oversize_;
};

}  // namespace qmdc::emu

#endif
