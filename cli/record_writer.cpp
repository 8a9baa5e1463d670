#include "record_writer.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cerrno>
#include <iomanip>

#include "number_text.h"
#include "standard_output.h"

namespace qmdc::cli {
namespace {

constexpr int kMinTableWidth = 10;

// A reading that is no number, or infinite, is written as notANumber ("null"
// keeps the JSON valid).
std::string FiniteText(double value, const char* notANumber) {
    return std::isfinite(value) ? NumberText(value, notANumber) : notANumber;
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
    if (const double* number = std::get_if<double>(&field)) return FiniteText(*number, "nan");
    return CsvQuoted(std::get<std::string>(field));
}

std::string TableField(const Field& field, const Column& column) {
    if (const double* number = std::get_if<double>(&field)) {
        return FixedText(*number, column.decimals);
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
                             ? FiniteText(std::get<double>(fields[i]), "null")
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
