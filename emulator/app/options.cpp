#include "app/options.h"

#include <cerrno>
#include <cmath>
#include <cstdlib>
#include <functional>
#include <string_view>

namespace qmdc::emu {

namespace {

bool ToLong(const std::string& text, long min, long max, long& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long value = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || *end != '\0' || value < min || value > max) return false;
    out = value;
    return true;
}

bool ToPositiveReal(const std::string& text, double& out) {
    if (text.empty()) return false;
    char* end = nullptr;
    const double value = std::strtod(text.c_str(), &end);
    if (*end != '\0' || !std::isfinite(value) || value <= 0.0) return false;
    out = value;
    return true;
}

// One row per option that takes a value: its name and how the value is stored.
struct ValueOption {
    const char* name;
    std::function<bool(Options&, const std::string&)> apply;
};

template <typename T>
std::function<bool(Options&, const std::string&)> Integer(T FaultOptions::*field, long min,
                                                          long max) {
    return [field, min, max](Options& o, const std::string& text) {
        long value = 0;
        if (!ToLong(text, min, max, value)) return false;
        o.faults.*field = static_cast<T>(value);
        return true;
    };
}

std::function<bool(Options&, const std::string&)> Text(std::string Identity::*field) {
    return [field](Options& o, const std::string& text) {
        o.instrument.identity.*field = text;
        return true;
    };
}

std::function<bool(Options&, const std::string&)> Header(
    std::vector<std::string> FaultOptions::*list) {
    return [list](Options& o, const std::string& text) {
        if (text.empty()) return false;
        (o.faults.*list).push_back(text);
        return true;
    };
}

const std::vector<ValueOption>& ValueOptions() {
    static const std::vector<ValueOption> options = {
        {"--model", Text(&Identity::model)},
        {"--manufacturer", Text(&Identity::manufacturer)},
        {"--serial", Text(&Identity::serial)},
        {"--firmware", Text(&Identity::firmware)},
        {"--load",
         [](Options& o, const std::string& text) {
             return ToPositiveReal(text, o.instrument.loadOhms);
         }},
        {"--delay-ms", Integer(&FaultOptions::delayMs, 0, 600000)},
        {"--drop-after", Integer(&FaultOptions::dropAfter, 1, 1000000000)},
        {"--split", Integer(&FaultOptions::split, 1, 1000000)},
        {"--stall-after", Integer(&FaultOptions::stallAfter, 1, 1000000)},
        {"--esr", Integer(&FaultOptions::esrStuckBits, 0, 255)},
        {"--bad-record",
         [](Options& o, const std::string& text) {
             o.faults.badRecord = text;
             return true;
         }},
        {"--vxi11-host",
         [](Options& o, const std::string& text) {
             o.vxi11 = true;
             o.vxi11Host = text;
             return !text.empty();
         }},
        {"--hislip-init-timeout-ms",
         [](Options& o, const std::string& text) {
             long ms = 0;
             if (!ToLong(text, 1, 3600000, ms)) return false;
             o.hislipInitTimeoutMs = static_cast<int>(ms);
             return true;
         }},
        {"--no-reply", Header(&FaultOptions::noReply)},
        {"--garbage", Header(&FaultOptions::garbage)},
        {"--oversize", Header(&FaultOptions::oversize)},
        {"--eol",
         [](Options& o, const std::string& text) {
             if (text != "lf" && text != "crlf") return false;
             o.faults.lineEnding = text == "lf" ? "\n" : "\r\n";
             return true;
         }},
        {"--esr-after",
         [](Options& o, const std::string& text) {
             const size_t equals = text.rfind('=');
             long bits = 0;
             if (equals == std::string::npos || equals == 0 ||
                 !ToLong(text.substr(equals + 1), 1, 255, bits))
                 return false;
             o.faults.esrAfter.emplace_back(text.substr(0, equals), static_cast<int>(bits));
             return true;
         }},
    };
    return options;
}

}  // namespace

bool ParseOptions(int argc, const char* const* argv, Options& options, std::string& error) {
    for (int i = 1; i < argc; ++i) {
        const std::string arg = argv[i];
        const size_t equals = arg.find('=');
        const std::string name = arg.substr(0, equals);
        if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--verbose" || arg == "-v") {
            options.verbose = true;
        } else if (arg == "--pty") {
            options.pty = true;
        } else if (arg == "--vxi11") {
            options.vxi11 = true;
        } else if (arg == "--tst-fail") {
            options.faults.selfTestFails = true;
        } else if (name == "--tcp" || name == "--hislip") {
            // The port is optional: "--tcp=5025", or "--tcp 5025" when the next
            // argument is not an option.
            const bool tcp = name == "--tcp";
            (tcp ? options.tcp : options.hislip) = true;
            std::string port;
            if (equals != std::string::npos) {
                port = arg.substr(equals + 1);
            } else if (i + 1 < argc && argv[i + 1][0] != '-') {
                port = argv[++i];
            } else {
                continue;
            }
            long number = 0;
            if (!ToLong(port, 0, 65535, number)) {
                error = "bad port for " + name + ": " + port;
                return false;
            }
            (tcp ? options.tcpPort : options.hislipPort) = static_cast<int>(number);
        } else {
            const ValueOption* option = nullptr;
            for (const ValueOption& candidate : ValueOptions()) {
                if (name == candidate.name) option = &candidate;
            }
            if (option == nullptr) {
                error = (arg.rfind('-', 0) == 0 ? "unknown option " : "unexpected argument ") + arg;
                return false;
            }
            std::string value;
            if (equals != std::string::npos) {
                value = arg.substr(equals + 1);
            } else if (i + 1 < argc) {
                value = argv[++i];
            } else {
                error = "option " + name + " needs a value";
                return false;
            }
            if (!option->apply(options, value)) {
                error = "bad value for " + name + ": " + value;
                return false;
            }
        }
    }
    if (!options.tcp && !options.pty && !options.hislip && !options.vxi11) options.tcp = true;
    options.instrument.selfTestFails = options.faults.selfTestFails;
    return true;
}

