#include "panel/browser_opening.h"

#include <spawn.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <iostream>
#include <thread>
#include <vector>

extern char** environ;

namespace qmdc::cli::panel {
namespace {

// How long the browser has to read the page.
constexpr auto kFileKept = std::chrono::seconds(60);
// How long a panel that stops waits for xdg-open.
constexpr auto kLastWait = std::chrono::seconds(1);

std::string PrivateDirectory() {
    for (const char* name : {"XDG_RUNTIME_DIR", "TMPDIR"}) {
        const char* dir = std::getenv(name);
        struct stat info {};
        if (dir != nullptr && *dir != '\0' && stat(dir, &info) == 0 && S_ISDIR(info.st_mode)) {
            return dir;
        }
    }
    return "/tmp";
}

std::string RedirectPage(const std::string& url) {
    return "<!DOCTYPE html>\n<meta charset=\"utf-8\">\n<meta name=\"referrer\" "
           "content=\"no-referrer\">\n<meta http-equiv=\"refresh\" content=\"0; url=" +
           url + "\">\n<title>qmdc panel</title>\n<a href=\"" + url + "\">qmdc panel</a>\n";
}

void Warn(const std::string& what) {
    std::cerr << "qmdc: warning: " << what << "; open the address above" << std::endl;
}

}  // namespace

BrowserOpening::BrowserOpening(const std::string& url) {
    std::string path = PrivateDirectory() + "/qmdc-panel-XXXXXX.html";
    std::vector<char> name(path.begin(), path.end());
    name.push_back('\0');
    const int fd = mkstemps(name.data(), 5);  // mode 0600
    if (fd < 0) {
        Warn("could not write the page for the browser");
        return;
    }
    path_ = name.data();
    removeAt_ = std::chrono::steady_clock::now() + kFileKept;
    const std::string page = RedirectPage(url);
    const bool written = write(fd, page.data(), page.size()) == ssize_t(page.size());
    close(fd);
    char* argv[] = {const_cast<char*>("xdg-open"), name.data(), nullptr};
    if (!written || posix_spawnp(&child_, "xdg-open", nullptr, nullptr, argv, environ) != 0) {
        child_ = -1;
        Remove();
        Warn("could not start a browser (xdg-open)");
    }
}

BrowserOpening::~BrowserOpening() {
    Remove();
    Reap(true);
}

void BrowserOpening::Tick() {
    Reap(false);
    if (std::chrono::steady_clock::now() >= removeAt_) Remove();
}

void BrowserOpening::Reap(bool wait) {
    const auto end = std::chrono::steady_clock::now() + kLastWait;
    while (child_ > 0) {
        int status = 0;
        const pid_t done = waitpid(child_, &status, WNOHANG);
        if (done == child_ || (done < 0 && errno != EINTR)) {
            child_ = -1;
        } else if (!wait || std::chrono::steady_clock::now() >= end) {
            return;  // still opening; once the panel ends, init takes it over
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(20));
        }
    }
}

void BrowserOpening::Remove() {
    if (!path_.empty()) unlink(path_.c_str());
    path_.clear();
}

}  // namespace qmdc::cli::panel
