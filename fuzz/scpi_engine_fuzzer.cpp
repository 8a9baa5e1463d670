// The emulator's SCPI parser and command table: each input line runs on one
// instrument (terminator removed, as the server hands lines over). An answer
// never holds a line feed, which would split it into two messages on the
// wire, and the error queue always reads back.
#include <algorithm>
#include <string>
#include <string_view>

#include "core/engine.h"
#include "support/fuzz_check.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    qmdc::emu::Engine engine{qmdc::emu::InstrumentConfig{}};
    std::string_view rest(reinterpret_cast<const char*>(data), size);
    while (!rest.empty()) {
        const size_t end = std::min(rest.find('\n'), rest.size());
        const std::string_view line = rest.substr(0, end);
        rest.remove_prefix(std::min(end + 1, rest.size()));
        for (const qmdc::emu::Response& response : engine.Execute(line))
            FUZZ_CHECK(response.text.find('\n') == std::string::npos,
                       "an answer to \"%.*s\" holds a line feed", static_cast<int>(line.size()),
                       line.data());
    }
    const auto error = engine.Execute("SYST:ERR?");
    FUZZ_CHECK(error.size() == 1, "SYST:ERR? gave %zu answers", error.size());
    return 0;
}
