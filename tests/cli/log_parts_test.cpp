// The plain parts of qmdc log: the plot's bounded series (which readings each
// bucket holds, and their least and greatest), the plot's time axis and the
// status line cut to the terminal.
#include <gtest/gtest.h>

#include <cmath>
#include <string>
#include <utility>
#include <vector>

#include "log/bounded_series.h"
#include "log/status_line.h"
#include "log/time_axis.h"

namespace {

using qmdc::cli::BoundedSeries;
using qmdc::cli::ChooseTimeAxis;
using qmdc::cli::SeriesBucket;
using qmdc::cli::StatusLine;
using qmdc::cli::SupplyCounts;
using qmdc::cli::TimeAxis;

// Reading i: at 1000 + i seconds; a spike every third reading, so that a
// bucket's greatest is not its last; none at all where the row says so.
double VoltsAt(size_t i) {
    return i % 3 == 1 ? 100.0 + double(i) : double(i);
}
double AmpsAt(size_t i) {
    return 50.0 - double(i);
}

TEST(LogParts, BoundedSeriesKeepsTheLeastAndGreatestOfEachBucket) {
    struct Row {
        const char* guards;
        size_t limit, readings;
        std::vector<size_t> noValue;  // readings missed or lost
        long long span;
        std::vector<std::pair<size_t, size_t>> buckets;  // first and last reading of each
    };
    const std::vector<Row> rows = {
        {"empty", 4, 0, {}, 1, {}},
        {"under the limit: every reading", 4, 3, {}, 1, {{0, 0}, {1, 1}, {2, 2}}},
        {"the limit exactly: still every reading", 4, 4, {}, 1, {{0, 0}, {1, 1}, {2, 2}, {3, 3}}},
        {"one past the limit: pairs", 4, 5, {}, 2, {{0, 1}, {2, 3}, {4, 4}}},
        {"the limit of pairs exactly", 4, 8, {}, 2, {{0, 1}, {2, 3}, {4, 5}, {6, 7}}},
        {"one past the limit of pairs: fours", 4, 9, {}, 4, {{0, 3}, {4, 7}, {8, 8}}},
        {"an odd limit counts as the even one below", 5, 5, {}, 2, {{0, 1}, {2, 3}, {4, 4}}},
        {"a limit below 2 counts as 2", 1, 3, {}, 2, {{0, 1}, {2, 2}}},
        {"many past: the span doubles each time", 4, 17, {}, 8, {{0, 7}, {8, 15}, {16, 16}}},
        {"a bucket with no value is empty", 4, 6, {2, 3}, 2, {{0, 1}, {2, 3}, {4, 5}}},
        {"a bucket partly without values keeps the rest", 4, 6, {3}, 2, {{0, 1}, {2, 3}, {4, 5}}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.guards);
        const auto hasValue = [&](size_t i) {
            for (const size_t k : row.noValue) {
                if (k == i) return false;
            }
            return true;
        };
        BoundedSeries series(row.limit);
        for (size_t i = 0; i < row.readings; ++i) {
            series.Add(1000.0 + double(i), hasValue(i) ? VoltsAt(i) : NAN,
                       hasValue(i) ? AmpsAt(i) : NAN);
        }
        EXPECT_EQ(series.span(), row.span);
        ASSERT_EQ(series.buckets().size(), row.buckets.size());
        for (size_t b = 0; b < row.buckets.size(); ++b) {
            const auto [first, last] = row.buckets[b];
            const SeriesBucket& bucket = series.buckets()[b];
            EXPECT_EQ(bucket.firstSeconds, 1000.0 + double(first)) << b;
            EXPECT_EQ(bucket.lastSeconds, 1000.0 + double(last)) << b;
            EXPECT_EQ(bucket.readings, static_cast<long long>(last - first + 1)) << b;
            double voltsMin = INFINITY, voltsMax = -INFINITY, ampsMin = INFINITY,
                   ampsMax = -INFINITY;
            bool any = false;
            for (size_t i = first; i <= last; ++i) {
                if (!hasValue(i)) continue;
                any = true;
                voltsMin = std::fmin(voltsMin, VoltsAt(i));
                voltsMax = std::fmax(voltsMax, VoltsAt(i));
                ampsMin = std::fmin(ampsMin, AmpsAt(i));
                ampsMax = std::fmax(ampsMax, AmpsAt(i));
            }
            EXPECT_EQ(bucket.empty(), !any) << b;
            if (!any) continue;
            EXPECT_EQ(bucket.voltsMin, voltsMin) << b;
            EXPECT_EQ(bucket.voltsMax, voltsMax) << b;
            EXPECT_EQ(bucket.ampsMin, ampsMin) << b;
            EXPECT_EQ(bucket.ampsMax, ampsMax) << b;
        }
    }
}

TEST(LogParts, BoundedSeriesStaysWithinItsLimitOverADay) {
    // A day at 10 Hz: the memory is the limit's, taken at the start.
    BoundedSeries series(2048);
    const size_t capacity = series.buckets().capacity();
    for (size_t i = 0; i < 864000; ++i) series.Add(double(i) / 10.0, VoltsAt(i), AmpsAt(i));
    EXPECT_LE(series.buckets().size(), 2048u);
    EXPECT_GT(series.buckets().size(), 1024u);
    EXPECT_EQ(series.buckets().capacity(), capacity);
    EXPECT_EQ(series.span(), 512);
    EXPECT_EQ(series.buckets().front().voltsMax, VoltsAt(511));  // the last spike of 512 kept
}

TEST(LogParts, TimeAxisLabelsAreFewAndRound) {
    // From a second to years: at most 7 labels, on whole steps, saying no more than needed.
    constexpr double kStart = 1796711350.123;  // 2026-12-08T06:29:10.123Z
    struct Row {
        const char* guards;
        double seconds;
        double step;
        const char* format;
    };
    const std::vector<Row> rows = {
        {"one reading", 0.0, 1, "%H:%M:%S"},
        {"a second", 1.0, 1, "%H:%M:%S"},
        {"seven seconds fit seven labels at most", 6.5, 1, "%H:%M:%S"},
        {"one label too many for 1 s", 8.0, 2, "%H:%M:%S"},
        {"just under a minute", 59.0, 10, "%H:%M:%S"},
        {"ten minutes", 600.0, 2 * 60, "%H:%M"},
        {"an hour", 3600.0, 10 * 60, "%H:%M"},
        {"into the next day: the date too", 20 * 3600.0, 3 * 3600, "%H:%M\\n%d %b"},
        {"three days", 3 * 86400.0, 12 * 3600, "%H:%M\\n%d %b"},
        {"a month", 30 * 86400.0, 7 * 86400, "%d %b"},
        {"a year: whole weeks", 365 * 86400.0, 8 * 7 * 86400, "%d %b"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.guards);
        const TimeAxis axis = ChooseTimeAxis(kStart, kStart + row.seconds, 7);
        EXPECT_EQ(axis.step, row.step);
        EXPECT_STREQ(axis.format, row.format);
        EXPECT_LE(axis.labels(), 7);
        EXPECT_GE(axis.labels(), 1);
        EXPECT_GE(axis.firstLabel, axis.from);
        EXPECT_LT(axis.firstLabel - axis.step, axis.from);
        EXPECT_EQ(std::fmod(axis.firstLabel, axis.step), 0.0);
        EXPECT_LE(axis.from, kStart);
        EXPECT_GE(axis.to, kStart + row.seconds);
        EXPECT_GT(axis.to, axis.from);
    }
}

TEST(LogParts, StatusLineFitsTheTerminal) {
    const std::string longName = "TCPIP0::192.168.100.123::inst0::INSTR";
    std::vector<SupplyCounts> three = {{"a" + longName, 10, 0, 0, "12.0000 V 1.5000 A CV"},
                                       {"b" + longName, 8, 1, 1, "lost"},
                                       {"c" + longName, 9, 1, 0, "missed"}};
    std::vector<SupplyCounts> fifty;
    for (int i = 0; i < 50; ++i) {
        fifty.push_back({longName + std::to_string(i), 100, 0, 0, "5.0000 V 0.5000 A CC"});
    }
    std::vector<SupplyCounts> one = {{"simulated", 20, 0, 0, "0.0000 V 0.0000 A CV"}};
    std::vector<SupplyCounts> odd = {{"\033[2Jé\nname", 1, 0, 1, "lost"}};
    const std::vector<SupplyCounts> none;
    struct Row {
        const char* guards;
        const std::vector<SupplyCounts>& supplies;
        double elapsed;
        size_t columns;
        std::string line;
    };
    const std::vector<Row> rows = {
        {"three: the worst named", three, 65.0, 200,
         "00:01:05 | 30 rows: 27 ok, 2 missed, 1 lost | worst b" + longName +
             ": 1 lost, 1 missed, now lost"},
        {"cut at the column before the last", three, 65.0, 60,
         "00:01:05 | 30 rows: 27 ok, 2 missed, 1 lost | worst bTCPIP0"},
        {"fifty, all ok", fifty, 3600.0 * 25 + 61, 100,
         "1d 01:01:01 | 5000 rows: 5000 ok, 0 missed, 0 lost | 50 supplies all ok"},
        {"one supply: its reading", one, 2.9, 100,
         "00:00:02 | 20 rows: 20 ok, 0 missed, 0 lost | simulated 0.0000 V 0.0000 A CV"},
        {"narrow", one, 2.0, 9, "00:00:02"},
        {"one column: nothing", one, 2.0, 1, ""},
        {"no width", one, 2.0, 0, ""},
        {"control characters shown, UTF-8 kept whole", odd, 0.0, 100,
         "00:00:00 | 2 rows: 1 ok, 0 missed, 1 lost | worst ?[2Jé?name: 1 lost, 0 missed, now "
         "lost"},
        {"a cut after a two-byte letter", odd, 0.0, 56,
         "00:00:00 | 2 rows: 1 ok, 0 missed, 1 lost | worst ?[2Jé"},
        {"none", none, 0.0, 100, "00:00:00 | 0 rows: 0 ok, 0 missed, 0 lost"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.guards);
        EXPECT_EQ(StatusLine(row.supplies, row.elapsed, row.columns), row.line);
    }
}

}  // namespace
