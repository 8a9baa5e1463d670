// The hand-written option-string matchers against the ECMAScript patterns
// they stand for, on many generated texts: both must find the same pairs.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "driver/identity.h"
#include "kiln/lifecycle/option_patterns.h"

namespace {

std::string RandomText(std::mt19937& random, const std::string& alphabet, size_t maxLength) {
    std::uniform_int_distribution<size_t> length(0, maxLength);
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    std::string text(length(random), ' ');
    for (char& c : text) c = alphabet[pick(random)];
    return text;
}

std::vector<kiln::NameValue> RegexPairs(const std::string& text, const std::regex& pattern) {
    std::vector<kiln::NameValue> pairs;
    for (std::sregex_iterator it(text.begin(), text.end(), pattern), end; it != end; ++it) {
        pairs.emplace_back((*it)[1].str(), (*it)[2].str());
    }
    return pairs;
}

}  // namespace

TEST(OptionPatterns, AgreeWithTheRegularExpressions) {
    const std::regex split(R"(\s*DriverSetup\s*=(.*))", std::regex::ECMAScript | std::regex::icase);
    const std::regex inherent(R"(\s*(\w+)\s*=\s*(\w+)\s*,?)");
    const std::regex pair(R"(([\w+_]+)\s*(?:=|:)\s*([^,]+))");
    std::mt19937 random(20261207);
    const std::string alphabet = "ab1_+=:, \t\n.-";
    for (int round = 0; round < 20000; ++round) {
        std::string text = RandomText(random, alphabet, 24);
        if (round % 3 == 0)
            text.insert(text.size() / 2, round % 2 ? " driverSETUP =" : "DriverSetup");
        std::smatch match;
        std::string before, setup;
        const bool expected = std::regex_search(text, match, split);
        ASSERT_EQ(kiln::SplitDriverSetup(text, before, setup), expected) << text;
        if (expected) {
            EXPECT_EQ(before, match.prefix().str()) << text;
            EXPECT_EQ(setup, match[1].str()) << text;
        }
        EXPECT_EQ(kiln::InherentOptionPairs(text), RegexPairs(text, inherent)) << text;
        EXPECT_EQ(kiln::DriverSetupPairs(text), RegexPairs(text, pair)) << text;
    }
}

TEST(ModelGrammar, AgreesWithTheRegularExpression) {
    const std::regex pattern(R"(^\s*(Bench|Rack)\s+(\d+(?:\.\d+)?)\s*-\s*(\d+(?:\.\d+)?)\s*QM\s*$)",
                             std::regex::ECMAScript | std::regex::icase);
    std::mt19937 random(7);
    const char* const forms[] = {"Bench", "rack", "RACK", "Benc", "Rackx", ""};
    const std::string alphabet = "0123456789.- \tQMqmx";
    for (int round = 0; round < 20000; ++round) {
        const std::string text =
            std::string(round % 4 ? " " : "") + forms[round % 6] + RandomText(random, alphabet, 14);
        std::smatch match;
        kiln::ModelTextParts parts;
        const bool expected = std::regex_match(text, match, pattern);
        ASSERT_EQ(kiln::MatchModelText(text, parts), expected) << text;
        if (expected) {
            EXPECT_EQ(parts.voltage, match[2].str()) << text;
            EXPECT_EQ(parts.current, match[3].str()) << text;
        }
    }
}
