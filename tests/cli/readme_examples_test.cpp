// The examples of the README's section on the tool, run as written against
// the emulator, so that they cannot fall behind the tool.
#include <gtest/gtest.h>

#include <sstream>

#include "cli_test_support.h"

#ifndef QMDC_README_PATH
#error "QMDC_README_PATH must name the README"
#endif

namespace qmdc_cli_test {
namespace {

// The lines of the first ```sh block after the heading.
std::vector<std::string> ExampleLines(const std::string& readme, const std::string& heading) {
    std::vector<std::string> lines;
    const size_t section = readme.find("\n" + heading + "\n");
    if (section == std::string::npos) return lines;
    const size_t start = readme.find("```sh\n", section);
    const size_t end = readme.find("```\n", start + 6);
    if (start == std::string::npos || end == std::string::npos) return lines;
    std::istringstream block(readme.substr(start + 6, end - start - 6));
    for (std::string line; std::getline(block, line);) {
        if (!line.empty()) lines.push_back(line);
    }
    return lines;
}

std::string Folder(const std::string& path) {
    return path.substr(0, path.rfind('/'));
}

TEST(Readme, ToolExamplesRunAsWritten) {
    const std::vector<std::string> lines =
        ExampleLines(ReadFile(QMDC_README_PATH), "## The qmdc tool");
    ASSERT_GE(lines.size(), 8u) << "no examples found in " << QMDC_README_PATH;
    const ToolOnEmulator tool;
    const TempFolder folder;
    ToolOptions options;
    options.program = "/bin/sh";
    options.workingDirectory = folder.path();
    options.env["RESOURCE"] = tool.resource();
    options.env["PATH"] = Folder(ToolPath()) + ":" + std::getenv("PATH");
    for (const std::string& line : lines) {
        const ToolResult result = RunTool({"-c", line}, options);
        EXPECT_EQ(result.status, 0) << line << "\n" << result.out << result.err;
        EXPECT_EQ(result.out.find("qmdc:"), std::string::npos) << line;
    }
    EXPECT_GT(CsvRows(ReadFile(folder.File("vi.csv"))).size(), 20u);
    EXPECT_NE(ReadFile(folder.File("vi.svg")).find("<svg"), std::string::npos);
}

}  // namespace
}  // namespace qmdc_cli_test