const char* UsageText() {
    return R"(Usage: qmdc-emulator [options]

Emulates a DC power supply of the Orvane QM family (SCPI over a raw TCP socket, a
pseudo-terminal, HiSLIP and/or VXI-11). The first line(s) on stdout are the VISA resource
names to open: the TCP one first, then the serial one, the HiSLIP one, the VXI-11 one. It
serves one client at a time on the socket and the terminal, up to 16 HiSLIP sessions and any
number of VXI-11 connections (64 links each), all on one instrument with one lock (HiSLIP
and VXI-11 locks keep each other out), and runs until SIGTERM or SIGINT (exit status 0). A
client that leaves 1 MiB of answers untaken is dropped; it holds nobody else up.

Transports (default: --tcp on 127.0.0.1 with a port the kernel picks):
  --tcp [PORT]           listen on 127.0.0.1:PORT       -> TCPIP0::127.0.0.1::PORT::SOCKET
  --pty                  serve a pseudo-terminal        -> ASRL/dev/pts/N::INSTR
  --hislip [PORT]        serve HiSLIP on 127.0.0.1:PORT -> TCPIP0::127.0.0.1::hislip0,PORT::INSTR
  --vxi11                VXI-11 on a free loopback address 127.X.Y.Z, with its own portmapper
                         on port 111 of that address (root, or CAP_NET_BIND_SERVICE)
                                                        -> TCPIP0::127.X.Y.Z::inst0::INSTR
  --vxi11-host ADDR      VXI-11 on the loopback address ADDR
                         When the system's portmapper (rpcbind) holds port 111, the core
                         channel listens on 127.0.0.1 (or ADDR) and is registered with it
                         instead, and taken out at exit; only one server per host can be
                         registered: a second emulator says which port holds it, and exits 1.
  --hislip-init-timeout-ms N
                         a HiSLIP connection that has not become a whole session (both
                         channels initialised) N ms after it was accepted is closed; default 5000

Instrument:
  --model TEXT           model, default "Rack 30-70 QM"; "<Bench|Rack> <V>-<A> QM" gives the
                         ratings (600 W bench, 1500 W rack); any other text is answered as is
                         with the ratings of a 30 V, 70 A, 1500 W unit
  --manufacturer TEXT    default Orvane
  --serial TEXT          default SN0001
  --firmware TEXT        default 1.2.3
  --load OHMS            resistive load on the output, default 10
  --eol lf|crlf          line ending of every answer, default lf

Fault injection (QUERY/HEADER: a header in short or long form, e.g. "*OPC?", "MEAS:VOLT?"):
  --delay-ms N           wait N ms before sending each reply
  --no-reply QUERY       never answer this query (repeatable)
  --garbage QUERY        answer this query with junk bytes and a linefeed (repeatable)
  --oversize QUERY       answer this query with a 100000-byte line (repeatable)
  --drop-after N         after answering the Nth message of a connection, close it once
                         the answer has gone (socket, HiSLIP session, VXI-11 connection); on
                         the pty, ignore all input until the client closes the terminal
  --split N              send replies in chunks of N bytes, 2 ms apart (HiSLIP: Data
                         messages of N bytes; VXI-11: at most N bytes a device_read)
  --stall-after N        send the first N bytes of each reply at once and pause the
                         --delay-ms time before the rest (an answer that stalls half-way)
  --bad-record KIND      VXI-11: answer every device_read with a broken RPC record: "huge" (a
                         record mark announcing 2 GiB) or "junk" (a record that is no reply)
  --tst-fail             *TST? answers 1 and the self-test result is "Selftest failed"
  --esr VALUE            every *ESR? answer includes the bits of VALUE (nothing is queued)
  --esr-after HEADER=VALUE
                         each time HEADER is executed, set VALUE in the event status register
                         and queue -400/-300/-200/-100 for the bits 4/8/16/32 (repeatable)

Other:
  --verbose              log every received line and reply on stderr
  --help                 this text

Emulator commands (not part of the real instrument):
  EMULator:LOAD <ohms> / EMULator:LOAD?          resistive load (1e-6 .. 1e12 ohm)
  EMULator:HARDware <bits> / EMULator:HARDware?  hardware fault condition (STAT:QUES:HARD)
  EMULator:TEMPerature <bits> / ...?             temperature fault condition (STAT:QUES:TEMP)

Behaviour: with the output on, the output voltage is the least of VOLT, CURR x load and
sqrt(POW x load) (operation condition bit 9 CV, 10 CC, 11 CP). Over-voltage, over-current and
over-power protection trip when the output voltage, current or power exceeds VOLT:PROT,
CURR:PROT or POW:PROT: the output turns off and questionable condition bit 0, 1 or 3 stays set
until OUTP ON (or OUTP:PROT:CLE, *RST) re-arms it. Boolean queries answer 1 or 0.
RSEN:RES:CALC <ohms> starts a sense-lead calculation: the next RSEN:RES:CALC? answers
CALCULATING, the following ones COMPLETE, and RSEN:RES then reads <ohms>.
SYST:ERR:COND? answers the code of the oldest queued error (0 when none). Several queries in
one line are answered in one line, separated by ';'.
)";
}

}  // namespace qmdc::emu
