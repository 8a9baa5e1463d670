// Rows of readings written as they come: an aligned table for a person, CSV
// or JSON for a program. A row is written and flushed at once, so a reader at
// the other end of a pipe sees each one when it is taken.
#pragma once

#include <ostream>
#include <string>
#include <variant>
#include <vector>

namespace qmdc::cli {

enum class RecordFormat { Table, Csv, Json };

struct Column {
    const char* name;  // "voltage_V": the CSV header and the JSON key
    int decimals;      // in the table
};

using Field = std::variant<double, std::string>;

class RecordWriter {
  public:
    // name: the file's name in messages ("standard output").
    RecordWriter(std::ostream& out, std::string name, RecordFormat format,
                 std::vector<Column> columns);
    // Closes the JSON array when Finish() was not called (unchecked: the
    // command is ending anyway).
    ~RecordWriter();

    // Each throws a Failure naming the file when the write fails.
    void Write(const std::vector<Field>& fields);
    void Finish();

  private:
    std::ostream& out_;
    std::string name_;
    RecordFormat format_;
    std::vector<Column> columns_;
    size_t rows_ = 0;
    bool finished_ = false;
};

}  // namespace qmdc::cli
