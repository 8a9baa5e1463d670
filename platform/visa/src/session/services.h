// services.h - what a session keeps for the VISA services around message
// I/O: its handle and resource (the keys of the lock table), user data and
// the 488.2 emulation switch.
#pragma once

#include <mutex>
#include <string>

#include "rsrc_name.h"
#include "visa.h"

namespace qmdc::visa {

struct Services {
    // Set once by viOpen before the handle is handed out.
    ViSession handle = VI_NULL;
    std::string lockKey;  // the resource in the lock table
    RsrcKind kind = RsrcKind::TcpSocket;

    std::mutex mutex;  // guards everything below
    unsigned long long userData = 0;
    ViUInt32 maxQueueLength = 50;
    bool fileAppend = false;
    // VI_PROT_4882_STRS: viReadSTB and viAssertTrigger send "*STB?" and
    // "*TRG" where the interface has no status byte or trigger of its own.
    ViUInt16 ioProt = VI_PROT_NORMAL;
};

}  // namespace qmdc::visa
