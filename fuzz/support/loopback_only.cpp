// viOpen as the init and store targets see it: a fuzzed resource name (or one
// a fuzzed store holds) must never reach another host or a device. This
// definition takes the place of the VISA library's for the driver code linked
// into the target; it parses the name with the library's own parser and
// opens only a closed port on the loopback address in its place, so a
// session that does not simulate fails its open at once.
#include <arpa/inet.h>
#include <dlfcn.h>
#include <netinet/in.h>
#include <sys/socket.h>

#include <string>

#include "rsrc_name.h"
#include "visa.h"

namespace {

// A loopback port bound but never listening: a connection is refused at once.
int ClosedLoopbackPort() {
    static const int port = [] {
        const int fd = socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t length = sizeof address;
        if (fd < 0 || bind(fd, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
            getsockname(fd, reinterpret_cast<sockaddr*>(&address), &length) != 0)
            return 1;  // port 1 on loopback: nothing listens there either
        return static_cast<int>(ntohs(address.sin_port));  // fd stays open: the port stays taken
    }();
    return port;
}

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
    const std::string loopback =
        "TCPIP0::127.0.0.1::" + std::to_string(ClosedLoopbackPort()) + "::SOCKET";
    return realOpen(sesn, loopback.c_str(), mode, timeout, vi);
}
