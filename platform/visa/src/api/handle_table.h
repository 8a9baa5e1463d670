// handle_table.h - the process-wide table of open sessions.
#pragma once

#include <memory>
#include <mutex>
#include <unordered_map>

#include "session.h"
#include "visa.h"

namespace qmdc::visa {

// Handles count up and are never reused, so a stale handle can only ever
// be VI_ERROR_INV_OBJECT, never somebody else's session.
class HandleTable {
  public:
    static HandleTable& instance();

    // VI_ERROR_ALLOC once the handle space is used up.
    ViStatus openResourceManager(ViSession* out);
    // Registers an instrument session opened through `rm`; VI_ERROR_INV_OBJECT
    // if `rm` was closed meanwhile.
    ViStatus add(ViSession rm, std::shared_ptr<Session> session, ViSession* out);
    // Null for a handle that is not an open instrument session.
    std::shared_ptr<Session> find(ViSession vi);
    bool isResourceManager(ViSession vi);
    // Closes a session, or a resource manager and all its sessions.
    ViStatus close(ViSession vi);

  private:
    struct Entry {
        ViSession owner;  // the resource manager; 0 for a resource manager
        std::shared_ptr<Session> session;
    };
    ViStatus newHandle(ViSession* out);

    std::mutex mutex_;
    ViSession next_ = 1;
    std::unordered_map<ViSession, Entry> entries_;
};

}  // namespace qmdc::visa
