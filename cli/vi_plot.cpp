#include "vi_plot.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <sstream>

#include "failure.h"
#include "number_text.h"
#include "text_case.h"

extern char** environ;

namespace qmdc::cli {
namespace {

constexpr const char* kGnuplot = "gnuplot";

struct FileType {
    const char* extension;
    const char* terminal;
};
constexpr FileType kFileTypes[] = {
    {".svg", "set terminal svg size 800,500 dynamic font 'sans,12' background rgb 'white'"},
    {".png", "set terminal pngcairo size 800,500 font 'sans,10' background rgb 'white'"},
};

bool OnPath(const char* program) {
    const char* path = std::getenv("PATH");
    std::istringstream folders(path ? path : "");
    for (std::string folder; std::getline(folders, folder, ':');) {
        const std::string candidate = (folder.empty() ? "." : folder) + "/" + program;
        struct stat info {};
        if (stat(candidate.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
            access(candidate.c_str(), X_OK) == 0) {
            return true;
        }
    }
    return false;
}

// A text in gnuplot's single quotes, where a quote is written twice.
std::string Quoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

std::string Script(const std::string& terminal, const std::string& path, const std::string& title,
                   const std::vector<SweepPoint>& points) {
    std::string script = terminal + "\n";
    script += "set output " + Quoted(path) + "\n";
    script += "set title " + Quoted(title) + " noenhanced\n";
    script += "set xlabel 'Voltage set (V)'\nset ylabel 'Current (A)'\n";
    script += "set grid\nset key left top\nset xrange [*:*]\nset yrange [0:*]\n";
    script += "$sweep << EOD\n";
    for (const SweepPoint& point : points) {
        script += RealText(point.setVolts) + " " + RealText(point.measured.amps) + " " +
                  point.state.code + "\n";
    }
    script += "EOD\n";
    script += "plot $sweep using 1:2 with lines lw 2 lc rgb '#808080' notitle";
    // One set of points per regulation mode met, in the order met.
    std::vector<std::string> modes;
    for (const SweepPoint& point : points) {
        if (std::find(modes.begin(), modes.end(), point.state.code) != modes.end()) continue;
        modes.push_back(point.state.code);
        script += ", $sweep using 1:(strcol(3) eq " + Quoted(point.state.code) +
                  " ? $2 : NaN) with points pointtype 7 pointsize 1 title " +
                  Quoted(point.state.text);
    }
    script += "\n";
    return script;
}

// Writes all of text to fd; false when the reader went away.
bool WriteAll(int fd, const std::string& text) {
    for (size_t done = 0; done < text.size();) {
        const ssize_t n = write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        done += size_t(n);
    }
    return true;
}

// Runs gnuplot with the script on its standard input; its exit status, or -1.
int RunGnuplot(const std::string& script) {
    int pipeEnds[2];
    if (pipe2(pipeEnds, O_CLOEXEC) != 0) return -1;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeEnds[0], STDIN_FILENO);
    // gnuplot writes the picture to standard output when it cannot open the
    // file: never onto the tool's own (the CSV may be there).
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    char* argv[] = {const_cast<char*>(kGnuplot), nullptr};
    pid_t child = -1;
    const int spawned = posix_spawnp(&child, kGnuplot, &actions, nullptr, argv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeEnds[0]);
    if (spawned != 0) {
        close(pipeEnds[1]);
        return -1;
    }
    // A gnuplot that stops reading early must not end the tool with SIGPIPE.
    struct sigaction ignore {
    }, previous{};
    ignore.sa_handler = SIG_IGN;
    sigaction(SIGPIPE, &ignore, &previous);
    WriteAll(pipeEnds[1], script);
    close(pipeEnds[1]);
    sigaction(SIGPIPE, &previous, nullptr);
    int status = 0;
    while (waitpid(child, &status, 0) < 0) {
        if (errno != EINTR) return -1;
    }
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

// Whether the file can be made, tried by making it: a file that was not
// there before is removed again (gnuplot makes it after the sweep).
void CheckWritable(const std::string& path) {
    struct stat info {};
    const bool existed = stat(path.c_str(), &info) == 0;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw Failure("cannot write " + path + ": " + std::strerror(errno));
    close(fd);
    if (!existed) unlink(path.c_str());
}

}  // namespace

VoltageCurrentPlot::VoltageCurrentPlot(std::string path) : path_(std::move(path)) {
    for (const FileType& type : kFileTypes) {
        if (path_.size() > std::strlen(type.extension) &&
            EndsWithIgnoringCase(path_, type.extension)) {
            terminal_ = type.terminal;
        }
    }
    if (terminal_.empty()) {
        throw UsageError("--plot needs a file name ending in .svg or .png: " + path_);
    }
    CheckWritable(path_);
    if (!OnPath(kGnuplot)) {
        throw Failure(
            "cannot plot: gnuplot is not installed (on Debian: apt-get install gnuplot-nox)");
    }
}

void VoltageCurrentPlot::Write(const std::string& title,
                               const std::vector<SweepPoint>& points) const {
    const int status = RunGnuplot(Script(terminal_, path_, title, points));
    if (status != 0) {
        throw Failure("gnuplot could not write " + path_ +
                      (status > 0 ? " (exit status " + std::to_string(status) + ")" : ""));
    }
}

}  // namespace qmdc::cli
