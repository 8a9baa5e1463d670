// qmdc list: the resources the VISA library finds, and with --identify what
// each answers to "*IDN?". Serial ports are asked only when the expression
// names serial ports: any device may sit on one (a modem, a console), and a
// query it does not expect is no harmless thing to send it.
#include <CLI/CLI.hpp>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "failure.h"
#include "text_case.h"
#include "subcommands.h"
#include "visa.h"

namespace qmdc::cli {
namespace {

struct ListCommand {
    std::string expression = "?*";
    bool identify = false;
    unsigned timeoutMs = 1000;
};

std::string StatusText(ViSession vi, ViStatus status) {
    ViChar text[256] = "";
    viStatusDesc(vi, status, text);
    return text;
}

// Closes a VISA session or find list when it goes.
struct ViCloser {
    ViObject object = VI_NULL;
    ~ViCloser() {
        if (object != VI_NULL) viClose(object);
    }
};

std::vector<std::string> Find(ViSession rm, const std::string& expression) {
    ViCloser list;
    ViUInt32 count = 0;
    ViChar name[VI_FIND_BUFLEN] = "";
    const ViStatus status = viFindRsrc(rm, expression.c_str(), &list.object, &count, name);
    if (status == VI_ERROR_RSRC_NFOUND) return {};
    if (status == VI_ERROR_INV_EXPR)
        throw UsageError("'" + expression + "' is not a VISA search expression");
    if (status < VI_SUCCESS) throw Failure("cannot list resources: " + StatusText(rm, status));
    std::vector<std::string> names{name};
    while (names.size() < count && viFindNext(list.object, name) == VI_SUCCESS)
        names.push_back(name);
    return names;
}

bool IsSerial(const std::string& text) {
    return StartsWithIgnoringCase(text, "ASRL");
}

// What the resource answers to "*IDN?", or why it does not.
std::string Identify(ViSession rm, const std::string& name, unsigned timeoutMs) {
    ViCloser vi;
    ViStatus status = viOpen(rm, name.c_str(), VI_NULL, timeoutMs, &vi.object);
    if (status >= VI_SUCCESS) status = viSetAttribute(vi.object, VI_ATTR_TMO_VALUE, timeoutMs);
    if (status >= VI_SUCCESS) status = viSetAttribute(vi.object, VI_ATTR_TERMCHAR_EN, VI_TRUE);
    ViChar answer[1024] = "";
    if (status >= VI_SUCCESS) status = viQueryf(vi.object, "*IDN?\n", "%1023t", answer);
    if (status < VI_SUCCESS) return "(no answer: " + StatusText(rm, status) + ")";
    std::string text = answer;
    while (!text.empty() && (text.back() == '\n' || text.back() == '\r')) text.pop_back();
    return text;
}

}  // namespace

Runner DefineList(CLI::App& command) {
    auto list = std::make_shared<ListCommand>();
    command.add_option("expression", list->expression,
                       "VISA search expression, e.g. \"ASRL?*\" or \"TCPIP?*\" (default: all)");
    command.add_flag("--identify", list->identify,
                     "ask each resource listed for its *IDN? (writes to each; to serial ports\n"
                     "only when the expression starts with ASRL)");
    command.add_option("--timeout", list->timeoutMs, "milliseconds each --identify waits")
        ->check(CLI::Range(1u, 600000u));
    command.footer(
        "Lists serial ports (ASRLn::INSTR is /dev/ttyS(n-1)), USB instruments, the LAN\n"
        "instruments named in QMDC_VISA_RESOURCES or ~/.config/qmdc/visa-resources, and\n"
        "those that answer a VXI-11 broadcast or announce themselves over mDNS (for\n"
        "QMDC_VISA_DISCOVERY_MS, 1000 unless set; 0: none).\n"
        "Example: qmdc list \"TCPIP?*\" --identify");
    return [list] {
        ViCloser rm;
        const ViStatus opened = viOpenDefaultRM(&rm.object);
        if (opened < VI_SUCCESS) throw Failure("cannot open the VISA resource manager");
        const std::vector<std::string> names = Find(rm.object, list->expression);
        if (names.empty())
            std::fprintf(stderr, "qmdc: no resource matches '%s'\n", list->expression.c_str());
        for (const std::string& name : names) {
            if (list->identify && IsSerial(name) && !IsSerial(list->expression))
                std::printf("%-40s %s\n", name.c_str(),
                            "(not asked: a serial port; list \"ASRL?*\" to ask)");
            else if (list->identify)
                std::printf("%-40s %s\n", name.c_str(),
                            Identify(rm.object, name, list->timeoutMs).c_str());
            else
                std::printf("%s\n", name.c_str());
        }
        if (std::fflush(stdout) != 0 || std::ferror(stdout))
            throw Failure("cannot write to standard output");
        return int(kSuccess);
    };
}

}  // namespace qmdc::cli
