#include "record_format_option.h"

#include <CLI/CLI.hpp>

#include <map>

namespace qmdc::cli {

void AddFormatOption(CLI::App& command, RecordFormat& format, const char* description) {
    static const std::map<std::string, RecordFormat> kNames = {
        {"table", RecordFormat::Table}, {"csv", RecordFormat::Csv}, {"json", RecordFormat::Json}};
    command.add_option("--format", format, description)
        ->transform(CLI::CheckedTransformer(kNames, CLI::ignore_case));
}

}  // namespace qmdc::cli
