// Header matching, message splitting, parameter values and model ratings of the emulator.
#include <gtest/gtest.h>

#include "core/ratings.h"
#include "core/scpi_header.h"
#include "core/scpi_message.h"
#include "core/scpi_values.h"

namespace qmdc::emu {
namespace {

bool HeaderMatches(const char* pattern, const char* text) {
    const auto header = ParseHeader(text);
    return header && HeaderPattern(pattern).Matches(header->keywords);
}

TEST(EmulatorScpi, KeywordsMatchShortOrLongFormInAnyCase) {
    EXPECT_TRUE(KeywordMatches("VOLT", "VOLTage"));
    EXPECT_TRUE(KeywordMatches("voltage", "VOLTage"));
    EXPECT_TRUE(KeywordMatches("VoLt", "VOLTage"));
    EXPECT_FALSE(KeywordMatches("VOLTA", "VOLTage"));
    EXPECT_FALSE(KeywordMatches("VOL", "VOLTage"));
    EXPECT_TRUE(KeywordMatches("aout", "AOUT"));
}

TEST(EmulatorScpi, PatternsHonourOptionalNodesAndLeadingColon) {
    const char* pattern = "[SOURce:]VOLTage:PROTection[:LEVel]";
    EXPECT_TRUE(HeaderMatches(pattern, "VOLT:PROT"));
    EXPECT_TRUE(HeaderMatches(pattern, ":source:voltage:protection:level"));
    EXPECT_TRUE(HeaderMatches(pattern, "SOUR:VOLT:PROT:LEV?"));
    EXPECT_FALSE(HeaderMatches(pattern, "VOLT"));
    EXPECT_FALSE(HeaderMatches(pattern, "VOLT:PROT:LEV:LEV"));
    EXPECT_TRUE(HeaderMatches("*IDN", "*idn?"));
    EXPECT_FALSE(HeaderMatches("*IDN", "IDN?"));
}

TEST(EmulatorScpi, MalformedHeadersAreRejected) {
    EXPECT_FALSE(ParseHeader("VOLT::PROT"));
    EXPECT_FALSE(ParseHeader("VO$LT"));
    EXPECT_FALSE(ParseHeader("*"));
    EXPECT_FALSE(ParseHeader(""));
    const auto query = ParseHeader(":SYST:ERR?");
    ASSERT_TRUE(query);
    EXPECT_TRUE(query->query);
    EXPECT_EQ(query->keywords, (std::vector<std::string>{"SYST", "ERR"}));
}

TEST(EmulatorScpi, MessagesSplitIntoUnitsAndParameters) {
    const auto units = SplitMessage(" VOLT 5 ; SYST:MOD:ASC CURR , 10;;*IDN?;CAL:X \"a;b\",'c,d'");
    ASSERT_TRUE(units);
    ASSERT_EQ(units->size(), 4u);
    EXPECT_EQ((*units)[0].header, "VOLT");
    EXPECT_EQ((*units)[0].params, (std::vector<std::string>{"5"}));
    EXPECT_EQ((*units)[1].params, (std::vector<std::string>{"CURR", "10"}));
    EXPECT_TRUE((*units)[2].params.empty());
    EXPECT_EQ((*units)[3].params, (std::vector<std::string>{"\"a;b\"", "'c,d'"}));
    EXPECT_FALSE(SplitMessage("VOLT \"open"));
}

TEST(EmulatorScpi, NumbersFollowScpiDecimalForm) {
    EXPECT_EQ(ParseDecimal("12.5"), 12.5);
    EXPECT_EQ(ParseDecimal("+.5"), 0.5);
    EXPECT_EQ(ParseDecimal("5."), 5.0);
    EXPECT_EQ(ParseDecimal("-1.5E+2"), -150.0);
    for (const char* bad : {"", ".", "1e", "inf", "nan", "0x10", "1,5", "12V"})
        EXPECT_FALSE(ParseDecimal(bad)) << bad;
    EXPECT_EQ(ParseNumeric("max")->kind, Numeric::Kind::Max);
    EXPECT_EQ(ParseNumeric("MINIMUM")->kind, Numeric::Kind::Min);
    EXPECT_EQ(ParseNumeric("def")->kind, Numeric::Kind::Def);
    EXPECT_EQ(ParseBoolean("on"), true);
    EXPECT_EQ(ParseBoolean("0"), false);
    EXPECT_FALSE(ParseBoolean("TRUE"));
    EXPECT_EQ(FormatReal(0.1), "0.1");
    EXPECT_EQ(FormatReal(1500000.0), "1500000");
    EXPECT_EQ(FormatReal(-0.0), "0");
}

TEST(EmulatorScpi, RatingsComeFromTheModelGrammar) {
    const Ratings rack = RatingsFromModel("Rack 30-70 QM");
    EXPECT_TRUE(rack.recognised);
    EXPECT_EQ(rack.maxVoltage, 30.0);
    EXPECT_EQ(rack.maxCurrent, 70.0);
    EXPECT_EQ(rack.maxPower, 1500.0);
    const Ratings bench = RatingsFromModel("  bench 400-2.5 qm ");
    EXPECT_TRUE(bench.recognised);
    EXPECT_EQ(bench.maxCurrent, 2.5);
    EXPECT_EQ(bench.maxPower, 600.0);
    EXPECT_TRUE(RatingsFromModel("Rack 30 - 70 QM").recognised);
    for (const char* other : {"Rack30-70 QM", "Rack 30-70", "Rack .5-70 QM", "Rack 5.-70 QM",
                              "Desk 30-70 QM", "Rack 30-70 QMX"}) {
        const Ratings fallback = RatingsFromModel(other);
        EXPECT_FALSE(fallback.recognised) << other;
        EXPECT_EQ(fallback.maxVoltage, 30.0);
    }
}

}  // namespace
}  // namespace qmdc::emu
