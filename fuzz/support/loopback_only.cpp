// viOpen as the init and store targets see it: a fuzzed resource name (or one
// a fuzzed store holds) must never reach another host or a device. This
// definition takes the place of the VISA library's for the driver code linked
// into the target; it parses the name with the library's own parser and
// opens only a closed port on the loopback address in its place, so a
// session that does not simulate fails its open at once.
#include <dlfcn.h>

#include "loopback_listener.h"
#include "rsrc_name.h"
#include "visa.h"

namespace {

using OpenFunction = ViStatus (*)(ViSession, ViConstRsrc, ViAccessMode, ViUInt32, ViPSession);

}  // namespace

extern "C" ViStatus _VI_FUNC viOpen(ViSession sesn, ViConstRsrc name, ViAccessMode mode,
                                    ViUInt32 timeout, ViPSession vi) {
    static const auto realOpen = reinterpret_cast<OpenFunction>(dlsym(RTLD_NEXT, "viOpen"));
    if (vi != nullptr) *vi = VI_NULL;
    qmdc::visa::ResourceName parsed;
    const ViStatus status = qmdc::visa::parseResourceName(name, &parsed);
    if (status != VI_SUCCESS) return status;
    if (parsed.kind != qmdc::visa::RsrcKind::TcpSocket) return VI_ERROR_RSRC_NFOUND;
    return realOpen(sesn, qmdc_test::ClosedLoopbackResource().c_str(), mode, timeout, vi);
}
