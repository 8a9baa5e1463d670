// qmdc sweep against the emulator's physics, its plot rendered, its end on a
// trip and on Ctrl-C, and its progress bar on a terminal.
#include <gtest/gtest.h>

#include <signal.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>

#include "cli_test_support.h"
#include "tmux_terminal.h"

namespace qmdc_cli_test {
namespace {

std::vector<std::string> SweepArgs(const std::string& from, const std::string& to,
                                   const std::string& step, std::vector<std::string> more = {}) {
    std::vector<std::string> args = {"--from", from, "--to", to, "--step", step, "--settle", "0"};
    args.insert(args.end(), more.begin(), more.end());
    return args;
}

struct PhysicsCase {
    double ohms;
    double currentLevel;  // --current-limit: the level the supply regulates the current to
    std::string from, to, step;
    size_t steps;
};

// A resistive load: I = V / R while that is below the current level, then the
// supply holds the current level and the voltage falls to I x R.
TEST(Sweep, CsvFollowsOhmsLawUntilTheCurrentLevel) {
    const std::vector<PhysicsCase> cases = {
        {10.0, 1.5, "0", "30", "2.5", 13},
        {4.0, 2.0, "0", "12", "1", 13},
        {10.0, 1.0, "20", "4", "4", 5},  // downwards
        {2.5, 8.0, "1", "2", "0.3", 5},  // the last step is shorter: 1, 1.3, 1.6, 1.9, 2
    };
    for (const PhysicsCase& c : cases) {
        const ToolOnEmulator tool({"--load", std::to_string(c.ohms)});
        const ToolResult result = tool.Run(
            "sweep",
            SweepArgs(c.from, c.to, c.step, {"--current-limit", std::to_string(c.currentLevel)}));
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(result.err, "");  // no progress bar without a terminal
        const auto rows = CsvRows(result.out);
        ASSERT_EQ(rows.size(), c.steps + 1) << result.out;
        EXPECT_EQ(rows[0], (CsvRow{"set_voltage_V", "voltage_V", "current_A", "power_W", "mode"}));
        for (size_t i = 1; i < rows.size(); ++i) {
            const double set = std::stod(rows[i][0]);
            const double amps = std::min(set / c.ohms, c.currentLevel);
            const bool limited = set / c.ohms > c.currentLevel;
            EXPECT_NEAR(std::stod(rows[i][2]), amps, 1e-9) << result.out;
            EXPECT_NEAR(std::stod(rows[i][1]), amps * c.ohms, 1e-9) << result.out;
            EXPECT_NEAR(std::stod(rows[i][3]), amps * amps * c.ohms, 1e-9) << result.out;
            EXPECT_EQ(rows[i][4], limited ? "CC" : "CV") << result.out;
        }
        EXPECT_EQ(rows.back()[0], c.to);
        EXPECT_EQ(tool.Get("OUTPUT_ENABLED"), "off");
    }
}

TEST(Sweep, LevelsInSimulation) {
    const std::vector<std::pair<std::vector<std::string>, std::vector<std::string>>> cases = {
        {SweepArgs("0", "1", "0.3"), {"0", "0.3", "0.6", "0.9", "1"}},
        {SweepArgs("1", "0", "0.5"), {"1", "0.5", "0"}},
        {SweepArgs("2", "2", "1"), {"2"}},
        {SweepArgs("0", "0.3", "0.1"), {"0", "0.1", "0.2", "0.3"}},
    };
    for (const auto& [args, levels] : cases) {
        std::vector<std::string> command = {"sweep", "--simulate"};
        command.insert(command.end(), args.begin(), args.end());
        const ToolResult result = RunTool(command);
        ASSERT_EQ(result.status, 0) << result.err;
        const auto rows = CsvRows(result.out);
        std::vector<std::string> got;
        for (size_t i = 1; i < rows.size(); ++i) got.push_back(rows[i][0]);
        EXPECT_EQ(got, levels);
    }
}

TEST(Sweep, PlotsTheCurveAndItRenders) {
    const ToolOnEmulator tool;
    const TempFolder folder;
    const ToolResult result =
        tool.Run("sweep", SweepArgs("0", "30", "2.5",
                                    {"--current-limit", "1.5", "--output", folder.File("vi.csv"),
                                     "--plot", folder.File("vi.svg")}));
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(CsvRows(ReadFile(folder.File("vi.csv"))).size(), 14u);

    const std::string svg = ReadFile(folder.File("vi.svg"));
    for (const std::string text : {"Rack 30-70 QM: V-I sweep", "Voltage set (V)", "Current (A)",
                                   "constant voltage", "constant current"}) {
        EXPECT_NE(svg.find(text), std::string::npos) << text;
    }
    // Rendered, the plot is a picture of its declared size with far more in it than a
    // blank page of that size.
    const std::string plot = Render(folder.File("vi.svg"), folder.File("vi.png"));
    EXPECT_EQ(PngSize(plot), std::make_pair(800u, 500u));
    std::FILE* blank = std::fopen(folder.File("blank.svg").c_str(), "w");
    std::fputs(
        "<svg xmlns='http://www.w3.org/2000/svg' width='800' height='500'>"
        "<rect width='800' height='500' fill='white'/></svg>",
        blank);
    std::fclose(blank);
    const std::string empty = Render(folder.File("blank.svg"), folder.File("blank.png"));
    EXPECT_GT(plot.size(), 5 * empty.size()) << plot.size() << " vs " << empty.size();

    const ToolResult png = tool.Run(
        "sweep",
        SweepArgs("0", "5", "1", {"--output", "/dev/null", "--plot", folder.File("vi.PNG")}));
    ASSERT_EQ(png.status, 0) << png.err;
    EXPECT_EQ(PngSize(ReadFile(folder.File("vi.PNG"))), std::make_pair(800u, 500u));
}

TEST(Sweep, WithoutGnuplotNothingIsTouched) {
    const ToolOnEmulator tool;
    tool.Set("VOLTAGE_LEVEL", "3");
    const TempFolder folder;
    ToolOptions options;
    options.env["PATH"] = "/nonexistent-qmdc-test";
    const ToolResult result =
        tool.Run("sweep", SweepArgs("0", "10", "1", {"--plot", folder.File("never.svg")}), options);
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "qmdc: cannot plot: gnuplot is not installed (on Debian: apt-get install "
              "gnuplot-nox)\n");
    EXPECT_EQ(result.out, "");
    EXPECT_EQ(tool.Get("VOLTAGE_LEVEL"), "3");
    EXPECT_FALSE(std::filesystem::exists(folder.File("never.svg")));
}

TEST(Sweep, ATripStopsItAndTheOutputIsOff) {
    const ToolOnEmulator tool;
    tool.Set("OVER_CURRENT_PROTECTION_LEVEL", "0.45");
    const ToolResult result = tool.Run("sweep", SweepArgs("0", "10", "1"));
    EXPECT_EQ(result.status, 1);
    EXPECT_EQ(result.err,
              "qmdc: the over-current protection tripped at 5 V; the sweep stopped after 6 of 11 "
              "steps; the levels are back at 0 V, 70 A and the output is off\n");
    const auto rows = CsvRows(result.out);
    ASSERT_EQ(rows.size(), 7u) << result.out;
    EXPECT_EQ(rows.back()[4], "OC");
    EXPECT_EQ(tool.Get("OUTPUT_ENABLED"), "off");
}

TEST(Sweep, CtrlCFinishesTheStepAndSwitchesOff) {
    const ToolOnEmulator tool;
    const TempFolder folder;
    ToolProcess sweep({"sweep", tool.resource(), "--from", "0", "--to", "10", "--step", "1",
                       "--settle", "100", "--output", folder.File("cut.csv")});
    ASSERT_TRUE(Eventually([&] { return CsvRows(ReadFile(folder.File("cut.csv"))).size() >= 3; }));
    kill(sweep.pid(), SIGINT);
    const ToolResult result = sweep.Wait();
    EXPECT_EQ(result.status, 130) << result.err;
    const auto rows = CsvRows(ReadFile(folder.File("cut.csv")));
    EXPECT_LT(rows.size(), 12u);
    EXPECT_EQ(rows.back().size(), 5u);  // the step in progress was finished
    EXPECT_EQ(result.err, "qmdc: interrupted after " + std::to_string(rows.size() - 1) +
                              " of 11 steps; the levels are back at 0 V, 70 A and the output "
                              "is off\n");
    EXPECT_EQ(tool.Get("OUTPUT_ENABLED"), "off");
}

// A long settling time is no reason to make Ctrl-C wait.
TEST(Sweep, CtrlCCutsTheSettlingShort) {
    const ToolOnEmulator tool;
    const TempFolder folder;
    ToolOptions options;
    options.deadline = std::chrono::seconds(20);
    ToolProcess sweep({"sweep", tool.resource(), "--from", "0", "--to", "10", "--step", "1",
                       "--settle", "600000", "--output", folder.File("long.csv")},
                      options);
    // The header is written before the first step; Ctrl-C before or during its
    // settling ends the sweep after that step alike.
    ASSERT_TRUE(Eventually([&] { return !CsvRows(ReadFile(folder.File("long.csv"))).empty(); }));
    kill(sweep.pid(), SIGINT);
    const ToolResult result = sweep.Wait();
    EXPECT_EQ(result.status, 130) << result.err;
    EXPECT_EQ(result.err,
              "qmdc: interrupted after 1 of 11 steps; the levels are back at 0 V, 70 A and the "
              "output is off\n");
    EXPECT_EQ(CsvRows(ReadFile(folder.File("long.csv"))).size(), 2u);
    EXPECT_EQ(tool.Get("OUTPUT_ENABLED"), "off");
}

struct RestoreCase {
    std::string outputBefore;
    std::vector<std::string> emulatorArgs;  // a trip, a Ctrl-C
    bool interrupt;
    int status;
    std::string outputAfter;
};

// The supply gets back the levels it had and its output state, so that the
// next "output on" does not put the sweep's last step on the device; after a
// trip the output stays off.
TEST(Sweep, RestoresTheSupplyHoweverItEnds) {
    const std::vector<RestoreCase> cases = {
        {"off", {}, false, 0, "off"},
        {"on", {}, false, 0, "on"},
        {"on", {}, true, 130, "on"},
        {"off", {}, true, 130, "off"},
        {"on", {"--load", "2"}, false, 1, "off"},  // 10 V on 2 ohm trips the 4 A protection
    };
    for (const RestoreCase& c : cases) {
        const ToolOnEmulator tool(c.emulatorArgs);
        tool.Set("VOLTAGE_LEVEL", "3.3");
        tool.Set("CURRENT_LEVEL", "0.5");
        tool.Set("OVER_CURRENT_PROTECTION_LEVEL", "4");
        tool.Set("OUTPUT_ENABLED", c.outputBefore);
        const TempFolder folder;
        ToolProcess sweep({"sweep", tool.resource(), "--from", "0", "--to", "20", "--step", "2",
                           "--current-limit", "5", "--settle", c.interrupt ? "100" : "0",
                           "--output", folder.File("s.csv")});
        if (c.interrupt) {
            ASSERT_TRUE(
                Eventually([&] { return CsvRows(ReadFile(folder.File("s.csv"))).size() >= 3; }));
            kill(sweep.pid(), SIGINT);
        }
        const ToolResult result = sweep.Wait();
        const std::string what = c.outputBefore + (c.interrupt ? " Ctrl-C" : "");
        EXPECT_EQ(result.status, c.status) << what << result.err;
        EXPECT_EQ(tool.Get("VOLTAGE_LEVEL"), "3.3") << what;
        EXPECT_EQ(tool.Get("CURRENT_LEVEL"), "0.5") << what;
        EXPECT_EQ(tool.Get("OUTPUT_ENABLED"), c.outputAfter) << what;
    }
}

// Files that cannot be written are found before the supply is touched, and
// nothing of gnuplot's lands on standard output.
TEST(Sweep, UnwritableFilesStopItBeforeItStarts) {
    const ToolOnEmulator tool;
    tool.Set("VOLTAGE_LEVEL", "3");
    const std::vector<std::vector<std::string>> cases = {
        {"--plot", "/nonexistent-folder/vi.svg"},
        {"--output", "/nonexistent-folder/vi.csv"},
        {"--plot", "/proc/version.svg"},
    };
    for (const auto& args : cases) {
        const ToolResult result = tool.Run("sweep", SweepArgs("0", "10", "1", args));
        EXPECT_EQ(result.status, 1) << args[1];
        EXPECT_EQ(result.err.rfind("qmdc: cannot write " + args[1] + ": ", 0), 0u) << result.err;
        EXPECT_EQ(result.out, "") << args[1];
        EXPECT_EQ(tool.Get("VOLTAGE_LEVEL"), "3") << args[1];
    }
}

TEST(Sweep, ProgressBarOnATerminal) {
    const ToolOnEmulator tool;
    const TempFolder folder;
    TmuxTerminal terminal(std::string(ToolPath()) + " sweep " + tool.resource() +
                          " --from 0 --to 10 --step 1 --settle 100 --output " +
                          folder.File("bar.csv"));
    const std::string during = terminal.WaitFor("/11  ");
    EXPECT_NE(during.find("[#"), std::string::npos) << during;
    EXPECT_NE(during.find(" V  "), std::string::npos) << during;
    const std::string after = terminal.WaitFor("[exit 0]");
    EXPECT_EQ(after.find("/11"), std::string::npos) << after;  // cleared at the end
    EXPECT_EQ(CsvRows(ReadFile(folder.File("bar.csv"))).size(), 12u);
}

}  // namespace
}  // namespace qmdc_cli_test
