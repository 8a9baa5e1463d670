// qmdc-emulator: a DC power supply of the QM family on a real transport, for testing the
// driver and any other VISA client without the hardware.
#include <fcntl.h>
#include <unistd.h>

#include <csignal>
#include <cstdio>

#include "app/faults.h"
#include "app/instrument_lock.h"
#include "app/options.h"
#include "app/responder.h"
#include "app/server.h"
#include "app/transport.h"
#include "app/vxi11_server.h"
#include "core/engine.h"

namespace {

int g_stopWriteFd = -1;

// Shutdown requests reach the serving loop through a pipe it polls.
void OnStopSignal(int) {
    const char byte = 's';
    [[maybe_unused]] const ssize_t ignored = ::write(g_stopWriteFd, &byte, 1);
}

bool InstallStopHandlers(qmdc::emu::Fd& stopRead, qmdc::emu::Fd& stopWrite) {
    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC | O_NONBLOCK) != 0) return false;
    stopRead.Reset(pipeFds[0]);
    stopWrite.Reset(pipeFds[1]);
    g_stopWriteFd = pipeFds[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    ::sigaction(SIGTERM, &action, nullptr);
    ::sigaction(SIGINT, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);  // a vanished client is seen as a write error instead
    return true;
}

}  // namespace

int main(int argc, char** argv) {
    using namespace qmdc::emu;
    // Handlers first: a stop request at any later moment ends the program with status 0.
    Fd stopRead;
    Fd stopWrite;
    if (!InstallStopHandlers(stopRead, stopWrite)) {
        std::perror("qmdc-emulator: pipe");
        return 1;
    }
    Options options;
    std::string error;
    if (!ParseOptions(argc, argv, options, error)) {
        std::fprintf(stderr, "qmdc-emulator: %s (see --help)\n", error.c_str());
        return 2;
    }
    if (options.help) {
        std::fputs(UsageText(), stdout);
        return 0;
    }

    Engine engine(options.instrument);
    InstrumentLock lock;
    FaultPlan faults;
    if (!faults.Configure(options.faults, engine, error)) {
        std::fprintf(stderr, "qmdc-emulator: %s\n", error.c_str());
        return 2;
    }
    Responder responder(engine, faults, options.verbose);

    Fd listener;
    Fd ptyMaster;
    std::string tcpResource;
    std::string ptyResource;
    if (options.tcp && !(listener = ListenTcp(options.tcpPort, tcpResource, error)).valid()) {
        std::fprintf(stderr, "qmdc-emulator: %s\n", error.c_str());
        return 1;
    }
    if (options.pty && !(ptyMaster = OpenPty(ptyResource, error)).valid()) {
        std::fprintf(stderr, "qmdc-emulator: %s\n", error.c_str());
        return 1;
    }
    Fd hislipListener;
    std::string hislipResource;
    if (options.hislip) {
        int port = 0;
        hislipListener = ListenLoopback(options.hislipPort, &port, error);
        if (!hislipListener.valid()) {
            std::fprintf(stderr, "qmdc-emulator: %s\n", error.c_str());
            return 1;
        }
        hislipResource = "TCPIP0::127.0.0.1::hislip0," + std::to_string(port) + "::INSTR";
    }
    std::unique_ptr<Vxi11Server> vxi11;
    std::string vxi11Resource;
    if (options.vxi11) {
        vxi11 = std::make_unique<Vxi11Server>(engine, responder, lock, options.verbose);
        if (!vxi11->Listen(options.vxi11Host, vxi11Resource, error)) {
            std::fprintf(stderr, "qmdc-emulator: %s\n", error.c_str());
            return 1;
        }
    }
    for (const std::string* resource :
         {&tcpResource, &ptyResource, &hislipResource, &vxi11Resource}) {
        if (!resource->empty()) std::printf("%s\n", resource->c_str());
    }
    std::fflush(stdout);

    HislipServer hislip(engine, responder, lock, options.verbose, std::move(hislipListener),
                        options.hislipInitTimeoutMs);
    Server server(engine, responder, lock, options.verbose, std::move(listener),
                  std::move(ptyMaster), stopRead.get(), options.hislip ? &hislip : nullptr,
                  std::move(vxi11));
    server.Run();
    if (options.verbose) std::fprintf(stderr, "qmdc-emulator: stopped\n");
    return 0;
}
