// The tool's texts of numbers and CSV fields, and its case-blind comparisons
// (the panel's header checks rest on them).
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "number_text.h"
#include "text_case.h"

namespace qmdc::cli {
namespace {

TEST(ToolText, NumbersAndCsvFields) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    const struct {
        std::string text, expected;
    } rows[] = {
        {NumberText(3.0 * 0.3, "nan"), "0.9"},
        {NumberText(1500000.0, "nan"), "1500000"},
        {NumberText(-0.000125, "nan"), "-0.000125"},
        {NumberText(nan, "NaN"), "NaN"},
        {NumberText(-nan, "null"), "null"},
        {NumberText(inf, "NaN"), "inf"},
        {NumberText(-inf, "NaN"), "-inf"},
        {FixedText(12.34, 4), "12.3400"},
        {FixedText(-0.05, 1), "-0.1"},
        {FixedText(1e300, 0).substr(0, 4), "1000"},
        {CsvQuoted("PSU1"), "PSU1"},
        {CsvQuoted(""), ""},
        {CsvQuoted("a,b"), "\"a,b\""},
        {CsvQuoted("say \"hi\""), "\"say \"\"hi\"\"\""},
        {CsvQuoted("two\nlines"), "\"two\nlines\""},
        {CsvQuoted("lone\rreturn"), "\"lone\rreturn\""},
    };
    for (const auto& row : rows) EXPECT_EQ(row.text, row.expected);
}

TEST(ToolText, LetterCase) {
    const struct {
        bool equal, starts, ends;
        std::string text, other;
    } rows[] = {
        {true, true, true, "Origin", "oRIGIN"},
        {true, true, true, "", ""},
        {false, true, false, "ASRL/dev/ttyUSB0::INSTR", "asrl"},
        {false, false, true, "plot.SVG", ".svg"},
        {false, false, false, "Host", "Hosts"},
        {false, false, false, "Host", "Hose"},
        {false, true, true, "abc", ""},
    };
    for (const auto& row : rows) {
        EXPECT_EQ(EqualsIgnoringCase(row.text, row.other), row.equal) << row.text << row.other;
        EXPECT_EQ(StartsWithIgnoringCase(row.text, row.other), row.starts) << row.text;
        EXPECT_EQ(EndsWithIgnoringCase(row.text, row.other), row.ends) << row.text;
    }
}

}  // namespace
}  // namespace qmdc::cli
