#include "resource_kinds.h"

#include "text_case.h"
#include "visa.h"

namespace qmdc::cli {
namespace {

struct Kind {
    const char* start;  // of the resource name, in any letter case
    const char* end;    // "" for any end
    const char* text;
    // Our VISA library never opens this kind, so that with it any of the
    // open statuses below means the kind is not supported.
    bool neverOpened;
};

// GPIB-VXI before GPIB, VXI; a TCPIP name by its end.
constexpr Kind kKinds[] = {
    {"GPIB-VXI", "", "a GPIB-VXI instrument", true},
    {"GPIB", "", "a GPIB instrument", true},
    {"USB", "", "a USB instrument", true},
    {"VXI", "", "a VXI instrument", true},
    {"PXI", "", "a PXI instrument", true},
    {"TCPIP", "::SOCKET", "a raw TCP/IP socket", false},
    {"TCPIP", "::INSTR", "a LAN instrument (VXI-11 or HiSLIP)", false},
    {"TCPIP", "", "a LAN instrument (VXI-11 or HiSLIP)", false},
    {"ASRL", "", "a serial line", false},
};

#ifdef QMDC_CLI_OWN_VISA
constexpr bool kOwnVisa = true;
#else
constexpr bool kOwnVisa = false;
#endif

const Kind* KindOf(const std::string& resource) {
    for (const Kind& kind : kKinds) {
        if (StartsWithIgnoringCase(resource, kind.start) &&
            EndsWithIgnoringCase(resource, kind.end)) {
            return &kind;
        }
    }
    return nullptr;
}

bool IsOpenStatus(ViStatus status) {
    return status == VI_ERROR_NSUP_OPER || status == VI_ERROR_RSRC_NFOUND ||
           status == VI_ERROR_INV_RSRC_NAME;
}

}  // namespace

std::string ResourceKind(const std::string& resource) {
    const Kind* kind = KindOf(resource);
    return kind ? kind->text : "";
}

std::string OpenFailureMessage(const std::string& resource, ViStatus status,
                               const std::string& description) {
    const std::string start = "cannot open " + resource + ": ";
    const Kind* kind = KindOf(resource);
    if (kind == nullptr || !IsOpenStatus(status)) return start + description;
    if (status == VI_ERROR_NSUP_OPER || (kOwnVisa && kind->neverOpened)) {
        return start + "this kind of resource (" + kind->text +
               ") is not supported by the VISA library in use; VISA says: " + description;
    }
    return start + description;
}

}  // namespace qmdc::cli
