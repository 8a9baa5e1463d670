// How a subcommand gives up: a usage error (the user asked for something the
// tool cannot do; exit status 2) or a failure while doing it (the driver, the
// instrument, a file or a helper program; exit status 1). main() prints the
// message and exits with the status; nothing else prints errors.
#pragma once

#include <stdexcept>
#include <string>

namespace qmdc::cli {

enum ExitStatus { kSuccess = 0, kFailure = 1, kUsage = 2, kInterrupted = 130 };

class Failure : public std::runtime_error {
  public:
    explicit Failure(const std::string& message, int exitStatus = kFailure)
        : std::runtime_error(message), exitStatus_(exitStatus) {}
    int exitStatus() const { return exitStatus_; }

  private:
    int exitStatus_;
};

class UsageError : public Failure {
  public:
    explicit UsageError(const std::string& message) : Failure(message, kUsage) {}
};

}  // namespace qmdc::cli
