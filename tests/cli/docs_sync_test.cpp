// The README keeps up with the code: every QMDC_* environment variable the
// code reads is documented, every option each subcommand's --help offers is
// mentioned, and the exit statuses are the ones the tool's help gives.
#include <gtest/gtest.h>

#include <filesystem>
#include <set>

#include "cli_test_support.h"

#ifndef QMDC_SOURCE_DIR
#error "QMDC_SOURCE_DIR must name the source tree"
#endif

namespace qmdc_cli_test {
namespace {

const std::string kReadme = QMDC_SOURCE_DIR "/README.md";

// The words of text that start with start and go on in chars (std::regex
// trips GCC's uninitialized-use warnings in optimised builds).
std::vector<std::string> Words(const std::string& text, const std::string& start,
                               const std::string& chars) {
    std::vector<std::string> words;
    for (size_t at = text.find(start); at != std::string::npos; at = text.find(start, at + 1)) {
        const size_t end = text.find_first_not_of(chars, at + start.size());
        if (end == at + start.size()) continue;
        words.push_back(text.substr(at, end == std::string::npos ? end : end - at));
    }
    return words;
}

constexpr const char* kUpper = "ABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_";
constexpr const char* kLower = "abcdefghijklmnopqrstuvwxyz-";

// QMDC_* names in the string literals of the files that read the environment.
std::set<std::string> EnvironmentVariablesRead() {
    std::set<std::string> names;
    for (const char* folder : {"kiln", "driver", "platform", "cli", "emulator", "python/qmdc"}) {
        const std::filesystem::path root = std::filesystem::path(QMDC_SOURCE_DIR) / folder;
        for (const auto& entry : std::filesystem::recursive_directory_iterator(root)) {
            if (!entry.is_regular_file()) continue;
            const std::string text = ReadFile(entry.path().string());
            if (text.find("getenv") == std::string::npos &&
                text.find("os.environ") == std::string::npos) {
                continue;
            }
            for (const std::string& quoted : Words(text, "\"QMDC_", kUpper)) {
                const std::string name = quoted.substr(1);
                if (text.find(quoted + "\"") == std::string::npos) continue;  // not a whole literal
                if (name.rfind("QMDC_ATTR_", 0) == 0 || name.rfind("QMDC_VAL_", 0) == 0 ||
                    name.rfind("QMDC_ERROR_", 0) == 0 || name.rfind("QMDC_WARN_", 0) == 0) {
                    continue;
                }
                names.insert(name);
            }
        }
    }
    return names;
}

TEST(Docs, EveryEnvironmentVariableReadIsInTheReadme) {
    const std::string readme = ReadFile(kReadme);
    const std::set<std::string> names = EnvironmentVariablesRead();
    EXPECT_TRUE(names.count("QMDC_VISA_TRACE")) << "the scan found nothing";
    for (const std::string& name : names) {
        EXPECT_NE(readme.find(name), std::string::npos) << name << " is read but not documented";
    }
}

// The subcommands listed by qmdc --help, and the options of each.
TEST(Docs, EveryOptionOfEverySubcommandIsInTheReadme) {
    const std::string readme = ReadFile(kReadme);
    const std::string section = readme.substr(readme.find("## The qmdc tool"));
    const ToolResult main = RunTool({"--help"});
    ASSERT_EQ(main.status, 0);
    const size_t listStart = main.out.find("Subcommands:");
    ASSERT_NE(listStart, std::string::npos) << main.out;
    const std::string list =
        main.out.substr(listStart, main.out.find("\n\n", listStart) - listStart);
    std::vector<std::string> helps = {main.out};
    for (const std::string& line : Words(list, "\n  ", kLower)) {
        const std::string subcommand = line.substr(3);
        EXPECT_NE(section.find("`" + subcommand), std::string::npos) << subcommand;
        const ToolResult help = RunTool({subcommand, "--help"});
        EXPECT_EQ(help.status, 0) << subcommand;
        helps.push_back(help.out);
    }
    EXPECT_GE(helps.size(), 8u) << main.out;
    for (const std::string& help : helps) {
        for (const std::string& name : Words(help, "--", kLower)) {
            EXPECT_NE(section.find(name), std::string::npos) << name << " is not in the README";
        }
    }
    // The exit statuses, as the help gives them.
    for (const std::string status :
         {"0 done", "1 the driver", "2 a usage error", "130 interrupted"}) {
        EXPECT_NE(section.find(status), std::string::npos) << status;
    }
    for (const std::string status :
         {"0 done", "1 the driver", "2 a usage error", "130 interrupted"}) {
        EXPECT_NE(main.out.find(status), std::string::npos) << status;
    }
}

}  // namespace
}  // namespace qmdc_cli_test
