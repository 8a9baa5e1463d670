// Command line of qmdc-emulator.
#ifndef QMDC_EMULATOR_APP_OPTIONS_H
#define QMDC_EMULATOR_APP_OPTIONS_H

#include <string>
#include <utility>
#include <vector>

#include "core/instrument.h"

namespace qmdc::emu {

struct FaultOptions {
    int delayMs = 0;                                    // --delay-ms
    std::vector<std::string> noReply;                   // --no-reply (query headers)
    std::vector<std::string> garbage;                   // --garbage
    std::vector<std::string> oversize;                  // --oversize
    long dropAfter = 0;                                 // --drop-after, 0 = never
    size_t split = 0;                                   // --split, 0 = whole replies
    size_t stallAfter = 0;                              // --stall-after, 0 = no stall
    std::string badRecord;                              // --bad-record (VXI-11)
    bool selfTestFails = false;                         // --tst-fail
    int esrStuckBits = 0;                               // --esr
    std::vector<std::pair<std::string, int>> esrAfter;  // --esr-after HEADER=VALUE
    std::string lineEnding = "\n";                      // --eol lf|crlf
};

struct Options {
    bool tcp = false;
    int tcpPort = 0;
    bool pty = false;
    bool hislip = false;
    int hislipPort = 0;
    bool vxi11 = false;
    std::string vxi11Host;           // empty: a free loopback address
    int hislipInitTimeoutMs = 5000;  // --hislip-init-timeout-ms
    InstrumentConfig instrument;
    FaultOptions faults;
    bool verbose = false;
    bool help = false;
};

// False with a one-line message in error for anything it cannot accept.
bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error);

const char* UsageText();

}  // namespace qmdc::emu

#endif
