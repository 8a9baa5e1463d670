// Splitting a delimited list of texts.
#pragma once

#include <string>
#include <vector>

namespace kiln {

// Cuts text at every delimiter; with trim, each piece loses leading and
// trailing blanks, tabs, carriage returns and line feeds. Empty pieces between
// two delimiters stay; an empty text gives no piece and a trailing delimiter
// adds none.
std::vector<std::string> SplitList(const std::string& text, char delimiter, bool trim);

std::string TrimBlanks(const std::string& text);

}  // namespace kiln
