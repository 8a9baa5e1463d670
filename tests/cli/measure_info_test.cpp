// qmdc measure and qmdc info, in simulation and against the emulator's
// physics (a resistive load: I = V / R).
#include <gtest/gtest.h>

#include <signal.h>

#include "cli_test_support.h"

namespace qmdc_cli_test {
namespace {

// 6 V on the default 10 ohm load.
class MeasureTest : public ::testing::Test {
  protected:
    void SetUp() override {
        tool_.Set("VOLTAGE_LEVEL", "6");
        tool_.Set("OUTPUT_ENABLED", "on");
    }
    ToolOnEmulator tool_;
};

TEST_F(MeasureTest, CsvRowsFollowTheLoad) {
    const ToolResult result =
        tool_.Run("measure", {"--count", "3", "--interval", "0", "--format", "csv"});
    ASSERT_EQ(result.status, 0) << result.err;
    const auto rows = CsvRows(result.out);
    ASSERT_EQ(rows.size(), 4u) << result.out;
    EXPECT_EQ(rows[0], (CsvRow{"time_s", "voltage_V", "current_A", "power_W"}));
    for (size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ((CsvRow{rows[i][1], rows[i][2], rows[i][3]}), (CsvRow{"6", "0.6", "3.6"}));
    }
    tool_.Send("EMUL:LOAD 20\n");
    const auto after = CsvRows(tool_.Run("measure", {"--format", "csv"}).out);
    ASSERT_EQ(after.size(), 2u);
    EXPECT_EQ(after[1][2], "0.3");
}

TEST_F(MeasureTest, JsonAndTable) {
    const ToolResult json =
        tool_.Run("measure", {"--count", "2", "--interval", "0", "--format", "json"});
    ASSERT_EQ(json.status, 0) << json.err;
    EXPECT_EQ(json.out.rfind("[\n  {\"time_s\": 0, \"voltage_V\": 6, \"current_A\": 0.6, "
                             "\"power_W\": 3.6},\n  {\"time_s\": ",
                             0),
              0u)
        << json.out;
    const std::string end = "\"voltage_V\": 6, \"current_A\": 0.6, \"power_W\": 3.6}\n]\n";
    ASSERT_GT(json.out.size(), end.size());
    EXPECT_EQ(json.out.substr(json.out.size() - end.size()), end);
    const ToolResult table = tool_.Run("measure");
    ASSERT_EQ(table.status, 0) << table.err;
    EXPECT_EQ(table.out,
              "    time_s   voltage_V   current_A     power_W\n"
              "     0.000      6.0000      0.6000      3.6000\n");
}

TEST_F(MeasureTest, UntilCtrlCWithCountZero) {
    ToolProcess measure(
        {"measure", tool_.resource(), "--count", "0", "--interval", "0.02", "--format", "csv"});
    ASSERT_TRUE(Eventually([&] { return CsvRows(measure.OutputSoFar()).size() >= 3; }));
    kill(measure.pid(), SIGINT);
    const ToolResult result = measure.Wait();
    EXPECT_EQ(result.status, 130) << result.err;  // interrupted, as with any count
    const auto rows = CsvRows(result.out);
    ASSERT_GE(rows.size(), 3u) << result.out;
    EXPECT_EQ(rows.back().size(), 4u);  // the last row is whole
}

TEST(Measure, SimulationReadsZero) {
    const ToolResult result = RunTool({"measure", "--simulate", "--format", "csv"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_EQ(result.out, "time_s,voltage_V,current_A,power_W\n0,0,0,0\n");
}

struct ModelCase {
    std::string model;
    std::string ratings;
};

TEST(Info, SimulatedModels) {
    const std::vector<ModelCase> cases = {
        {"", "30 V, 70 A, 1500 W"},  // the driver's default model, Rack 30-70 QM
        {"Bench 50-20 QM", "50 V, 20 A, 600 W"},
        {"Bench 30-33 QM", "30 V, 33 A, 600 W"},
    };
    for (const ModelCase& c : cases) {
        std::vector<std::string> args = {"info", "--simulate"};
        if (!c.model.empty()) args.insert(args.end(), {"--model", c.model});
        const ToolResult result = RunTool(args);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string model = c.model.empty() ? "Rack 30-70 QM" : c.model;
        EXPECT_EQ(result.out,
                  "Resource    simulated\n"
                  "Instrument  Orvane " +
                      model +
                      "\n"
                      "Serial      simulated\n"
                      "Output      on, constant voltage\n"
                      "Levels      0 V, 3.5 A\n"
                      "Protection  OVP 0 V, OCP 5.5 A\n"
                      "Ratings     " +
                      c.ratings +
                      "\n"
                      "Firmware    Sim1.0.0.0\n"
                      "Driver      QmDC 1.0.0.0\n"
                      "Errors      none\n");
    }
}

TEST(Info, TheEmulatorItsStateAndErrorQueue) {
    const ToolOnEmulator tool({"--model", "Bench 50-20 QM", "--firmware", "2.0.1"});
    // Without the status check the instrument's refusals stay in its queue.
    for (const std::string volts : {"60", "70"}) {
        EXPECT_EQ(
            tool.Run("set", {"VOLTAGE_LEVEL", volts, "--options", "QueryInstrStatus=0"}).status, 0);
    }
    const ToolResult first = tool.Run("info");
    ASSERT_EQ(first.status, 0) << first.err;
    EXPECT_EQ(first.out, "Resource    " + tool.resource() +
                             "\n"
                             "Instrument  Orvane Bench 50-20 QM\n"
                             "Serial      SN0001\n"
                             "Output      off, not regulating\n"
                             "Levels      0 V, 20 A\n"
                             "Protection  OVP 55 V, OCP 22 A\n"
                             "Ratings     50 V, 20 A, 600 W\n"
                             "Firmware    2.0.1\n"
                             "Driver      QmDC 1.0.0.0\n"
                             "Errors      -222 Data out of range\n"
                             "            -222 Data out of range\n");
    tool.Set("VOLTAGE_LEVEL", "20");
    tool.Set("CURRENT_LEVEL", "1");
    tool.Set("OUTPUT_ENABLED", "on");  // 20 V on 10 ohm wants 2 A: the supply holds 1 A
    const ToolResult second = tool.Run("info");
    EXPECT_NE(second.out.find("Output      on, constant current\nLevels      20 V, 1 A\n"),
              std::string::npos)
        << second.out;
    EXPECT_NE(second.out.find("Errors      none\n"), std::string::npos) << second.out;
}

TEST(Info, TraceShowsTheTraffic) {
    const ToolOnEmulator tool;
    const ToolResult result = tool.Run("info", {"--trace"});
    ASSERT_EQ(result.status, 0) << result.err;
    EXPECT_NE(result.err.find(tool.resource() + " write \"*IDN?\\n\""), std::string::npos)
        << result.err;
    EXPECT_NE(result.err.find("read \"Orvane,Rack 30-70 QM,SN0001,1.2.3\\n\""), std::string::npos)
        << result.err;
}

}  // namespace
}  // namespace qmdc_cli_test
