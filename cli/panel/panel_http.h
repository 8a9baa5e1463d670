// The panel's requests and answers: the HTTP module's plain values, so that
// what the panel allows and refuses can be tested and fuzzed without a
// socket.
#pragma once

#include "http/http_message.h"

namespace qmdc::cli::panel {

using http::EchoText;
using http::ErrorResponse;
using http::HttpRequest;
using http::HttpResponse;

}  // namespace qmdc::cli::panel
