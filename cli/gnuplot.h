// A chart drawn by gnuplot into an SVG or PNG file: the file type from its
// name, the script on gnuplot's standard input.
#pragma once

#include <string>

namespace qmdc::cli {

class GnuplotFile {
  public:
    // Checks what can be checked before the data is taken: the file's
    // extension (.svg or .png: UsageError) and that gnuplot is installed (Failure).
    // The picture is width x height (pixels; points in an SVG).
    explicit GnuplotFile(std::string path, int width = 800, int height = 500);

    // Runs gnuplot with the terminal and output lines, then the script;
    // throws a Failure when it does not succeed.
    void Draw(const std::string& script) const;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
    std::string terminal_;  // gnuplot's terminal line for the file type
};

// A text in gnuplot's single quotes, where a quote is written twice.
std::string GnuplotQuoted(const std::string& text);

}  // namespace qmdc::cli
