// The line qmdc log keeps redrawn on a terminal while it runs: the time so
// far, the rows by status and the supply that fares worst, cut to the
// terminal's width so that it stays one line whatever the number of supplies.
#pragma once

#include <string>
#include <vector>

namespace qmdc::cli {

struct SupplyCounts {
    std::string name;
    long long ok = 0, missed = 0, lost = 0;
    std::string now;  // its last row: "12.0000 V 1.5000 A CV", "missed" or "lost"
};

// "00:01:05 | 130 rows: 128 ok, 1 missed, 1 lost | worst PSU2: 1 lost, 1 missed, now ok ..."
// at most columns - 1 characters (the last column would make some terminals
// wrap), control characters shown as '?'.
std::string StatusLine(const std::vector<SupplyCounts>& supplies, double elapsedSeconds,
                       size_t columns);

// The width of the terminal on fd; 80 when it does not say.
size_t TerminalColumns(int fd);

}  // namespace qmdc::cli
