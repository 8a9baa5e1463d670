// Writes whose failure ends the command: a full disk or a closed pipe on
// standard output (or a CSV file) is a Failure naming the file, never a run
// that ends with exit status 0 or goes on measuring into nothing.
#pragma once

#include <ostream>
#include <string>

namespace qmdc::cli {

constexpr const char* kStandardOutputName = "standard output";

// Flushes out; throws Failure("cannot write <name>: <reason>") when any write
// to it failed.
void FlushChecked(std::ostream& out, const std::string& name);

// Lines to std::cout, each flushed and checked.
class StandardOutput {
  public:
    void Line(const std::string& text);
};

}  // namespace qmdc::cli
