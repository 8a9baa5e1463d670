// The serving loop: one client at a time on each port, lines in, replies out.
#ifndef QMDC_EMULATOR_APP_SERVER_H
#define QMDC_EMULATOR_APP_SERVER_H

#include <memory>
#include <string>

#include "app/faults.h"
#include "app/hislip_server.h"
#include "app/instrument_lock.h"
#include "app/responder.h"
#include "app/transport.h"
#include "app/vxi11_server.h"
#include "core/engine.h"

namespace qmdc::emu {

class Server {
  public:
    // Either port may be absent (invalid Fd), and the HiSLIP server (null). stopFd becomes
    // readable on a shutdown request.
    Server(Engine& engine, Responder& responder, const InstrumentLock& lock, bool verbose,
           Fd listener, Fd ptyMaster, int stopFd, HislipServer* hislip = nullptr,
           std::unique_ptr<Vxi11Server> vxi11 = nullptr);

    ~Server();
    Server(const Server&) = delete;
    Server& operator=(const Server&) = delete;

    // Serves until stopFd becomes readable.
    void Run();

  private:
    // What the server keeps about the client on one port.
    struct Link {
        Link(const char* linkName, Fd* linkFd) : name(linkName), fd(linkFd) {}
        std::string name;
        Fd* fd;
        LineSplitter lines;
        ClientCount count;
        bool deaf = false;  // pty after --drop-after: ignore input until hang-up
        OutQueue out;
        void Restart() {
            lines.Clear();
            count = ClientCount();
            deaf = false;
            out.clear();
        }
    };

    // False when the link must be dropped (its client has gone, or does not read).
    bool Receive(Link& link);
    bool HandleLine(Link& link, const std::string& line);
    // After each command executed on any port: on the rising edge of the instrument's
    // service request, every port that can carry one sends it.
    void AfterLine();
    void DropTcpClient();

    Engine& engine_;
    Responder& responder_;
    const InstrumentLock& lock_;
    bool verbose_;
    Fd listener_;
    Fd tcpClient_;
    Fd ptyMaster_;
    int stopFd_;
    HislipServer* hislip_;
    std::unique_ptr<Vxi11Server> vxi11_;  // null without --vxi11
    bool requestingService_;              // as AfterLine last saw it, for its rising edge
    Link tcpLink_{"tcp", &tcpClient_};
    Link ptyLink_{"pty", &ptyMaster_};
};

}  // namespace qmdc::emu

#endif
