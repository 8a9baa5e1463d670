// qmdc log against emulators and in simulation: rows on one clock, their
// times and number, modes, a trip, a stopped supply recorded as missed and
// lost and then read again, the summary, the exit status, the plot at 1, 5
// and 50 supplies, Ctrl-C and the status line on a terminal. Whatever waits
// for the log to get somewhere waits for its output, never for wall time.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <filesystem>
#include <map>
#include <memory>
#include <set>
#include <sstream>
#include <thread>

#include "cli_test_support.h"
#include "tmux_terminal.h"

namespace qmdc_cli_test {
namespace {

using qmdc::testing::EmulatorProcess;
using namespace std::chrono_literals;

// Lines to the emulator over its pseudo-terminal, while the log holds its TCP client.
void SendOverTerminal(const EmulatorProcess& emulator, const std::string& lines) {
    const std::string serial = emulator.resources().at(1);  // ASRL/dev/pts/N::INSTR
    const std::string path = serial.substr(4, serial.size() - 4 - 7);
    const int fd = open(path.c_str(), O_RDWR | O_NOCTTY);
    ASSERT_GE(fd, 0) << path;
    termios mode{};
    tcgetattr(fd, &mode);
    cfmakeraw(&mode);
    tcsetattr(fd, TCSANOW, &mode);
    ASSERT_EQ(write(fd, lines.data(), lines.size()), ssize_t(lines.size()));
    std::this_thread::sleep_for(100ms);  // read before the terminal closes
    close(fd);
}

// Milliseconds since the epoch of "2026-12-08T06:29:10.123Z"; -1 when malformed.
long long IsoMilliseconds(const std::string& text) {
    std::tm utc{};
    int ms = -1;
    char zone = 0;
    if (std::sscanf(text.c_str(), "%4d-%2d-%2dT%2d:%2d:%2d.%3d%c", &utc.tm_year, &utc.tm_mon,
                    &utc.tm_mday, &utc.tm_hour, &utc.tm_min, &utc.tm_sec, &ms, &zone) != 8 ||
        zone != 'Z' || text.size() != 24) {
        return -1;
    }
    utc.tm_year -= 1900;
    utc.tm_mon -= 1;
    return static_cast<long long>(timegm(&utc)) * 1000 + ms;
}

// The fields of a CSV line, quoted ones unquoted ("a,""b""" is a,"b").
CsvRow CsvFields(const std::string& line) {
    CsvRow fields(1);
    bool quoted = false;
    for (size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"') {
            fields.back() += '"';
            ++i;
        } else if (c == '"') {
            quoted = !quoted;
        } else if (c == ',' && !quoted) {
            fields.emplace_back();
        } else {
            fields.back() += c;
        }
    }
    return fields;
}

// The rows of a log's CSV so far, by supply (the header left out).
std::map<std::string, std::vector<CsvRow>> RowsBySupply(const std::string& csv) {
    std::map<std::string, std::vector<CsvRow>> bySupply;
    std::istringstream lines(csv);
    std::string line;
    std::getline(lines, line);  // the header
    for (; std::getline(lines, line);) {
        const CsvRow fields = CsvFields(line);
        if (fields.size() > 1) bySupply[fields[1]].push_back(fields);
    }
    return bySupply;
}

// How many of the supply's rows have the status; with mode and protection when given.
size_t Count(const std::vector<CsvRow>& rows, const std::string& status,
             const std::string& modeAndProtection = "") {
    size_t count = 0;
    for (const CsvRow& row : rows) {
        if (row.size() == 9 && row[2] == status &&
            (modeAndProtection.empty() || row[6] + " " + row[7] == modeAndProtection)) {
            ++count;
        }
    }
    return count;
}

// The numbers of the summary's "<supply>: N readings, M missed, L lost"; -1s when not there.
struct Tally {
    long long readings = -1, missed = -1, lost = -1;
};
Tally SummaryOf(const std::string& err, const std::string& supply) {
    Tally tally;
    const size_t at = err.find(supply + ": ");
    if (at != std::string::npos) {
        std::sscanf(err.c_str() + at + supply.size() + 2, "%lld readings, %lld missed, %lld lost",
                    &tally.readings, &tally.missed, &tally.lost);
    }
    return tally;
}

TEST(Log, UsageErrors) {
    const std::vector<std::vector<std::string>> rows = {
        {"log", "--interval", "1"},
        {"log", "--simulate"},
        {"log", "--simulate", "--interval", "0"},
        {"log", "--simulate", "--interval", "1", "--duration", "2x"},
        {"log", "--simulate", "--interval", "1", "--duration", "-5m"},
        // No length at all is no log: not one that runs until killed.
        {"log", "--simulate", "--interval", "1", "--duration", "0"},
        {"log", "--simulate", "--interval", "1", "--duration", "0s"},
        {"log", "--simulate", "--interval", "1", "--duration", ""},
        {"log", "--simulate", "--interval", "1", "--format", "xml"},
        {"log", "--simulate", "--interval", "1", "--plot", "log.txt"},
    };
    ToolOptions options;
    options.deadline = std::chrono::seconds(10);  // a log that starts runs until killed
    for (const auto& args : rows) {
        const ToolResult result = RunTool(args, options);
        EXPECT_EQ(result.status, 2) << args.back() << result.err;
        EXPECT_EQ(result.out, "") << args.back();
    }
}

TEST(Log, JsonLinesInSimulation) {
    // Every tick gives a line, read or missed (a loaded machine may miss one):
    // the lines are counted, not the readings.
    const ToolResult result =
        RunTool({"log", "--simulate", "--interval", "0.2", "--duration", "1", "--format", "jsonl"});
    ASSERT_EQ(result.status, 0) << result.err;
    size_t lines = 0;
    for (size_t at = 0; (at = result.out.find('\n', at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 5u) << result.out;
    EXPECT_EQ(result.out.rfind("{\"time\":\"", 0), 0u) << result.out;
    // The last tick is never missed: it is read.
    EXPECT_NE(result.out.find("\"supply\":\"simulated\",\"status\":\"ok\",\"voltage_V\":0.0,"
                              "\"current_A\":0.0,\"power_W\":0.0,\"mode\":\"CV\","
                              "\"protection\":\"none\"}"),
              std::string::npos)
        << result.out;
    const Tally tally = SummaryOf(result.err, "simulated");
    EXPECT_GE(tally.readings, 1) << result.err;
    EXPECT_EQ(tally.readings + tally.missed, 5) << result.err;
    EXPECT_EQ(tally.lost, 0) << result.err;
}

TEST(Log, TicksAreTheDurationOverTheIntervalRoundedUp) {
    // Every row is a tick (read or missed), so the count does not hang on the
    // machine's speed. Rows guard: a ratio with a fraction (rounded up, not
    // down), a whole one, one just under a whole number in binary (0.9 / 0.3
    // is 3.0000000000000004: not 4), and a duration shorter than one interval.
    struct Row {
        const char* interval;
        const char* duration;
        size_t ticks;
    };
    const std::vector<Row> rows = {
        {"0.3", "1", 4}, {"0.4", "1", 3}, {"0.5", "1", 2}, {"0.3", "0.9", 3}, {"1", "0.2", 1},
    };
    for (const Row& row : rows) {
        const ToolResult result =
            RunTool({"log", "--simulate", "--interval", row.interval, "--duration", row.duration});
        ASSERT_EQ(result.status, 0) << result.err;
        EXPECT_EQ(CsvRows(result.out).size(), row.ticks + 1)
            << row.interval << " over " << row.duration << "\n"
            << result.out;
    }
}

TEST(Log, TheFirstRowIsStampedWithTheWallClock) {
    // The other tests compare times with the first row's only: this one holds it to the clock.
    const auto before = std::chrono::system_clock::now();
    const ToolResult result =
        RunTool({"log", "--simulate", "--interval", "0.1", "--duration", "0.1"});
    const auto after = std::chrono::system_clock::now();
    ASSERT_EQ(result.status, 0) << result.err;
    const std::vector<CsvRow> rows = CsvRows(result.out);
    ASSERT_EQ(rows.size(), 2u) << result.out;
    const auto milliseconds = [](std::chrono::system_clock::time_point t) {
        return std::chrono::duration_cast<std::chrono::milliseconds>(t.time_since_epoch()).count();
    };
    const long long first = IsoMilliseconds(rows[1][0]);
    EXPECT_GE(first, milliseconds(before) - 1000) << rows[1][0];
    EXPECT_LE(first, milliseconds(after) + 1000) << rows[1][0];
}

TEST(Log, ALostRowsNoteIsQuotedInTheCsv) {
    // A HiSLIP resource name holds a comma ("hislip0,PORT"): once the supply
    // is gone, every note saying it cannot be opened holds one too.
    auto emulator = std::make_unique<EmulatorProcess>(std::vector<std::string>{"--hislip"});
    const std::string resource = emulator->resource();
    ASSERT_NE(resource.find(','), std::string::npos) << resource;
    ToolProcess log({"log", resource, "--interval", "0.2"});
    EXPECT_TRUE(Eventually([&] { return log.OutputSoFar().find(",ok,") != std::string::npos; }));
    emulator.reset();
    // First the reading fails, then every attempt to open it again.
    const std::string cannotOpen = "cannot open " + resource + ": ";
    EXPECT_TRUE(
        Eventually([&] { return log.OutputSoFar().find("\"" + cannotOpen) != std::string::npos; }));
    kill(log.pid(), SIGINT);
    const ToolResult result = log.Wait();
    EXPECT_EQ(result.status, 3) << result.err;  // rows were lost
    const std::vector<CsvRow> rows = RowsBySupply(result.out)[resource];
    size_t notes = 0;
    for (const CsvRow& row : rows) {
        ASSERT_EQ(row.size(), 9u) << result.out;
        if (row[2] == "lost" && row[8].rfind(cannotOpen, 0) == 0) ++notes;
    }
    EXPECT_GT(notes, 0u) << result.out;
    EXPECT_NE(result.err.find(" lost: a supply did not answer"), std::string::npos) << result.err;
}

TEST(Log, ASupplyTrippedWhenTheLogBeginsIsNoTrip) {
    // 12 V into 2 ohms against an over-current protection at 1.5 A: tripped as it is switched on.
    struct Row {
        const char* guards;
        const char* levels;
        const char* summary;
    };
    const std::vector<Row> rows = {
        {"tripped before the log", "VOLT 12\nCURR 8\nCURR:PROT 1.5\nEMUL:LOAD 2\nOUTP ON\n",
         ", 0 trips (tripped when the log began)\n"},
        {"never tripped", "VOLT 12\nCURR 8\nCURR:PROT 1.5\nOUTP ON\n", ", 0 trips\n"},
    };
    for (const Row& row : rows) {
        const ToolOnEmulator supply;
        supply.Send(row.levels);
        const ToolResult result =
            supply.Run("log", {"--interval", "0.1", "--duration", "0.3", "--output", "/dev/null"});
        EXPECT_EQ(result.status, 0) << result.err;
        EXPECT_NE(result.err.find(row.summary), std::string::npos) << row.guards << result.err;
    }
}

TEST(Log, TwoSuppliesOnOneClockThroughATripAndAStop) {
    // A: 12 V into 10 ohms, the over-current protection at 1.5 A; B: 5 V into 10 ohms.
    const ToolOnEmulator a({"--tcp", "--pty"}), b;
    a.Send("VOLT 12\nCURR 2\nCURR:PROT 1.5\nOUTP ON\n");
    b.Send("VOLT 5\nCURR 1\nOUTP ON\n");
    const TempFolder folder;
    ToolProcess log(
        {"log", a.resource(), b.resource(), "--interval", "0.2", "--plot", folder.File("log.svg")});
    const auto rowsOf = [&](const std::string& supply) {
        return RowsBySupply(log.OutputSoFar())[supply];
    };
    ASSERT_TRUE(Eventually([&] { return Count(rowsOf(a.resource()), "ok", "CV none") >= 5; }));
    // A's load falls to 2 ohms: it regulates at 2 A, above the protection: a trip.
    SendOverTerminal(a.emulator(), "EMUL:LOAD 2\n");
    ASSERT_TRUE(Eventually([&] { return Count(rowsOf(a.resource()), "ok", "off OC") > 0; }));
    // B stops answering for longer than the I/O timeout (2 s): its reading
    // fails, the ticks meanwhile are missed, and it is opened again.
    kill(b.emulator().pid(), SIGSTOP);
    const bool lost = Eventually([&] { return Count(rowsOf(b.resource()), "lost") > 0; });
    kill(b.emulator().pid(), SIGCONT);
    ASSERT_TRUE(lost);
    // B came back: its last rows, after the lost ones, are read again.
    ASSERT_TRUE(Eventually([&] {
        const std::vector<CsvRow> own = rowsOf(b.resource());
        size_t okAtEnd = 0;
        while (okAtEnd < own.size() && own[own.size() - 1 - okAtEnd][2] == "ok") ++okAtEnd;
        return okAtEnd >= 3 && okAtEnd < own.size();
    }));
    kill(log.pid(), SIGINT);
    const ToolResult result = log.Wait();
    EXPECT_EQ(result.status, 3) << result.err;  // Ctrl-C with no --duration, but rows lost

    const std::vector<CsvRow> rows = CsvRows(result.out);
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0], (CsvRow{"time", "supply", "status", "voltage_V", "current_A", "power_W",
                               "mode", "protection", "note"}));
    std::map<std::string, std::vector<CsvRow>> bySupply = RowsBySupply(result.out);
    ASSERT_EQ(bySupply.size(), 2u);
    // One row per tick and supply, none dropped: the two differ by Ctrl-C's tick at most.
    const size_t ticksA = bySupply[a.resource()].size(), ticksB = bySupply[b.resource()].size();
    EXPECT_LE(std::max(ticksA, ticksB) - std::min(ticksA, ticksB), 1u) << ticksA << " " << ticksB;
    std::map<std::string, int> seen;  // "<supply> <status> <mode> <protection>"
    for (const auto& [supply, own] : bySupply) {
        const long long first = IsoMilliseconds(own.front()[0]);
        ASSERT_GT(first, 0) << own.front()[0];
        for (size_t k = 0; k < own.size(); ++k) {
            const CsvRow& row = own[k];
            const long long at = IsoMilliseconds(row[0]);
            ASSERT_GT(at, 0) << row[0];
            // Missed rows carry their due time; a reading starts at its time,
            // or late after a slow one, but before the next is due.
            EXPECT_GE(at - first, static_cast<long long>(k) * 200 - 20) << supply << " " << k;
            if (row[2] == "ok") {
                EXPECT_LT(at - first, static_cast<long long>(k + 1) * 200 + 20);
            }
            ++seen[(supply == a.resource() ? "A " : "B ") + row[2] + " " + row[6] + " " + row[7]];
            if (row[2] != "ok") {
                EXPECT_EQ(row[3], "") << "no value where none was read";
            }
        }
    }
    EXPECT_GT(seen["A ok CV none"], 0);
    EXPECT_GT(seen["A ok off OC"], 0);
    EXPECT_EQ(seen["A lost  "], 0);
    EXPECT_GT(seen["B ok CV none"], 3);
    EXPECT_GT(seen["B missed  "], 0);
    EXPECT_GT(seen["B lost  "], 0);
    EXPECT_EQ(bySupply[b.resource()].back()[2], "ok");
    EXPECT_NE(result.err.find(a.resource() + ": "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("CV "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(", 1 trip\n"), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("voltage min / mean / max 5.0000 / 5.0000 / 5.0000 V"),
              std::string::npos)
        << result.err;
    EXPECT_NE(ReadFile(folder.File("log.svg")).find("<svg"), std::string::npos);
}

TEST(Log, CtrlCEndsItWithASummary) {
    struct Case {
        std::vector<std::string> length;
        int status;
    };
    const std::vector<Case> cases = {{{}, 0}, {{"--duration", "1h"}, 130}};
    for (const Case& c : cases) {
        std::vector<std::string> args = {"log", "--simulate", "--interval", "0.1"};
        args.insert(args.end(), c.length.begin(), c.length.end());
        ToolProcess log(args);
        EXPECT_TRUE(
            Eventually([&] { return log.OutputSoFar().find(",ok,") != std::string::npos; }));
        kill(log.pid(), SIGINT);
        const ToolResult result = log.Wait();
        EXPECT_EQ(result.status, c.status) << result.err;
        EXPECT_NE(result.err.find("simulated: "), std::string::npos) << result.err;
    }
}

// The screen's lines that hold anything.
std::vector<std::string> TextLines(const std::string& screen) {
    std::vector<std::string> lines;
    std::istringstream in(screen);
    for (std::string line; std::getline(in, line);) {
        if (line.find_first_not_of(' ') != std::string::npos) lines.push_back(line);
    }
    return lines;
}

TEST(Log, StatusLineOnATerminal) {
    const TempFolder folder;
    TmuxTerminal terminal(std::string(ToolPath()) +
                          " log --simulate --interval 0.1 --duration 2 --output " +
                          folder.File("log.csv"));
    const std::string during = terminal.WaitFor(" rows: ");
    EXPECT_NE(during.find(" lost | simulated 0.0000 V 0.0000 A CV"), std::string::npos) << during;
    const std::string after = terminal.WaitFor("[exit 0]");
    EXPECT_EQ(after.find(" rows: "), std::string::npos) << after;  // cleared at the end
    const Tally tally = SummaryOf(after, "simulated");
    EXPECT_EQ(tally.readings + tally.missed, 20) << after;
}

TEST(Log, StatusLineStaysOneLineOfTheTerminal) {
    // A terminal of 100 columns; rows guard many supplies (a line per supply
    // would be thousands of characters) and one whose name alone is wider.
    std::string many, wide = std::string(150, 'w');
    for (int i = 1; i <= 12; ++i) many += " rack-07-shelf-3-supply-" + std::to_string(i);
    for (const std::string& supplies : {many, " " + wide}) {
        const TempFolder folder;
        TmuxTerminal terminal(std::string(ToolPath()) + " log --simulate" + supplies +
                              " --interval 0.1 --duration 3 --output " + folder.File("log.csv"));
        // Redrawn in place: one line, redraw after redraw.
        std::string previous;
        for (int redraw = 0; redraw < 3; ++redraw) {
            std::string screen;
            ASSERT_TRUE(Eventually([&] {
                screen = terminal.Screen();
                return screen.find(" rows: ") != std::string::npos && screen != previous;
            })) << screen;
            previous = screen;
            const std::vector<std::string> lines = TextLines(screen);
            ASSERT_EQ(lines.size(), 1u) << supplies << "\n" << screen;
            EXPECT_LT(lines[0].size(), 100u) << lines[0];
        }
        terminal.WaitFor("[exit 0]");
    }
}

TEST(Log, PlotsOneFiveAndFiftySupplies) {
    // Each plot is kept as a picture under the build folder, to be looked at.
    const std::string artefacts = QMDC_TEST_ARTEFACTS;
    std::filesystem::create_directories(artefacts);
    // One and five: emulators at different levels; fifty: simulated.
    std::vector<std::unique_ptr<ToolOnEmulator>> supplies;
    for (int i = 0; i < 5; ++i) {
        supplies.push_back(std::make_unique<ToolOnEmulator>());
        supplies.back()->Send("VOLT " + std::to_string(3 + 5 * i) + "\nCURR 3\nEMUL:LOAD " +
                              std::to_string(10 + 4 * i) + "\nOUTP ON\n");
    }
    std::vector<std::string> fifty = {"--simulate"};
    for (int i = 1; i <= 50; ++i) fifty.push_back("rack-" + std::to_string(i));
    struct Row {
        size_t supplies;
        std::vector<std::string> resources;
        bool legend;
    };
    const std::vector<Row> rows = {
        {1, {supplies[0]->resource()}, true},
        {5,
         {supplies[0]->resource(), supplies[1]->resource(), supplies[2]->resource(),
          supplies[3]->resource(), supplies[4]->resource()},
         true},
        {50, fifty, false},
    };
    for (const Row& row : rows) {
        const std::string name = artefacts + "/log-plot-" + std::to_string(row.supplies);
        std::vector<std::string> args = {"log"};
        args.insert(args.end(), row.resources.begin(), row.resources.end());
        args.insert(args.end(), {"--interval", "0.1", "--duration", "1.5", "--output", "/dev/null",
                                 "--plot", name + ".svg"});
        const ToolResult result = RunTool(args);
        ASSERT_EQ(result.status, 0) << result.err;
        const std::string svg = ReadFile(name + ".svg");
        for (const std::string text : {"qmdc log", "Voltage (V)", "Current (A)", "Time (UTC)"}) {
            EXPECT_NE(svg.find(text), std::string::npos) << text;
        }
        // A colour of its own for each supply.
        std::set<std::string> colours;
        for (size_t at = 0; (at = svg.find("stroke='rgb(", at)) != std::string::npos; ++at) {
            colours.insert(svg.substr(at, svg.find(')', at) - at));
        }
        EXPECT_GE(colours.size(), row.supplies);
        // The legend names each supply, or a note says why it does not.
        const std::string last = row.resources.back();
        EXPECT_EQ(svg.find(last) != std::string::npos, row.legend) << last;
        EXPECT_EQ(svg.find("supplies, one colour each: legend left out") == std::string::npos,
                  row.legend);
        EXPECT_EQ(PngSize(Render(name + ".svg", name + ".png")), std::make_pair(1000u, 600u));
    }
}

}  // namespace
}  // namespace qmdc_cli_test
