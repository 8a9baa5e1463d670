#include "log/log_rows.h"

#include <nlohmann/json.hpp>

#include <cstdio>
#include <ctime>

#include "number_text.h"

namespace qmdc::cli {
namespace {

constexpr const char* kCsvHeader =
    "time,supply,status,voltage_V,current_A,power_W,mode,protection,note";

std::string Number(double value) {
    return NumberText(value, "nan");
}

std::string CsvLine(const LogRow& row) {
    std::string line =
        IsoTime(row.time) + "," + CsvQuoted(row.supply) + "," + StatusText(row.status);
    if (row.sample) {
        const Reading& r = row.sample->reading;
        line += "," + Number(r.volts) + "," + Number(r.amps) + "," + Number(r.watts()) + "," +
                row.sample->mode() + "," + row.sample->protection();
    } else {
        line += ",,,,,";
    }
    return line + "," + CsvQuoted(row.note);
}

std::string JsonLine(const LogRow& row) {
    nlohmann::ordered_json line = {
        {"time", IsoTime(row.time)}, {"supply", row.supply}, {"status", StatusText(row.status)}};
    if (row.sample) {
        const Reading& r = row.sample->reading;
        line["voltage_V"] = r.volts;
        line["current_A"] = r.amps;
        line["power_W"] = r.watts();
        line["mode"] = row.sample->mode();
        line["protection"] = row.sample->protection();
    }
    if (!row.note.empty()) line["note"] = row.note;
    // An instrument's text need not be UTF-8: it is written with replacements.
    return line.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

}  // namespace

std::string IsoTime(WallTime time) {
    const auto ms =
        std::chrono::duration_cast<std::chrono::milliseconds>(time.time_since_epoch()).count();
    const std::time_t seconds = static_cast<std::time_t>(ms / 1000);
    std::tm utc{};
    gmtime_r(&seconds, &utc);
    char text[96];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%03dZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec,
                  static_cast<int>(ms % 1000));
    return text;
}

const char* StatusText(RowStatus status) {
    switch (status) {
        case RowStatus::Ok:
            return "ok";
        case RowStatus::Missed:
            return "missed";
        case RowStatus::Lost:
            return "lost";
    }
    return "?";
}

LogWriter::LogWriter(std::ostream& out, LogFormat format) : out_(out), format_(format) {
    if (format_ == LogFormat::Csv) out_ << kCsvHeader << std::endl;
}

void LogWriter::Write(const LogRow& row) {
    out_ << (format_ == LogFormat::Csv ? CsvLine(row) : JsonLine(row)) << std::endl;
}

}  // namespace qmdc::cli
