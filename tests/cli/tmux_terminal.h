// A terminal a person would use, for the interactive parts of the tool: a
// tmux server of the test's own (its socket in a folder of its own, removed
// at the end, so tests never share one) runs a command in a window of a fixed size; the test types
// with SendKeys and reads the screen with Screen() or WaitFor().
#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "cli_test_support.h"

namespace qmdc_cli_test {

class TmuxTerminal {
  public:
    // command runs through the shell; when it ends the window shows
    // "[exit N]" and stays, so that its last screen can still be read.
    explicit TmuxTerminal(const std::string& command, int width = 100, int height = 30);
    ~TmuxTerminal();
    TmuxTerminal(const TmuxTerminal&) = delete;
    TmuxTerminal& operator=(const TmuxTerminal&) = delete;

    // tmux key names ("Enter", "Up", "C-c") or literal text.
    void SendKeys(const std::vector<std::string>& keys);
    void Type(const std::string& line);  // the text, then Enter

    std::string Screen() const;
    // The screen once it contains text; the last screen seen otherwise, and a
    // test failure. capture-pane drops the blanks at the end of a line.
    std::string WaitFor(const std::string& text,
                        std::chrono::milliseconds within = std::chrono::seconds(10)) const;
    // Screen() after the n-th appearance of text (counting all of the screen).
    std::string WaitForCount(const std::string& text, size_t count,
                             std::chrono::milliseconds within = std::chrono::seconds(10)) const;

  private:
    TempFolder folder_;
    std::string socket_;
};

// How often text appears in screen.
size_t Occurrences(const std::string& screen, const std::string& text);

}  // namespace qmdc_cli_test
