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
        EXPECT_NE(screen.find("qmdc> VOLT 99\nVOLT 99: error -222,\"Data out of range\"\nqmdc>"),
                  std::string::npos)
            << screen;
        screen = enter("VOLT 4.5");  // no error: nothing printed
        EXPECT_NE(screen.find("qmdc> VOLT 4.5\nqmdc>"), std::string::npos) << screen;
        screen = enter("MEAS:VOLT?");
        EXPECT_NE(screen.find("qmdc> MEAS:VOLT?\nMEAS:VOLT?: timeout: no answer within 300 ms\n"
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
        // Ctrl-C discards the line being typed; the shell goes on.
        terminal.SendKeys({"VOLT 7"});
        terminal.WaitFor("qmdc> VOLT 7");
        terminal.SendKeys({"C-c"});
        terminal.WaitFor("qmdc> VOLT 7\nqmdc>");
        screen = enter("VOLT?");
        EXPECT_EQ(Occurrences(screen, "\n4.5\n"), 3u) << screen;
        terminal.Type("exit");
        terminal.WaitFor("[exit 1]");  // lines failed: VOLT 99, MEAS:VOLT?
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
    EXPECT_EQ(result.status, 1) << result.err;  // lines failed
    EXPECT_EQ(result.out, "Orvane,Rack 30-70 QM,SN0001,1.2.3\n2.5\n0,\"No error\"\n");
    EXPECT_EQ(result.err,
              "VOLT 99: error -222,\"Data out of range\"\n"
              "MEAS:VOLT?: timeout: no answer within 200 ms\n");
    EXPECT_EQ(tool_.Get("VOLTAGE_LEVEL"), "2.5");  // nothing after quit was sent
}

struct PipeCase {
    std::string input;
    int status;
    std::string err;
};

// Each error is reported against the line that caused it, never a later one
// nor the next session; any failed line makes the exit status 1.
TEST_F(ShellTest, ErrorsBelongToTheirLine) {
    const std::vector<PipeCase> cases = {
        {"VOLT:FOO?\nVOLT 1\n", 1,
         "VOLT:FOO?: timeout: no answer within 200 ms\nVOLT:FOO?: error -113,\"Undefined "
         "header\"\n"},
        {"VOLT 1\nVOLT?\n", 0, ""},  // the last session left nothing queued
        {"VOLT:FOO\nVOLT 2\n", 1, "VOLT:FOO: error -113,\"Undefined header\"\n"},
    };
    for (const PipeCase& c : cases) {
        ToolOptions options;
        options.input = c.input;
        const ToolResult result = tool_.Run("shell", {"--timeout", "200"}, options);
        EXPECT_EQ(result.status, c.status) << c.input << result.err;
        EXPECT_EQ(result.err, c.err) << c.input;
    }
}

// A connection the instrument closes is said once, and ends the shell.
TEST(Shell, ALostConnectionEndsIt) {
    // Init takes a message or two; each line two (the line, SYST:ERR?).
    const ToolOnEmulator tool({"--drop-after", "6"});
    ToolOptions options;
    options.input = "*IDN?\n*IDN?\n*IDN?\n*IDN?\n*IDN?\nVOLT 1\n*IDN?\n*IDN?\n";
    const ToolResult result = tool.Run("shell", {"--timeout", "500"}, options);
    EXPECT_EQ(result.status, 1) << result.err;
    EXPECT_EQ(Occurrences(result.err, "connection to the instrument was lost"), 1u) << result.err;
    EXPECT_EQ(Occurrences(result.err, "\n"), 1u) << result.err;
}

}  // namespace
}  // namespace qmdc_cli_test
