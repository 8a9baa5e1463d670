// The --format option of the commands that write readings.
#pragma once

#include "record_writer.h"

namespace CLI {
class App;
}

namespace qmdc::cli {

void AddFormatOption(CLI::App& command, RecordFormat& format, const char* description);

}  // namespace qmdc::cli
