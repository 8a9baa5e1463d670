#include "core/scpi_header.h"

#include <cctype>

#include "core/scpi_values.h"

namespace qmdc::emu {

namespace {

bool IsMnemonic(std::string_view word) {
    if (word.empty() || !std::isalpha(static_cast<unsigned char>(word[0]))) return false;
    for (char c : word) {
        if (!std::isalnum(static_cast<unsigned char>(c)) && c != '_') return false;
    }
    return true;
}

}  // namespace

std::optional<ParsedHeader> ParseHeader(std::string_view text) {
    ParsedHeader header;
    if (!text.empty() && text.back() == '?') {
        header.query = true;
        text.remove_suffix(1);
    }
    if (!text.empty() && text.front() == '*') {
        if (!IsMnemonic(text.substr(1))) return std::nullopt;
        header.keywords.emplace_back(text);
        return header;
    }
    if (!text.empty() && text.front() == ':') text.remove_prefix(1);
    while (true) {
        const size_t colon = text.find(':');
        const std::string_view word = text.substr(0, colon);
        if (!IsMnemonic(word)) return std::nullopt;
        header.keywords.emplace_back(word);
        if (colon == std::string_view::npos) break;
        text.remove_prefix(colon + 1);
    }
    return header;
}

HeaderPattern::HeaderPattern(std::string_view pattern) : text_(pattern) {
    size_t pos = 0;
    while (pos < pattern.size()) {
        const bool optional = (pattern[pos] == '[');
        if (optional) ++pos;
        if (pos < pattern.size() && pattern[pos] == ':') ++pos;
        const size_t end = pattern.find_first_of(optional ? "]" : ":[", pos);
        std::string_view keyword = pattern.substr(pos, end - pos);
        if (!keyword.empty() && keyword.back() == ':') keyword.remove_suffix(1);  // "[SOURce:]"
        nodes_.push_back(Node{std::string(keyword), optional});
        pos = (end == std::string_view::npos) ? pattern.size() : end + (optional ? 1 : 0);
    }
}

bool HeaderPattern::Matches(const std::vector<std::string>& keywords) const {
    return MatchFrom(0, keywords, 0);
}

bool HeaderPattern::MatchFrom(size_t node, const std::vector<std::string>& keywords,
                              size_t word) const {
    if (node == nodes_.size()) return word == keywords.size();
    const Node& current = nodes_[node];
    if (word < keywords.size() && KeywordMatches(keywords[word], current.keyword) &&
        MatchFrom(node + 1, keywords, word + 1))
        return true;
    return current.optional && MatchFrom(node + 1, keywords, word);
}

}  // namespace qmdc::emu
