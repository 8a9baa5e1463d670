// The hand-written selector and range matchers against the regular
// expressions they stand for, on many random texts, and on texts long enough
// to exhaust a small stack if matched recursively.
#include <gtest/gtest.h>

#include <random>
#include <regex>
#include <string>

#include "kiln/repcap/selector_grammar.h"
#include "small_stack.h"

namespace {

const std::string kIdentifier = "\\s*[\\w_!]+";
const std::string kRange = "(?:\\s*[a-z_!]+[0-9]+\\s*-\\s*[a-z_!]+[0-9]+)";
const std::string kList =
    "(?:" + kRange + "|" + kIdentifier + ")" + "(?:\\s*,(?:" + kRange + "|" + kIdentifier + "))*";
const std::regex kSelector("^(?:\\s*\\[?" + kList + "\\s*\\]?)" + "(?:\\s*:\\s*\\[?" + kList +
                               "\\s*\\]?)*$",
                           std::regex::ECMAScript | std::regex::icase);
const std::regex kRangeItem("^\\s*([a-z_!]+)([0-9]+)\\s*-\\s*\\1([0-9]+)$",
                            std::regex::ECMAScript | std::regex::icase);

std::string RandomText(std::mt19937& random, const std::string& alphabet, size_t maxLength) {
    std::string text(std::uniform_int_distribution<size_t>(0, maxLength)(random), ' ');
    std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
    for (char& c : text) c = alphabet[pick(random)];
    return text;
}

TEST(SelectorGrammar, MatchesExactlyWhatTheExpressionMatches) {
    std::mt19937 random(20261207);
    const std::string alphabet = "cChH12 0\t,:[]-!_;x\v";
    size_t matched = 0;
    for (int i = 0; i < 60000; ++i) {
        const std::string text = RandomText(random, alphabet, 14);
        const bool expected = std::regex_match(text, kSelector);
        ASSERT_EQ(kiln::MatchesSelectorGrammar(text), expected) << "'" << text << "'";
        matched += expected;
    }
    EXPECT_GT(matched, 1000u);  // both outcomes were exercised
}

TEST(SelectorGrammar, KnownForms) {
    for (const char* accepted : {"CH1", " CH1 ", "[CH1]", "[ CH1 ]", "OutputChannel!!CH1",
                                 "CH1,CH2", "CH1 , CH2", "CH1-CH3", "ch1 - CH3", "a:b", "[a,b]:c",
                                 "a : [b, c]", "[CH1", "CH1]", "[CH1] :CH2", "CH1 "}) {
        EXPECT_TRUE(kiln::MatchesSelectorGrammar(accepted)) << accepted;
    }
    for (const char* refused : {"", " ", "CH 1", "CH1;", "CH1-", "-CH1", "CH1,,CH1", "[CH1] ",
                                "CH1-CH2x", "a1b-a2", "CH1:", ":CH1", "[]", "CH1-CH2-CH3"}) {
        EXPECT_FALSE(kiln::MatchesSelectorGrammar(refused)) << refused;
    }
}

TEST(SelectorGrammar, RangeItemsMatchLikeTheExpression) {
    std::mt19937 random(7);
    const char* const pieces[] = {"CH", "ch", "cH", "x", "1", "12", "0", "-", " ", "\t", "!", "_"};
    size_t matched = 0;
    for (int i = 0; i < 60000; ++i) {
        // Half of the texts follow the form "base index - base index" with
        // each part drawn at random, the other half are anything.
        auto piece = [&] { return std::string(pieces[random() % std::size(pieces)]); };
        std::string text;
        if (i % 2 == 0) {
            const char* const bases[] = {"CH", "ch", "cH", "x", "_!", "CHx", ""};
            const char* const blanks[] = {"", " ", "\t", "  "};
            auto base = [&] { return std::string(bases[random() % std::size(bases)]); };
            auto blank = [&] { return std::string(blanks[random() % std::size(blanks)]); };
            text = blank() + base() + piece() + blank() + "-" + blank() + base() + piece();
        } else {
            const int count = std::uniform_int_distribution<int>(0, 7)(random);
            for (int j = 0; j < count; ++j) text += piece();
        }
        std::smatch groups;
        const bool expected = std::regex_match(text, groups, kRangeItem);
        kiln::RangeParts parts;
        ASSERT_EQ(kiln::MatchRangeItem(text, parts), expected) << "'" << text << "'";
        if (!expected) continue;
        ++matched;
        EXPECT_EQ(parts.base, groups[1].str());
        EXPECT_EQ(parts.first, groups[2].str());
        EXPECT_EQ(parts.last, groups[3].str());
    }
    EXPECT_GT(matched, 100u);
    kiln::RangeParts parts;
    ASSERT_TRUE(kiln::MatchRangeItem("CH1-ch22", parts));  // the second base ignores case
    EXPECT_EQ(parts.base, "CH");
    EXPECT_EQ(parts.last, "22");
    EXPECT_FALSE(kiln::MatchRangeItem("CH1-DC2", parts));
}

TEST(SelectorGrammar, LongTextsOnASmallStack) {
    ASSERT_TRUE(qmdc_test::OnSmallStack([] {
        std::string list;
        for (int i = 0; i < 200000; ++i) list += "CH" + std::to_string(i) + (i % 2 ? " , " : ",");
        list += "CH0";
        EXPECT_TRUE(kiln::MatchesSelectorGrammar(list));
        EXPECT_TRUE(kiln::MatchesSelectorGrammar(std::string(1 << 20, 'a')));
        EXPECT_FALSE(kiln::MatchesSelectorGrammar(std::string(1 << 20, ' ') + ";"));
        std::string levels;
        for (int i = 0; i < 100000; ++i) levels += "[a,b]:";
        EXPECT_TRUE(kiln::MatchesSelectorGrammar(levels + "c"));
    }));
}

}  // namespace
