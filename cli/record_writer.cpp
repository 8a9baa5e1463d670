#include "record_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <iomanip>

#include "standard_output.h"

namespace qmdc::cli {
namespace {

constexpr int kMinTableWidth = 10;

// Twelve significant digits: more than any supply resolves, and few enough
// that a computed power of 3 V x 0.3 A reads 0.9, not 0.8999999999999999.
std::string NumberText(double value, const char* notANumber) {
    if (!std::isfinite(value)) return notANumber;
    char text[32];
    std::snprintf(text, sizeof text, "%.12g", value);
    return text;
}

int TableWidth(const Column& column) {
    return std::max(kMinTableWidth, static_cast<int>(std::string(column.name).size()));
}

std::string JsonString(const std::string& text) {
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"' || c == '\\') {
            quoted += '\\';
            quoted += c;
        } else if (static_cast<unsigned char>(c) < 0x20) {
            char escape[8];
            std::snprintf(escape, sizeof escape, "\\u%04x", c);
            quoted += escape;
        } else {
            quoted += c;
        }
    }
    return quoted + "\"";
}

std::string CsvField(const Field& field) {
    if (const double* number = std::get_if<double>(&field)) return NumberText(*number, "nan");
    const std::string& text = std::get<std::string>(field);
    if (text.find_first_of(",\"\n") == std::string::npos) return text;
    std::string quoted = "\"";
    for (const char c : text) quoted += c == '"' ? std::string("\"\"") : std::string(1, c);
    return quoted + "\"";
}

std::string TableField(const Field& field, const Column& column) {
    if (const double* number = std::get_if<double>(&field)) {
        char text[64];
        std::snprintf(text, sizeof text, "%.*f", column.decimals, *number);
        return text;
    }
    return std::get<std::string>(field);
}

}  // namespace

RecordWriter::RecordWriter(std::ostream& out, std::string name, RecordFormat format,
                           std::vector<Column> columns)
    : out_(out), name_(std::move(name)), format_(format), columns_(std::move(columns)) {
    errno = 0;
    if (format_ == RecordFormat::Json) {
        out_ << "[";
    } else {
        for (size_t i = 0; i < columns_.size(); ++i) {
            if (format_ == RecordFormat::Csv) {
                out_ << (i ? "," : "") << columns_[i].name;
            } else {
                out_ << (i ? "  " : "") << std::setw(TableWidth(columns_[i])) << columns_[i].name;
            }
        }
        out_ << "\n";
    }
    FlushChecked(out_, name_);
}

RecordWriter::~RecordWriter() {
    if (finished_ || format_ != RecordFormat::Json || !out_) return;
    out_ << (rows_ ? "\n]\n" : "]\n");
    out_.flush();
}

void RecordWriter::Write(const std::vector<Field>& fields) {
    errno = 0;
    if (format_ == RecordFormat::Json) out_ << (rows_ ? ",\n  {" : "\n  {");
    for (size_t i = 0; i < columns_.size() && i < fields.size(); ++i) {
        switch (format_) {
            case RecordFormat::Csv:
                out_ << (i ? "," : "") << CsvField(fields[i]);
                break;
            case RecordFormat::Json:
                out_ << (i ? ", " : "") << JsonString(columns_[i].name) << ": "
                     << (std::holds_alternative<double>(fields[i])
                             ? NumberText(std::get<double>(fields[i]), "null")
                             : JsonString(std::get<std::string>(fields[i])));
                break;
            case RecordFormat::Table:
                out_ << (i ? "  " : "") << std::setw(TableWidth(columns_[i]))
                     << TableField(fields[i], columns_[i]);
                break;
        }
    }
    out_ << (format_ == RecordFormat::Json ? "}" : "\n");
    FlushChecked(out_, name_);
    ++rows_;
}

void RecordWriter::Finish() {
    if (finished_) return;
    finished_ = true;
    errno = 0;
    if (format_ == RecordFormat::Json) out_ << (rows_ ? "\n]\n" : "]\n");
    FlushChecked(out_, name_);
}

}  // namespace qmdc::cli
