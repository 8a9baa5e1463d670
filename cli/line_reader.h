// Lines typed by a person, with editing and a history kept across runs
// (libedit), or plain lines when the input is not a terminal.
#pragma once

#include <optional>
#include <string>

namespace qmdc::cli {

class LineReader {
  public:
    // historyFile: where the history lives ("" for none).
    LineReader(std::string prompt, std::string historyFile);
    ~LineReader();
    LineReader(const LineReader&) = delete;
    LineReader& operator=(const LineReader&) = delete;

    bool interactive() const { return interactive_; }
    // The next line, without its end; nothing at the end of the input. On a
    // terminal Ctrl-C discards the line being typed: the answer is "".
    std::optional<std::string> Next();

  private:
    std::string prompt_;
    std::string historyFile_;
    bool interactive_;
};

// ~/.qmdc_history, or "" when there is no home folder.
std::string DefaultHistoryFile();

}  // namespace qmdc::cli
