#include "gnuplot.h"

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
#include "text_case.h"

extern char** environ;

namespace qmdc::cli {
namespace {

constexpr const char* kGnuplot = "gnuplot";

struct FileType {
    const char* extension;
    const char* terminal;  // the size follows it
    const char* rest;      // after the size
};
constexpr FileType kFileTypes[] = {
    {".svg", "set terminal svg", "dynamic font 'sans,12' background rgb 'white'"},
    {".png", "set terminal pngcairo", "font 'sans,10' background rgb 'white'"},
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
// there before is removed again (gnuplot makes it after the data is taken).
void CheckWritable(const std::string& path) {
    struct stat info {};
    const bool existed = stat(path.c_str(), &info) == 0;
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0666);
    if (fd < 0) throw Failure("cannot write " + path + ": " + std::strerror(errno));
    close(fd);
    if (!existed) unlink(path.c_str());
}

}  // namespace

std::string GnuplotQuoted(const std::string& text) {
    std::string quoted = "'";
    for (const char c : text) quoted += c == '\'' ? std::string("''") : std::string(1, c);
    return quoted + "'";
}

GnuplotFile::GnuplotFile(std::string path, int width, int height) : path_(std::move(path)) {
    for (const FileType& type : kFileTypes) {
        const size_t length = std::strlen(type.extension);
        if (path_.size() > length &&
            EqualsIgnoringCase(path_.substr(path_.size() - length), type.extension)) {
            terminal_ = std::string(type.terminal) + " size " + std::to_string(width) + "," +
                        std::to_string(height) + " " + type.rest;
        }
    }
    if (terminal_.empty()) {
        throw UsageError("--plot needs a file name ending in .svg or .png: " + path_);
    }
    if (!OnPath(kGnuplot)) {
        throw Failure(
            "cannot plot: gnuplot is not installed (on Debian: apt-get install gnuplot-nox)");
    }
    CheckWritable(path_);
}

void GnuplotFile::Draw(const std::string& script) const {
    const int status =
        RunGnuplot(terminal_ + "\nset output " + GnuplotQuoted(path_) + "\n" + script);
    if (status != 0) {
        throw Failure("gnuplot could not write " + path_ +
                      (status > 0 ? " (exit status " + std::to_string(status) + ")" : ""));
    }
}

}  // namespace qmdc::cli
