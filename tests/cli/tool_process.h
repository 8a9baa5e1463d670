// Runs the qmdc program as a test's child: arguments, optional standard input
// and environment changes in; exit status, standard output and standard error
// out. A run that outlives its deadline is killed and fails the test.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace qmdc_cli_test {

struct ToolResult {
    int status = -1;  // exit status, 128 + signal when a signal ended it
    std::string out;
    std::string err;
};

struct ToolOptions {
    std::string input;                                      // standard input
    std::map<std::string, std::optional<std::string>> env;  // nullopt: unset
    std::chrono::milliseconds deadline{30000};
    std::string program;           // another program than qmdc (a shell for a pipeline)
    std::string workingDirectory;  // "": the test's own
};

ToolResult RunTool(const std::vector<std::string>& args, const ToolOptions& options = {});

// A run left going, for what a test does meanwhile (a signal, a look at a file).
class ToolProcess {
  public:
    explicit ToolProcess(const std::vector<std::string>& args, const ToolOptions& options = {});
    ~ToolProcess();
    ToolProcess(const ToolProcess&) = delete;
    ToolProcess& operator=(const ToolProcess&) = delete;

    pid_t pid() const { return pid_; }
    // What the program has written to its standard output so far.
    const std::string& OutputSoFar();
    // Waits for the end, collecting both outputs.
    ToolResult Wait();

  private:
    // Reads what is there, waiting up to timeoutMs for something; false when
    // both outputs are closed.
    bool Collect(int timeoutMs);

    pid_t pid_ = -1;
    int fds_[2] = {-1, -1};  // standard output and error
    ToolResult result_;
    std::chrono::steady_clock::time_point deadline_;
    bool waited_ = false;
};

// The path of the qmdc program under test.
const char* ToolPath();

// Polls until check() holds or the time is up; the last check()'s answer.
template <class Check>
bool Eventually(Check check, std::chrono::milliseconds within = std::chrono::seconds(10));

}  // namespace qmdc_cli_test

#include <thread>

template <class Check>
bool qmdc_cli_test::Eventually(Check check, std::chrono::milliseconds within) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (!check()) {
        if (std::chrono::steady_clock::now() >= end) return check();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}
