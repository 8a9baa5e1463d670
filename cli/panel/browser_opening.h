// The panel's page opened in the desktop's browser without putting its token
// on a command line, where every local user can read it (ps): xdg-open is
// given a file only this user can read (0600, in $XDG_RUNTIME_DIR when there
// is one), holding a page that goes on to the panel's address. The file is
// removed once the browser has had time to read it, or when the panel stops;
// xdg-open is waited for.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <string>

namespace qmdc::cli::panel {

class BrowserOpening {
  public:
    // Starts xdg-open; warns on stderr when it cannot.
    explicit BrowserOpening(const std::string& url);
    ~BrowserOpening();
    BrowserOpening(const BrowserOpening&) = delete;
    BrowserOpening& operator=(const BrowserOpening&) = delete;

    // Call now and then: reaps xdg-open once it is done, removes the file in time.
    void Tick();

  private:
    void Reap(bool wait);
    void Remove();

    std::string path_;
    pid_t child_ = -1;
    std::chrono::steady_clock::time_point removeAt_;
};

}  // namespace qmdc::cli::panel
