// qmdc shell as a person uses it, on a terminal (tmux), and fed from a pipe.
#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "tmux_terminal.h"

namespace qmdc_cli_test {
namespace {

constexpr const char* kPrompt = "qmdc>";  // the screen keeps no trailing blank

// The emulator never answers MEAS:VOLT?, so that a query times out.
class ShellTest : public ::testing::Test {
  protected:
    std::string ShellCommand() const {
        return "HOME=" + home_.path() + " " + ToolPath() + " shell " + tool_.resource() +
               " --timeout 300";
    }
    ToolOnEmulator tool_{{"--no-reply", "MEAS:VOLT?"}};
    TempFolder home_;
};

TEST_F(ShellTest, QueryCommandErrorTimeoutAndHistory) {
    {
        TmuxTerminal terminal(ShellCommand());
        terminal.WaitFor(kPrompt);
        // As a person does: a line, then the next once the prompt is back.
        const auto enter = [&terminal](const std::string& line) {
            const size_t prompts = Occurrences(terminal.Screen(), kPrompt);
            terminal.Type(line);
            return terminal.WaitForCount(kPrompt, prompts + 1);
        };
        std::string screen = enter("*IDN?");
        EXPECT_NE(screen.find("qmdc> *IDN?\nOrvane,Rack 30-70 QM,SN0001,1.2.3\nqmdc>"),
                  std::string::npos)
            << screen;
        screen = enter("VOLT 99");
        EXPECT_NE(screen.find("qmdc> VOLT 99\nerror -222,\"Data out of range\"\nqmdc>"),
                  std::string::npos)
            << screen;
        screen = enter("VOLT 4.5");  // no error: nothing printed
        EXPECT_NE(screen.find("qmdc> VOLT 4.5\nqmdc>"), std::string::npos) << screen;
        screen = enter("MEAS:VOLT?");
        EXPECT_NE(screen.find("qmdc> MEAS:VOLT?\ntimeout: no answer to MEAS:VOLT? within 300 ms\n"
                              "qmdc>"),
                  std::string::npos)
            << screen;
        // The prompt stays usable after the timeout.
        screen = enter("VOLT?");
        EXPECT_NE(screen.find("qmdc> VOLT?\n4.5\nqmdc>"), std::string::npos) << screen;
        // Up recalls the line before: VOLT? again.
        terminal.SendKeys({"Up", "Enter"});
        screen = terminal.WaitForCount("\n4.5\n", 2);
        EXPECT_EQ(Occurrences(screen, "qmdc> VOLT?\n4.5\n"), 2u) << screen;
        terminal.Type("exit");
        terminal.WaitFor("[exit 0]");
    }
    // A new shell remembers the history of the last one.
    TmuxTerminal terminal(ShellCommand());
    terminal.WaitFor(kPrompt);
    terminal.SendKeys({"Up", "Up"});
    terminal.WaitFor("qmdc> VOLT?");  // fails the test when it never shows
    terminal.SendKeys({"C-u", "C-d"});
    terminal.WaitFor("[exit 0]");
}

TEST_F(ShellTest, LinesFromAPipe) {
    ToolOptions options;
    options.input = "*IDN?\n\nVOLT 99\n  VOLT 2.5 \nVOLT?\nMEAS:VOLT?\nSYST:ERR?\nquit\nVOLT 1\n";
    const ToolResult result = tool_.Run("shell", {"--timeout", "200"}, options);
    EXPECT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "Orvane,Rack 30-70 QM,SN0001,1.2.3\n2.5\n0,\"No error\"\n");
    EXPECT_EQ(result.err,
              "error -222,\"Data out of range\"\n"
              "timeout: no answer to MEAS:VOLT? within 200 ms\n");
    EXPECT_EQ(tool_.Get("VOLTAGE_LEVEL"), "2.5");  // nothing after quit was sent
}

}  // namespace
}  // namespace qmdc_cli_test
