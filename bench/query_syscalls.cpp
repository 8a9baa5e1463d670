// The system calls one query costs: a program for bench/count_syscalls.sh to
// run under strace. It starts the emulator on one transport, opens a driver
// session (or a bare VISA session), makes a few queries so that everything
// lazily set up is set up, then brackets COUNT queries between two marker
// calls (close(-4242)) that the script finds in the trace.
//
//   query_syscalls socket|hislip|vxi11 driver|set|visa|write COUNT
//
// driver: QmDC_error_query; set: QmDC_ConfigureVoltageLevel with the status
// check (a command, then *ESR?); visa: viQueryf(":SYST:ERR?\n", "%T");
// write: viPrintf of a command that has no answer. It prints the emulator's
// process id, so that the script leaves the emulator's own calls out.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "QmDC.h"
#include "emulator_process.h"
#include "visa.h"

namespace {

void Marker() {
    ::close(-4242);
}

int Usage() {
    std::fprintf(stderr, "usage: query_syscalls socket|hislip|vxi11 driver|set|visa|write COUNT\n");
    return 2;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 4) return Usage();
    const std::string transport = argv[1], kind = argv[2];
    const int count = std::atoi(argv[3]);
    const char* option = transport == "socket"   ? "--tcp"
                         : transport == "hislip" ? "--hislip"
                         : transport == "vxi11"  ? "--vxi11"
                                                 : nullptr;
    if (option == nullptr || count <= 0) return Usage();
    const bool driverKind = kind == "driver" || kind == "set";
    if (!driverKind && kind != "visa" && kind != "write") return Usage();
    setenv("QMDC_IVI_CONFIG_MASTER_OVERRIDE", "/nonexistent/IviConfigurationStore.xml", 1);
    unsetenv("IVICONFIGSERVERDEFAULT");

    qmdc::testing::EmulatorProcess emulator({option});
    std::printf("emulator %d\n", static_cast<int>(emulator.pid()));
    std::fflush(stdout);
    const std::string resource = emulator.resource();

    ViSession driver = VI_NULL, rm = VI_NULL, vi = VI_NULL;
    ViInt32 code = 0;
    ViChar message[256];
    char line[256];
    const auto query = [&] {
        if (kind == "driver") return QmDC_error_query(driver, &code, message) == VI_SUCCESS;
        if (kind == "set") return QmDC_ConfigureVoltageLevel(driver, "", 12.5) == VI_SUCCESS;
        if (kind == "visa") return viQueryf(vi, ":SYST:ERR?\n", "%255T", line) >= VI_SUCCESS;
        return viPrintf(vi, "VOLT 1.5\n") >= VI_SUCCESS;
    };
    if (driverKind) {
        // Cache off, so that every Set writes.
        const char* options = kind == "set" ? "Cache=0, QueryInstrStatus=1" : "";
        if (QmDC_InitWithOptions(const_cast<ViChar*>(resource.c_str()), VI_FALSE, VI_FALSE,
                                 const_cast<ViChar*>(options), &driver) < 0)
            return 1;
    } else if (viOpenDefaultRM(&rm) < 0 || viOpen(rm, resource.c_str(), VI_NULL, 2000, &vi) < 0 ||
               viSetAttribute(vi, VI_ATTR_TERMCHAR_EN, VI_TRUE) < 0) {
        return 1;
    }
    for (int i = 0; i < 3; ++i)
        if (!query()) return 1;
    Marker();
    for (int i = 0; i < count; ++i)
        if (!query()) return 1;
    Marker();
    // The answer to the last command, so that none is left unread at close.
    if (kind == "write" && viQueryf(vi, "*OPC?\n", "%255T", line) < VI_SUCCESS) return 1;
    if (driver != VI_NULL) QmDC_close(driver);
    if (rm != VI_NULL) viClose(rm);
    return 0;
}
