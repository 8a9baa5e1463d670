#include "core/scpi_message.h"

#include "core/scpi_values.h"

namespace qmdc::emu {

namespace {

// Splits at every separator outside single- or double-quoted strings; false when a quoted
// string is not closed.
bool SplitOutsideQuotes(std::string_view text, char separator,
                        std::vector<std::string_view>& pieces) {
    pieces.clear();
    char quote = 0;
    size_t start = 0;
    for (size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (quote != 0) {
            if (c == quote) quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == separator) {
            pieces.push_back(text.substr(start, i - start));
            start = i + 1;
        }
    }
    if (quote != 0) return false;
    pieces.push_back(text.substr(start));
    return true;
}

}  // namespace

std::optional<std::vector<ProgramUnit>> SplitMessage(std::string_view line) {
    std::vector<std::string_view> pieces;
    if (!SplitOutsideQuotes(line, ';', pieces)) return std::nullopt;
    std::vector<ProgramUnit> units;
    std::vector<std::string_view> params;
    for (std::string_view piece : pieces) {
        piece = Trim(piece);
        if (piece.empty()) continue;
        ProgramUnit unit;
        const size_t blank = piece.find_first_of(" \t");
        unit.header = std::string(piece.substr(0, blank));
        if (blank != std::string_view::npos) {
            const std::string_view rest = Trim(piece.substr(blank));
            if (!rest.empty()) {
                // Quotes are balanced inside a unit: the line as a whole was.
                SplitOutsideQuotes(rest, ',', params);
                for (std::string_view param : params) unit.params.emplace_back(Trim(param));
            }
        }
        units.push_back(std::move(unit));
    }
    return units;
}

}  // namespace qmdc::emu
