// DNS-SD discovery through avahi, in a program of its own: the D-Bus library
// reads the system bus's address once a process, and the test may point it
// at a bus of its own.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>
#include <vector>

#include "scoped_env.h"
#include "temp_folder.h"
#include "test_support.h"

extern char** environ;

namespace {

using qmdc_test::ScopedEnv;
using qmdc_test::TempFolder;
using Names = std::vector<std::string>;

// A program the test starts (a D-Bus bus, avahi), its output read until a
// line says it is ready; stopped with SIGTERM at the end.
class Daemon {
  public:
    explicit Daemon(std::vector<std::string> args) {
        int out[2];
        if (pipe2(out, O_CLOEXEC) != 0) return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        std::vector<char*> argv;
        for (std::string& a : args) argv.push_back(a.data());
        argv.push_back(nullptr);
        if (posix_spawnp(&pid_, argv[0], &actions, nullptr, argv.data(), environ) != 0) pid_ = -1;
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        fd_ = out[0];
    }
    ~Daemon() {
        if (pid_ > 0) {
            kill(pid_, SIGTERM);
            waitpid(pid_, nullptr, 0);
        }
        if (fd_ >= 0) close(fd_);
    }
    // Waits up to 10 s for `text` in the output.
    bool says(const std::string& text) {
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(10);
        while (pid_ > 0 && output_.find(text) == std::string::npos) {
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                end - std::chrono::steady_clock::now());
            pollfd p{fd_, POLLIN, 0};
            char buf[512];
            if (left.count() <= 0 || poll(&p, 1, static_cast<int>(left.count())) != 1) return false;
            const ssize_t n = read(fd_, buf, sizeof buf);
            if (n <= 0) return false;
            output_.append(buf, static_cast<size_t>(n));
        }
        return pid_ > 0;
    }
    const std::string& output() const { return output_; }

  private:
    pid_t pid_ = -1;
    int fd_ = -1;
    std::string output_;
};

// DNS-SD through avahi: the machine's daemon where one runs, else one of
// the test's own on a D-Bus bus of its own (root only: avahi-daemon
// refuses to run as another user). Two instruments are announced; the
// third announcement is of no instrument.
TEST(VisaLanDiscovery, AnnouncedInstrumentsThroughAvahi) {
    TempFolder folder;
    std::unique_ptr<Daemon> bus, avahi;
    std::unique_ptr<ScopedEnv> busAddress;
    if (std::system("avahi-daemon --check 2>/dev/null") != 0) {
        if (geteuid() != 0) GTEST_SKIP() << "no avahi daemon runs, and only root may start one";
        const std::string busConf = folder.path() + "/bus.conf", busPath = folder.path() + "/bus";
        std::ofstream(busConf)
            << "<busconfig><type>system</type><listen>unix:path=" << busPath
            << "</listen><auth>EXTERNAL</auth><policy context=\"default\"><allow user=\"*\"/>"
               "<allow own=\"*\"/><allow send_destination=\"*\"/><allow receive_sender=\"*\"/>"
               "</policy></busconfig>\n";
        std::ofstream(folder.path() + "/avahi.conf")
            << "[server]\nuse-ipv4=yes\nuse-ipv6=no\nallow-interfaces=lo\n";
        bus = std::make_unique<Daemon>(std::vector<std::string>{
            "dbus-daemon", "--config-file=" + busConf, "--nofork", "--print-address"});
        if (!bus->says("unix:")) GTEST_SKIP() << "dbus-daemon did not start: " << bus->output();
        busAddress = std::make_unique<ScopedEnv>("DBUS_SYSTEM_BUS_ADDRESS",
                                                 ("unix:path=" + busPath).c_str());
        avahi = std::make_unique<Daemon>(std::vector<std::string>{
            "avahi-daemon", "-f", folder.path() + "/avahi.conf", "--no-drop-root", "--no-chroot",
            "--no-rlimits", "--no-proc-title"});
        if (!avahi->says("Server startup complete"))
            GTEST_SKIP() << "avahi-daemon did not start: " << avahi->output();
    }
    Daemon hislip({"avahi-publish", "-s", "qmdc-test-psu-1", "_hislip._tcp", "48801"});
    Daemon socket({"avahi-publish", "-s", "qmdc-test-psu-2", "_scpi-raw._tcp", "50251"});
    Daemon web({"avahi-publish", "-s", "qmdc-test-web", "_http._tcp", "50252"});
    ASSERT_TRUE(hislip.says("Established")) << hislip.output();
    ASSERT_TRUE(socket.says("Established")) << socket.output();
    ASSERT_TRUE(web.says("Established")) << web.output();
    ScopedEnv ms("QMDC_VISA_DISCOVERY_MS", "2000");
    ScopedEnv named("QMDC_VISA_RESOURCES", "");
    ViStatus status = VI_SUCCESS;
    const Names found =
        visatest::ResourceManager().find("TCPIP?*::(hislip0,48801|5025[12])::?*", &status);
    ASSERT_EQ(status, VI_SUCCESS);
    Names kinds;
    for (const std::string& name : found) kinds.push_back(name.substr(name.find("::", 8)));
    std::sort(kinds.begin(), kinds.end());
    kinds.erase(std::unique(kinds.begin(), kinds.end()), kinds.end());
    EXPECT_EQ(kinds, (Names{"::50251::SOCKET", "::hislip0,48801::INSTR"}));
}

}  // namespace
