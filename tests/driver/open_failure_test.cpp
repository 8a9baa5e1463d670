// Init on a resource that cannot be opened says why: a serial path that is no
// terminal says what it is, and a process out of descriptors hears so rather
// than that the instrument is not there.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "QmDC.h"
#include "driver_test_support.h"
#include "visa.h"

using qmdc_test::ErrorDescription;
using qmdc_test::Session;

namespace {

// A listening socket on an ephemeral loopback port, closed at the end.
class Listener {
  public:
    Listener() : fd_(::socket(AF_INET, SOCK_STREAM, 0)) {
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof addr;
        EXPECT_EQ(::bind(fd_, reinterpret_cast<sockaddr*>(&addr), len), 0);
        EXPECT_EQ(::listen(fd_, 4), 0);
        ::getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
    }
    ~Listener() { ::close(fd_); }
    std::string Resource() const {
        return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
    }

  private:
    int fd_;
    int port_ = 0;
};

TEST(OpenFailure, SerialPathThatIsNoTerminalSaysWhatItIs) {
    const std::string dir = testing::TempDir() + "qmdc-open-failure-" + std::to_string(::getpid());
    std::filesystem::create_directories(dir);
    struct Case {
        std::string path;
        std::function<void(const std::string&)> make;
        const char* what;
    };
    const Case cases[] = {
        {dir + "/file", [](const std::string& p) { std::ofstream(p) << "x"; }, "is a regular file"},
        {dir + "/dir", [](const std::string& p) { std::filesystem::create_directory(p); },
         "is a directory"},
        {dir + "/fifo", [](const std::string& p) { ASSERT_EQ(::mkfifo(p.c_str(), 0600), 0); },
         "is a FIFO"},
        {dir + "/sock",
         [](const std::string& p) {
             const int fd = ::socket(AF_UNIX, SOCK_STREAM, 0);
             sockaddr_un addr{};
             addr.sun_family = AF_UNIX;
             std::strncpy(addr.sun_path, p.c_str(), sizeof addr.sun_path - 1);
             ASSERT_EQ(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
             ::close(fd);
         },
         "is a socket"},
        {"/dev/null", [](const std::string&) {}, "is a device that is not a terminal"},
        {dir + "/none", [](const std::string&) {}, "cannot be opened: No such file or directory"},
    };
    for (const Case& c : cases) {
        c.make(c.path);
        Session s("ASRL" + c.path + "::INSTR");
        EXPECT_EQ(s.status(), VI_ERROR_RSRC_NFOUND) << c.path;
        const std::string description = ErrorDescription(VI_NULL);
        EXPECT_NE(description.find("'" + c.path + "' " + c.what), std::string::npos) << description;
    }
    std::filesystem::remove_all(dir);
}

// With no descriptor left for the socket, or none for the session's wake-up
// signal after it, init fails for want of resources and names the reason.
TEST(OpenFailure, OutOfDescriptorsIsNotAMissingInstrument) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizer's runtime needs descriptors of its own";
#endif
    Listener listener;
    rlimit saved{};
    ASSERT_EQ(::getrlimit(RLIMIT_NOFILE, &saved), 0);
    for (int spare : {0, 1}) {
        rlimit low = saved;
        low.rlim_cur = 256;
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &low), 0);
        std::vector<int> filler;
        for (int fd; (fd = ::dup(0)) >= 0;) filler.push_back(fd);
        for (int i = 0; i < spare && !filler.empty(); ++i) {
            ::close(filler.back());
            filler.pop_back();
        }
        ViSession vi = VI_NULL;
        const ViStatus status =
            QmDC_init(const_cast<ViChar*>(listener.Resource().c_str()), VI_FALSE, VI_FALSE, &vi);
        const std::string description = ErrorDescription(VI_NULL);
        for (int fd : filler) ::close(fd);
        ASSERT_EQ(::setrlimit(RLIMIT_NOFILE, &saved), 0);
        if (vi != VI_NULL) QmDC_close(vi);
        EXPECT_EQ(status, VI_ERROR_ALLOC) << "spare " << spare;
        EXPECT_NE(description.find("Too many open files"), std::string::npos) << description;
    }
}

}  // namespace
