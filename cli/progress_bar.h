// A one-line progress bar on a terminal ("[#####.....]  12/40  11 V"), drawn
// over itself; nothing at all when the stream is not a terminal, so that
// logs and pipes get no control characters.
#pragma once

#include <cstdio>
#include <string>

namespace qmdc::cli {

class ProgressBar {
  public:
    ProgressBar(FILE* terminal, size_t total);
    // Clears the bar, leaving the line for what comes next.
    ~ProgressBar();
    ProgressBar(const ProgressBar&) = delete;
    ProgressBar& operator=(const ProgressBar&) = delete;

    void Update(size_t done, const std::string& note);

  private:
    FILE* out_;
    size_t total_;
};

}  // namespace qmdc::cli
