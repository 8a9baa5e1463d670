// What the tool's tests share: an emulator with the tool pointed at it, a
// folder of the test's own, and CSV read back into rows.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "emulator_process.h"
#include "temp_folder.h"
#include "tool_process.h"

namespace qmdc_cli_test {

// qmdc <subcommand> <the emulator's resource> <args...>
class ToolOnEmulator {
  public:
    explicit ToolOnEmulator(std::vector<std::string> emulatorArgs = {})
        : emulator_(std::move(emulatorArgs)) {}

    const std::string& resource() const { return emulator_.resource(); }
    const qmdc::testing::EmulatorProcess& emulator() const { return emulator_; }

    ToolResult Run(const std::string& subcommand, std::vector<std::string> args = {},
                   const ToolOptions& options = {}) const {
        args.insert(args.begin(), {subcommand, resource()});
        return RunTool(args, options);
    }
    // The attribute's value as `qmdc get` prints it, without the line end.
    std::string Get(const std::string& name) const;
    // `qmdc set`, which must succeed.
    void Set(const std::string& name, const std::string& value) const;
    // Lines through the shell, without a terminal (EMUL:LOAD 20, ...).
    void Send(const std::string& lines) const;

  private:
    qmdc::testing::EmulatorProcess emulator_;
};

using qmdc_test::TempFolder;

using CsvRow = std::vector<std::string>;
// The rows of a CSV text (no quoted fields), the header first.
std::vector<CsvRow> CsvRows(const std::string& text);
std::string ReadFile(const std::string& path);

// The size of a PNG from its header: width and height; 0 x 0 for no PNG.
std::pair<unsigned, unsigned> PngSize(const std::string& png);
// Renders an SVG into a PNG with rsvg-convert (a test failure when it cannot);
// the PNG's bytes.
std::string Render(const std::string& svg, const std::string& png);

}  // namespace qmdc_cli_test
