// The README's C example runs as the README says: against the emulator it
// prints the line the README quotes; when init fails it prints the status and
// the driver's description and exits with 1.
#include <gtest/gtest.h>

#include <sys/wait.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>

#include "emulator_process.h"
#include "loopback_listener.h"

#if !defined(QMDC_README_PATH) || !defined(QMDC_README_C_PROGRAM)
#error "QMDC_README_PATH and QMDC_README_C_PROGRAM must name the README and its C example"
#endif

namespace {

struct ExampleRun {
    int status = -1;
    std::string output;  // standard output and error
};

// The example with the resource as its argument (names without quotes or blanks).
ExampleRun RunExample(const std::string& resource) {
    ExampleRun run;
    const std::string command =
        std::string("'") + QMDC_README_C_PROGRAM + "' " + resource + " 2>&1";
    FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) return run;
    char buffer[512];
    for (size_t n; (n = fread(buffer, 1, sizeof buffer, pipe)) > 0;) run.output.append(buffer, n);
    const int waited = pclose(pipe);
    run.status = WIFEXITED(waited) ? WEXITSTATUS(waited) : -1;
    return run;
}

std::string Readme() {
    std::ifstream file(QMDC_README_PATH);
    std::stringstream text;
    text << file.rdbuf();
    return text.str();
}

TEST(FromC, PrintsWhatTheReadmeSaysAgainstTheEmulator) {
    const qmdc::testing::EmulatorProcess emulator({"--model", "Rack 30-70 QM"});
    const ExampleRun run = RunExample(emulator.resource());
    EXPECT_EQ(run.status, 0) << run.output;
    EXPECT_EQ(run.output, "12.00 V, 1.20 A on a Rack 30-70 QM\n");
    EXPECT_NE(Readme().find("prints `12.00 V, 1.20 A on a Rack 30-70 QM`"), std::string::npos);
}

TEST(FromC, DescribesAFailedInit) {
    const ExampleRun run = RunExample(qmdc_test::ClosedLoopbackResource());  // refused
    EXPECT_EQ(run.status, 1) << run.output;
    EXPECT_EQ(run.output.rfind("0xBFFF", 0), 0u) << run.output;  // a VISA error, passed on
}

}  // namespace
