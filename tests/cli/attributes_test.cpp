// Attributes by name: the listing against the driver's own table, get and set
// of every value type in simulation and against the emulator, and a logical
// name from the configuration store.
#include <gtest/gtest.h>

#include "cli_test_support.h"
#include "driver/attribute_table.h"
#include "kiln/attributes/enum_command_map.h"
#include "store_xml.h"
#include "temp_store.h"

namespace qmdc_cli_test {
namespace {

std::string Line(const std::string& text) {
    return text.empty() || text.back() != '\n' ? text : text.substr(0, text.size() - 1);
}

TEST(Attributes, ListsEveryRowOfTheDriversTable) {
    const ToolResult result = RunTool({"attributes"});
    ASSERT_EQ(result.status, 0) << result.err;
    for (const kiln::AttributeRow& row : qmdc::AttributeTable()) {
        const size_t at = result.out.find(std::string(row.name) + " ");
        ASSERT_NE(at, std::string::npos) << row.name;
        // The line, with a blank at its end so that each column is followed by one.
        const std::string line = result.out.substr(at, result.out.find('\n', at) - at) + " ";
        EXPECT_NE(line.find(" " + std::to_string(row.id) + " "), std::string::npos) << line;
        EXPECT_NE(line.find(kiln::TypeName(row.type)), std::string::npos) << line;
        EXPECT_NE(line.find(row.access == kiln::Access::ReadWrite ? " R/W " : " R "),
                  std::string::npos)
            << line;
        if (row.behaviour.map == nullptr) continue;
        for (const kiln::EnumCommandInfo& entry : row.behaviour.map().Entries()) {
            EXPECT_NE(result.out.find(entry.Name + " (" + std::to_string(entry.Value) + ")", at),
                      std::string::npos)
                << row.name << " " << entry.Name;
        }
    }
}

// Each attribute's unit and description come from the comment of its macro in QmDC.h.
TEST(Attributes, ListsUnitsAndDescriptionsFromTheHeader) {
    const ToolResult result = RunTool({"attributes"});
    ASSERT_EQ(result.status, 0) << result.err;
    struct Row {
        std::string name, unit, description;
    };
    const std::vector<Row> rows = {
        {"QMDC_ATTR_VOLTAGE_LEVEL", "volts", ""},
        {"QMDC_ATTR_CURRENT_LIMIT", "amperes", "over-current level"},
        {"QMDC_ATTR_SYSTEM_IO_TIMEOUT", "milliseconds", ""},
        {"QMDC_ATTR_AUTO_START_ENABLED", "", "output on at power-up"},
        {"QMDC_ATTR_CHANNEL_COUNT", "", "number of outputs (1)"},
    };
    EXPECT_EQ(result.out.rfind("NAME", 0), 0u);
    EXPECT_NE(result.out.find("  UNIT  "), std::string::npos) << result.out.substr(0, 200);
    for (const Row& row : rows) {
        const size_t at = result.out.find(row.name + " ");
        ASSERT_NE(at, std::string::npos) << row.name;
        const size_t end = result.out.find('\n', at);
        const std::string line = result.out.substr(at, end - at);
        if (!row.unit.empty()) {
            EXPECT_NE(line.find(" " + row.unit), std::string::npos) << line;
        }
        if (row.description.empty()) continue;
        const std::string next =
            result.out.substr(end + 1, result.out.find('\n', end + 1) - end - 1);
        EXPECT_NE(next.find("    "), std::string::npos) << next;
        EXPECT_NE(next.find(row.description), std::string::npos) << row.name << ": " << next;
    }
}

struct GetCase {
    std::vector<std::string> args;  // after "get --simulate"
    std::string value;
};

TEST(Attributes, GetInSimulation) {
    const std::vector<GetCase> cases = {
        {{"VOLTAGE_LEVEL"}, "0"},                                // Real64, fixed
        {{"qmdc_attr_current_level"}, "3.5"},                    // Real64, default; any case
        {{"1150006"}, "3.5"},                                    // by id
        {{"CHANNEL_COUNT"}, "1"},                                // Int32
        {{"OPERATION_ENABLE_REGISTER"}, "0"},                    // Int32
        {{"OUTPUT_ENABLED"}, "on"},                              // Boolean
        {{"AUTO_START_ENABLED"}, "off"},                         // Boolean
        {{"CONTROL_SOURCE"}, "QMDC_VAL_CONTROL_SOURCE_REMOTE"},  // enumerated
        {{"CURRENT_LIMIT_BEHAVIOR"}, "QMDC_VAL_CURRENT_TRIP"},
        {{"SCPI_VERSION"}, "1999.0"},  // String
        {{"SPECIFIC_DRIVER_PREFIX"}, "QmDC"},
        {{"INSTRUMENT_MODEL", "--model", "Bench 50-20 QM"}, "Bench 50-20 QM"},
        {{"VOLTAGE_LEVEL", "--channel", "CH1"}, "0"},
    };
    for (const GetCase& c : cases) {
        std::vector<std::string> args = {"get", "--simulate"};
        args.insert(args.end(), c.args.begin(), c.args.end());
        const ToolResult result = RunTool(args);
        EXPECT_EQ(result.status, 0) << c.args[0] << ": " << result.err;
        EXPECT_EQ(result.out, c.value + "\n") << c.args[0];
    }
}

TEST(Attributes, SetEveryTypeInSimulation) {
    const std::vector<std::vector<std::string>> cases = {
        {"VOLTAGE_LEVEL", "12.5"},
        {"CURRENT_LEVEL", "1e-3"},
        {"OPERATION_ENABLE_REGISTER", "0x200"},
        {"AUTO_START_ENABLED", "TRUE"},
        {"REMOTE_SENSE_ENABLED", "VI_FALSE"},
        {"CONTROL_SOURCE", "QMDC_VAL_CONTROL_SOURCE_LOCAL"},
        {"CONTROL_SOURCE", "analog_dual"},
        {"ANALOG_OUTPUT_MODE", "2"},
        {"CONTROL_SOURCE", "lock"},  // the end of REMOTE_WITH_LOCK
    };
    for (const auto& c : cases) {
        const ToolResult result = RunTool({"set", "--simulate", c[0], c[1]});
        EXPECT_EQ(result.status, 0) << c[0] << " " << c[1] << ": " << result.err;
        EXPECT_EQ(result.out + result.err, "") << c[0];
    }
}

struct RoundTrip {
    std::string name;
    std::string value;  // as set
    std::string shown;  // as get prints it afterwards
};

TEST(Attributes, SetThenGetOnTheEmulator) {
    const ToolOnEmulator tool;
    const std::vector<RoundTrip> cases = {
        {"CURRENT_LEVEL", "1.25", "1.25"},              // Real64
        {"qmdc_attr_voltage_level", "12.5", "12.5"},    // class attribute
        {"OPERATION_ENABLE_REGISTER", "512", "512"},    // Int32
        {"STATUS_BYTE_ENABLE_REGISTER", "0x30", "48"},  // Int32 in hex
        {"AUTO_START_ENABLED", "on", "on"},             // Boolean
        {"AUTO_START_ENABLED", "false", "off"},
        {"REMOTE_SENSE_ENABLED", "1", "on"},
        {"REMOTE_SENSE_ENABLED", "VI_FALSE", "off"},
        {"CONTROL_SOURCE", "QMDC_VAL_CONTROL_SOURCE_LOCAL", "QMDC_VAL_CONTROL_SOURCE_LOCAL"},
        {"CONTROL_SOURCE", "remote_with_lock", "QMDC_VAL_CONTROL_SOURCE_REMOTE_WITH_LOCK"},
        {"CONTROL_SOURCE", "1", "QMDC_VAL_CONTROL_SOURCE_REMOTE"},  // by number
        {"ANALOG_OUTPUT_MODE", "2", "QMDC_VAL_ANALOG_OUTPUT_MODE_SERIES"},
        {"ANALOG_CURRENT_SCALING_LEVEL", "VOLT_5", "QMDC_VAL_ANALOG_SCALING_LEVEL_VOLT_5"},
        {"OUTPUT_ENABLED", "off", "off"},
    };
    for (const RoundTrip& c : cases) {
        tool.Set(c.name, c.value);
        EXPECT_EQ(tool.Get(c.name), c.shown) << c.name << " " << c.value;
    }
    EXPECT_EQ(tool.Get("SCPI_VERSION"), "1999.0");
    EXPECT_EQ(tool.Get("INSTRUMENT_MANUFACTURER"), "Orvane");
}

TEST(Attributes, TheInstrumentsRefusalIsTheDriversFailure) {
    const ToolOnEmulator tool;
    struct Refusal {
        std::vector<std::string> args;
        std::string err;
    };
    const std::vector<Refusal> cases = {
        // The instrument's error queue is shown with the driver's description.
        {{"VOLTAGE_LEVEL", "100"},
         "set QMDC_ATTR_VOLTAGE_LEVEL: Instrument error detected.  Use ErrorQuery() to determine "
         "the error(s). (0xBFFA0001); instrument: -222 Data out of range"},
        {{"CURRENT_LIMIT_BEHAVIOR", "regulate"},
         "Enumeration value 'QMDC_VAL_CURRENT_REGULATE' passed as the value"},
        {{"OVP_ENABLED", "off"}, "0xBFFA0013"},
    };
    for (const Refusal& c : cases) {
        const ToolResult result = tool.Run("set", c.args);
        EXPECT_EQ(result.status, 1) << c.args[0];
        EXPECT_NE(result.err.find(c.err), std::string::npos) << result.err;
    }
    // With the status check turned off by the user, the instrument's error stays queued.
    EXPECT_EQ(tool.Run("set", {"VOLTAGE_LEVEL", "100", "--options", "QueryInstrStatus=0"}).status,
              0);
    const ToolResult info = tool.Run("info");
    EXPECT_NE(info.out.find("Errors      -222 Data out of range"), std::string::npos) << info.out;
}

TEST(Attributes, ALogicalNameFromTheConfigurationStore) {
    const ToolOnEmulator tool({"--model", "Bench 50-20 QM"});
    const qmdc_test::TempStoreFile store(
        qmdc_test::StoreXml("BenchSupply", "BenchSession",
                            qmdc_test::VirtualNames({{"Main", "CH1"}}), tool.resource()));
    // The tool inherits IVICONFIGSERVERDEFAULT, which the store file names.
    EXPECT_EQ(RunTool({"set", "BenchSupply", "VOLTAGE_LEVEL", "7.5", "--channel", "Main"}).status,
              0);
    const ToolResult get = RunTool({"get", "BenchSupply", "VOLTAGE_LEVEL"});
    EXPECT_EQ(get.status, 0) << get.err;
    EXPECT_EQ(Line(get.out), "7.5");
    const ToolResult info = RunTool({"info", "BenchSupply"});
    EXPECT_NE(info.out.find("Resource    " + tool.resource()), std::string::npos) << info.out;
    EXPECT_NE(info.out.find("Orvane Bench 50-20 QM"), std::string::npos) << info.out;
}

}  // namespace
}  // namespace qmdc_cli_test
