// The host's own portmapper (rpcbind), when it holds port 111: the emulator asks it whether
// a portmapper answers, what it maps the VXI-11 core program to and whether a server answers
// there, and registers its core channel with it (and removes that at exit).
#ifndef QMDC_EMULATOR_APP_SYSTEM_PORTMAPPER_H
#define QMDC_EMULATOR_APP_SYSTEM_PORTMAPPER_H

#include <netinet/in.h>

#include <cstdint>
#include <optional>
#include <string>

namespace qmdc::emu {

// One RPC call over a new TCP connection to address:port (network byte order), with a
// deadline of timeoutMs for all of it: whether the program answers its NULL procedure.
bool AnswersNullCall(in_addr_t address, uint16_t port, uint32_t prog, uint32_t vers, int timeoutMs);

// The port the portmapper at address:111 maps prog/vers over TCP to; 0 when none, nullopt
// when it does not answer.
std::optional<uint16_t> PortmapperGetPort(in_addr_t address, uint32_t prog, uint32_t vers,
                                          int timeoutMs);

// The VXI-11 core channel's entry in the system portmapper, for as long as the object
// lives: registered by Register, removed by the destructor (only while it still maps to our
// port: another server may have replaced it).
class SystemRegistration {
  public:
    SystemRegistration() = default;
    SystemRegistration(const SystemRegistration&) = delete;
    SystemRegistration& operator=(const SystemRegistration&) = delete;
    ~SystemRegistration();

    // Maps the core program to `port` on `address` (network byte order). An entry of a
    // server that no longer answers (a previous run that crashed) is replaced; one of a
    // server that answers is left, and false comes back with the reason in error.
    bool Register(in_addr_t address, uint16_t port, std::string& error);

  private:
    in_addr_t address_ = 0;
    uint16_t port_ = 0;
};

}  // namespace qmdc::emu

#endif
