// A request of the web side written as text, for the HTTP fuzz targets:
// lines of the method, the path, the query (k=v&k=v), header lines
// "Name: value" (the blanks after the colon dropped) up to an empty line, then the body.
#pragma once

#include <string>

#include "panel/panel_http.h"

namespace qmdc::fuzz {

cli::panel::HttpRequest ParseRequestText(const std::string& text);

}  // namespace qmdc::fuzz
