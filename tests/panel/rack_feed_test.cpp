// What the pages are sent: the whole state once, then per tick only what
// changed, for all supplies in one message; the size of a tick grows with the
// readings taken in it, never with the state of the rack.
#include <gtest/gtest.h>

#include "panel/rack_feed.h"

namespace qmdc::cli::panel {
namespace {

nlohmann::json Supply(int index) {
    return {{"name", "PSU" + std::to_string(index)},
            {"connected", true},
            {"problem", ""},
            {"mode", "CV"},
            {"protection", "none"},
            {"output", true},
            {"levels", {{"voltage", 12.0}, {"current", 2.0}, {"ovp", 33.0}, {"ocp", 77.0}}},
            {"identity",
             {{"model", "Rack 30-70 QM"},
              {"serial", "SN" + std::to_string(100000 + index)},
              {"manufacturer", "Orvane"},
              {"firmware", "1.2.3"},
              {"resource", "TCPIP0::10.0.0." + std::to_string(index) + "::5025::SOCKET"}}},
            {"errors", nlohmann::json::array()}};
}

RackFeed Rack(size_t count) {
    std::vector<nlohmann::json> states;
    for (size_t i = 0; i < count; ++i) states.push_back(Supply(static_cast<int>(i)));
    return RackFeed(states, FeedSettings{});
}

std::vector<nlohmann::json> Events(const std::string& text) {
    std::vector<nlohmann::json> events;
    for (size_t at = 0; (at = text.find("data: ", at)) != std::string::npos;) {
        const size_t end = text.find("\n\n", at);
        events.push_back(nlohmann::json::parse(text.substr(at + 6, end - at - 6)));
        at = end;
    }
    return events;
}

constexpr double kStart = 1796742432.0;

// Bytes sent over a fixed number of ticks, each supply taking `readings`
// readings a tick (noisy values, as a supply measures) and, every
// `modeEvery` ticks, changing its mode. Bound: what a page may be sent per
// supply and reading, and per supply and tick, whatever the rack's size.
struct BytesRow {
    size_t supplies;
    int readings;
    int modeEvery;  // 0: never
    const char* note;
};

TEST(RackFeed, BytesPerTickGrowWithReadingsNotWithTheRack) {
    const BytesRow rows[] = {
        {1, 1, 0, "one supply"},
        {50, 1, 0, "a rack of 50 read at the default rate (4 /s, ticks of 200 ms)"},
        {50, 2, 0, "two readings in one tick (the reading came late)"},
        {50, 1, 1, "the worst: every supply changes its mode every tick"},
        {100, 1, 0, "twice the rack: twice the bytes, no more"},
        {50, 0, 0, "nothing read: nothing sent"},
    };
    constexpr int kTicks = 100;
    for (const BytesRow& row : rows) {
        RackFeed feed = Rack(row.supplies);
        unsigned long long seen = 0;
        const size_t snapshot = feed.EventsSince(seen, kStart).size();
        size_t bytes = 0;
        for (int tick = 1; tick <= kTicks; ++tick) {
            const double now = kStart + tick * 0.2;
            std::vector<SupplyDelta> deltas(row.supplies);
            for (size_t i = 0; i < row.supplies; ++i) {
                for (int r = 0; r < row.readings; ++r) {
                    deltas[i].points.push_back({now - 0.05 * (r + 1), 12.0 + 0.000123 * tick * i,
                                                2.0 - 0.0000117 * tick * (i + r)});
                }
                if (row.modeEvery && tick % row.modeEvery == 0) {
                    deltas[i].fields["mode"] = tick % 2 ? "CC" : "CV";
                }
            }
            feed.Add(deltas, now);
            bytes += feed.EventsSince(seen, now).size();
        }
        const double perSupplyTick = static_cast<double>(bytes) / kTicks / row.supplies;
        const double bound = row.readings * 26.0 + (row.modeEvery ? 13.0 : 0.0) +
                             (row.readings || row.modeEvery ? 10.0 + 50.0 / row.supplies : 0.0);
        EXPECT_LE(perSupplyTick, bound) << row.note;
        EXPECT_GT(snapshot, row.supplies * 300) << row.note << ": the first message is all";
        if (row.readings == 0) {
            EXPECT_EQ(bytes, 0u) << row.note;
        }
    }
}

TEST(RackFeed, APageGetsTheWholeStateThenTheTicksAfterWhatItSaw) {
    RackFeed feed = Rack(3);
    std::vector<SupplyDelta> deltas(3);
    deltas[1].points.push_back({kStart + 0.1, 12.5, 1.25});
    deltas[2].fields["output"] = false;
    ASSERT_TRUE(feed.Add(deltas, kStart + 0.2));
    EXPECT_FALSE(feed.Add(std::vector<SupplyDelta>(3), kStart + 0.4)) << "no change, no tick";

    // Rows: what the page has seen -> the events it gets (full state or ticks).
    struct Row {
        unsigned long long seen;
        bool full;
        size_t events;
        const char* note;
    } rows[] = {
        {0, true, 1, "a new page"},
        {1, false, 1, "one tick behind"},
        {2, false, 0, "up to date"},
        {7, true, 1, "a version the feed never had"},
    };
    for (const Row& row : rows) {
        unsigned long long seen = row.seen;
        const auto events = Events(feed.EventsSince(seen, kStart + 0.5));
        ASSERT_EQ(events.size(), row.events) << row.note;
        EXPECT_EQ(seen, 2u) << row.note;
        if (row.events) {
            EXPECT_EQ(events[0].value("full", false), row.full) << row.note;
        }
    }
    unsigned long long seen = 1;
    const nlohmann::json tick = Events(feed.EventsSince(seen, kStart + 0.5)).at(0);
    EXPECT_EQ(tick["s"].size(), 2u) << "only the supplies that changed";
    EXPECT_EQ(tick["s"]["1"]["p"], nlohmann::json::parse("[[-100, 12.5, 1.25]]"));
    EXPECT_EQ(tick["s"]["2"], nlohmann::json::parse(R"({"output": false})"));
    seen = 0;
    const nlohmann::json full = Events(feed.EventsSince(seen, kStart + 0.5)).at(0);
    EXPECT_EQ(full["supplies"][2]["output"], false) << "the state has the ticks in it";
    EXPECT_EQ(full["supplies"][1]["p"], nlohmann::json::parse("[[-400, 12.5, 1.25]]"));
    EXPECT_EQ(full["supplies"][0]["identity"]["serial"], "SN100000");
}

TEST(RackFeed, APageTooFarBehindStartsOver) {
    FeedSettings settings;
    settings.ticksKept = 4;
    settings.pointsKept = 3;
    RackFeed feed({Supply(0)}, settings);
    for (int tick = 1; tick <= 6; ++tick) {
        std::vector<SupplyDelta> deltas(1);
        deltas[0].points.push_back({kStart + tick, 1.0 * tick, 0.0});
        feed.Add(deltas, kStart + tick);
    }
    // Versions 2..7 were made; 4..7 are kept, so a page that saw 3 still
    // gets ticks, one that saw 2 the whole state.
    const struct {
        unsigned long long seen;
        bool full;
        size_t events;
    } rows[] = {{3, false, 4}, {2, true, 1}, {6, false, 1}};
    for (const auto& row : rows) {
        unsigned long long seen = row.seen;
        const auto events = Events(feed.EventsSince(seen, kStart + 7));
        ASSERT_EQ(events.size(), row.events) << row.seen;
        EXPECT_EQ(events[0].value("full", false), row.full) << row.seen;
    }
    unsigned long long seen = 0;
    EXPECT_EQ(Events(feed.EventsSince(seen, kStart + 7)).at(0)["supplies"][0]["p"].size(), 3u)
        << "the state keeps the newest points only";
}

TEST(RackFeed, ReadingsAreSentToSixDigits) {
    const struct {
        double value;
        double sent;
    } rows[] = {{12.000300000000001, 12.0003},
                {0.0, 0.0},
                {1.23456789, 1.23457},
                {-0.000123456789, -0.000123457},
                {29.9999999, 30.0}};
    for (const auto& row : rows) EXPECT_EQ(Significant(row.value), row.sent) << row.value;
}

}  // namespace
}  // namespace qmdc::cli::panel
