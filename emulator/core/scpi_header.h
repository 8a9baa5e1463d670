// SCPI command headers: parsing what a client sent, and matching it against the patterns of
// the command table.
#ifndef QMDC_EMULATOR_CORE_SCPI_HEADER_H
#define QMDC_EMULATOR_CORE_SCPI_HEADER_H

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace qmdc::emu {

// A header as received, e.g. ":syst:err?" → keywords {"syst","err"}, query.
struct ParsedHeader {
    std::vector<std::string> keywords;  // for a common command: one keyword, "*IDN"
    bool query = false;
};

// nullopt when the text is not a well-formed header (bad characters, empty keyword).
std::optional<ParsedHeader> ParseHeader(std::string_view text);

// A header pattern in SCPI notation: keywords joined by ':', short form in upper case, long
// form completed in lower case, optional keywords in brackets, e.g.
// "[SOURce:]VOLTage:PROTection[:LEVel]" or "*IDN".
class HeaderPattern {
  public:
    explicit HeaderPattern(std::string_view pattern);

    bool Matches(const std::vector<std::string>& keywords) const;
    const std::string& text() const { return text_; }

  private:
    struct Node {
        std::string keyword;
        bool optional;
    };
    bool MatchFrom(size_t node, const std::vector<std::string>& keywords, size_t word) const;

    std::string text_;
    std::vector<Node> nodes_;
};

}  // namespace qmdc::emu

#endif
