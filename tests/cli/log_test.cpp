// qmdc log against two emulators: rows on one clock, modes, a trip, a stopped
// supply recorded as missed and lost and then read again, the summary, the
// plot, Ctrl-C and the status line on a terminal.
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <ctime>
#include <map>
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

TEST(Log, UsageErrors) {
    const std::vector<std::vector<std::string>> rows = {
        {"log", "--interval", "1"},
        {"log", "--simulate"},
        {"log", "--simulate", "--interval", "0"},
        {"log", "--simulate", "--interval", "1", "--duration", "2x"},
        {"log", "--simulate", "--interval", "1", "--duration", "-5m"},
        {"log", "--simulate", "--interval", "1", "--format", "xml"},
        {"log", "--simulate", "--interval", "1", "--plot", "log.txt"},
    };
    for (const auto& args : rows) {
        const ToolResult result = RunTool(args);
        EXPECT_EQ(result.status, 2) << args.back() << result.err;
        EXPECT_EQ(result.out, "") << args.back();
    }
}

TEST(Log, JsonLinesInSimulation) {
    // Ticks 200 ms apart: at 50 ms a loaded machine missed one now and then.
    const ToolResult result =
        RunTool({"log", "--simulate", "--interval", "0.2", "--duration", "1", "--format", "jsonl"});
    ASSERT_EQ(result.status, 0) << result.err;
    size_t lines = 0;
    for (size_t at = 0; (at = result.out.find('\n', at)) != std::string::npos; ++at) ++lines;
    EXPECT_EQ(lines, 5u) << result.out;
    EXPECT_EQ(result.out.rfind("{\"time\":\"", 0), 0u) << result.out;
    EXPECT_NE(result.out.find("\"supply\":\"simulated\",\"status\":\"ok\",\"voltage_V\":0.0,"
                              "\"current_A\":0.0,\"power_W\":0.0,\"mode\":\"CV\","
                              "\"protection\":\"none\"}"),
              std::string::npos)
        << result.out;
    EXPECT_NE(result.err.find("simulated: 5 readings, 0 missed, 0 lost"), std::string::npos)
        << result.err;
}

TEST(Log, TwoSuppliesOnOneClockThroughATripAndAStop) {
    // A: 12 V into 10 ohms, the over-current protection at 1.5 A; B: 5 V into 10 ohms.
    const ToolOnEmulator a({"--tcp", "--pty"}), b;
    a.Send("VOLT 12\nCURR 2\nCURR:PROT 1.5\nOUTP ON\n");
    b.Send("VOLT 5\nCURR 1\nOUTP ON\n");
    const TempFolder folder;
    ToolProcess log({"log", a.resource(), b.resource(), "--interval", "0.2", "--duration", "7s",
                     "--output", folder.File("log.csv"), "--plot", folder.File("log.svg")});
    std::this_thread::sleep_for(1500ms);
    // A's load falls to 2 ohms: it regulates at 2 A, above the protection: a trip.
    SendOverTerminal(a.emulator(), "EMUL:LOAD 2\n");
    // B stops answering for longer than the I/O timeout (2 s): its reading
    // fails, the ticks meanwhile are missed, and it is opened again.
    kill(b.emulator().pid(), SIGSTOP);
    std::this_thread::sleep_for(3000ms);
    kill(b.emulator().pid(), SIGCONT);
    const ToolResult result = log.Wait();
    ASSERT_EQ(result.status, 0) << result.err;

    const std::vector<CsvRow> rows = CsvRows(ReadFile(folder.File("log.csv")));
    ASSERT_GT(rows.size(), 1u);
    EXPECT_EQ(rows[0], (CsvRow{"time", "supply", "status", "voltage_V", "current_A", "power_W",
                               "mode", "protection", "note"}));
    std::map<std::string, std::vector<CsvRow>> bySupply;
    for (size_t i = 1; i < rows.size(); ++i) bySupply[rows[i].at(1)].push_back(rows[i]);
    ASSERT_EQ(bySupply.size(), 2u);
    std::map<std::string, int> seen;  // "<supply> <status> <mode> <protection>"
    for (const auto& [supply, own] : bySupply) {
        // One row per tick, each supply: 7 s / 0.2 s, none dropped.
        EXPECT_EQ(own.size(), 35u) << supply;
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
    EXPECT_GT(seen["B ok CV none"], 10);
    EXPECT_GT(seen["B missed  "], 0);
    EXPECT_GT(seen["B lost  "], 0);
    // B came back: its last rows are read again.
    EXPECT_EQ(bySupply[b.resource()].back()[2], "ok");
    EXPECT_NE(result.err.find(a.resource() + ": "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find("CV "), std::string::npos) << result.err;
    EXPECT_NE(result.err.find(", 1 trip"), std::string::npos) << result.err;
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

TEST(Log, StatusLineOnATerminal) {
    const TempFolder folder;
    TmuxTerminal terminal(std::string(ToolPath()) +
                          " log --simulate --interval 0.1 --duration 2 --output " +
                          folder.File("log.csv"));
    const std::string during = terminal.WaitFor(" rows | 00:00:0");
    EXPECT_NE(during.find("simulated 0.0000 V 0.0000 A CV"), std::string::npos) << during;
    const std::string after = terminal.WaitFor("[exit 0]");
    EXPECT_EQ(after.find(" rows | "), std::string::npos) << after;  // cleared at the end
    EXPECT_NE(after.find("simulated: 20 readings"), std::string::npos) << after;
}

}  // namespace
}  // namespace qmdc_cli_test
