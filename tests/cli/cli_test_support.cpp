#include "cli_test_support.h"

#include <cstdlib>
#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

namespace qmdc_cli_test {

std::string ToolOnEmulator::Get(const std::string& name) const {
    const ToolResult result = Run("get", {name});
    EXPECT_EQ(result.status, 0) << result.err;
    std::string value = result.out;
    if (!value.empty() && value.back() == '\n') value.pop_back();
    return value;
}

void ToolOnEmulator::Set(const std::string& name, const std::string& value) const {
    const ToolResult result = Run("set", {name, value});
    EXPECT_EQ(result.status, 0) << result.err;
}

void ToolOnEmulator::Send(const std::string& lines) const {
    ToolOptions options;
    options.input = lines;
    const ToolResult result = Run("shell", {}, options);
    EXPECT_EQ(result.status, 0) << result.err;
}

std::vector<CsvRow> CsvRows(const std::string& text) {
    std::vector<CsvRow> rows;
    std::istringstream lines(text);
    for (std::string line; std::getline(lines, line);) {
        CsvRow row;
        std::istringstream fields(line);
        for (std::string field; std::getline(fields, field, ',');) row.push_back(field);
        rows.push_back(row);
    }
    return rows;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::pair<unsigned, unsigned> PngSize(const std::string& png) {
    if (png.size() < 24 || png.compare(1, 3, "PNG") != 0) return {0, 0};
    const auto word = [&png](size_t at) {  // big-endian
        unsigned value = 0;
        for (size_t i = 0; i < 4; ++i) value = value << 8 | static_cast<unsigned char>(png[at + i]);
        return value;
    };
    return {word(16), word(20)};
}

std::string Render(const std::string& svg, const std::string& png) {
    const std::string command = "rsvg-convert '" + svg + "' -o '" + png + "'";
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
    return ReadFile(png);
}

}  // namespace qmdc_cli_test
