// USB instruments: the match of a name to a usbtmc device file on a made-up
// sysfs tree, and the transport against a scripted USBTMC instrument in
// place of the device file (these machines have no USB instrument).
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <condition_variable>
#include <deque>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "event_queue.h"
#include "find_rsrc.h"
#include "scoped_env.h"
#include "temp_folder.h"
#include "test_support.h"
#include "usbtmc_transport.h"
#include "wake_signal.h"

using namespace qmdc::visa;
using qmdc_test::ScopedEnv;
using qmdc_test::TempFolder;

namespace {

// Two interfaces of a Rigol-like supply, one with no driver bound, one
// that an older kernel lists under "usb", one whose only USBTMC interface is
// its second (the first is another class), and a mouse.
void makeTree(const std::string& root) {
    const auto put = [&](const std::string& path, const std::string& text) {
        std::filesystem::create_directories(std::filesystem::path(root + path).parent_path());
        std::ofstream(root + path) << text << "\n";
    };
    const std::string d = "/bus/usb/devices/";
    const auto device = [&](const std::string& dev, const char* vendor, const char* product,
                            const char* serial) {
        put(d + dev + "/idVendor", vendor);
        put(d + dev + "/idProduct", product);
        put(d + dev + "/serial", serial);
    };
    const auto usbtmc = [&](const std::string& intf, const char* number, const char* node) {
        put(d + intf + "/bInterfaceClass", "fe");
        put(d + intf + "/bInterfaceSubClass", "03");
        put(d + intf + "/bInterfaceNumber", number);
        if (*node != '\0') std::filesystem::create_directories(root + d + intf + "/" + node);
    };
    device("1-2", "1ab1", "0e11", "DP8B1234");
    usbtmc("1-2:1.0", "00", "usbmisc/usbtmc90");
    usbtmc("1-2:1.1", "01", "usbmisc/usbtmc91");
    device("1-3", "0957", "1796", "MY123");
    usbtmc("1-3:1.0", "00", "");
    device("1-4", "0957", "1796", "MY124");
    usbtmc("1-4:1.0", "00", "usb/usbtmc92");
    device("1-6", "0aad", "0117", "RS1");
    put(d + "1-6:1.0/bInterfaceClass", "ff");
    usbtmc("1-6:1.1", "01", "usbmisc/usbtmc93");
    device("1-5", "046d", "c077", "");
    put(d + "1-5:1.0/bInterfaceClass", "03");
}

// Each row a near miss of the match: the serial's case, a serial one short,
// an interface the device lacks, no driver bound, another product or vendor,
// an interface number 0 where the USBTMC interface is 1.
TEST(VisaUsbtmc, NamesMatchDeviceFilesThroughSysfs) {
    TempFolder tree;
    makeTree(tree.path());
    const struct {
        const char* name;
        ViStatus status;
        const char* node;
    } rows[] = {
        {"USB0::0x1AB1::0x0E11::DP8B1234::INSTR", VI_SUCCESS, "/dev/usbtmc90"},  // first interface
        {"USB::6833::3601::DP8B1234::1::INSTR", VI_SUCCESS, "/dev/usbtmc91"},    // decimal ids
        {"USB::0x1ab1::0x0e11::DP8B1234::0::INSTR", VI_SUCCESS, "/dev/usbtmc90"},
        {"USB::0x1ab1::0x0e11::dp8b1234::INSTR", VI_ERROR_RSRC_NFOUND, ""},  // serial exact
        {"USB::0x1ab1::0x0e11::DP8B123::INSTR", VI_ERROR_RSRC_NFOUND, ""},
        {"USB::0x1ab1::0x0e11::DP8B1234::2::INSTR", VI_ERROR_RSRC_NFOUND, ""},  // no interface 2
        {"USB::0x0957::0x1796::MY123::INSTR", VI_ERROR_RSRC_NFOUND, ""},        // no driver bound
        {"USB::0x0957::0x1796::MY124::INSTR", VI_SUCCESS, "/dev/usbtmc92"},
        {"USB::0x0957::0x1797::MY124::INSTR", VI_ERROR_RSRC_NFOUND, ""},   // other product
        {"USB::0x0958::0x1796::MY124::INSTR", VI_ERROR_RSRC_NFOUND, ""},   // other vendor
        {"USB::0x046d::0xc077::X::INSTR", VI_ERROR_RSRC_NFOUND, ""},       // not USBTMC
        {"USB::0x0aad::0x0117::RS1::0::INSTR", VI_ERROR_RSRC_NFOUND, ""},  // 0 is no "first"
        {"USB::0x0aad::0x0117::RS1::1::INSTR", VI_SUCCESS, "/dev/usbtmc93"},
        {"USB::0x0aad::0x0117::RS1::INSTR", VI_SUCCESS, "/dev/usbtmc93"},  // first USBTMC one
    };
    for (const auto& row : rows) {
        ResourceName name;
        ASSERT_EQ(parseResourceName(row.name, &name), VI_SUCCESS) << row.name;
        std::string node;
        EXPECT_EQ(findUsbtmcNode(tree.path(), name, &node), row.status) << row.name;
        EXPECT_EQ(node, row.node) << row.name;
    }
    // What discovery lists names what the match finds.
    const std::vector<std::string> listed = usbInstruments(tree.path());
    EXPECT_EQ(listed, (std::vector<std::string>{"USB0::0x1AB1::0x0E11::DP8B1234::0::INSTR",
                                                "USB0::0x1AB1::0x0E11::DP8B1234::1::INSTR",
                                                "USB0::0x0957::0x1796::MY123::0::INSTR",
                                                "USB0::0x0957::0x1796::MY124::0::INSTR",
                                                "USB0::0x0AAD::0x0117::RS1::1::INSTR"}));
    // Through viOpen: a name with no match, and a match whose device file is missing.
    ScopedEnv sysfs("QMDC_VISA_SYSFS", tree.path().c_str());
    visatest::ResourceManager rm;
    ViSession vi = VI_NULL;
    EXPECT_EQ(rm.open("USB::0x1ab1::0x0e11::OTHER::INSTR", &vi), VI_ERROR_RSRC_NFOUND);
    if (!std::filesystem::exists("/dev/usbtmc90")) {
        EXPECT_EQ(rm.open("USB::0x1ab1::0x0e11::DP8B1234::INSTR", &vi), VI_ERROR_RSRC_NFOUND);
    }
}

// A USBTMC instrument as the device file shows it: it answers a query
// after the message that asks it ends, delivers a reply in reads of the
// size asked for, ends one at the termination character when told, and
// blocks a read with nothing to deliver for the device's timeout. Its
// interrupt endpoint is a pipe with a byte per service request not yet
// taken, by the wait for one or by a status byte read (as the kernel's mark).
class ScriptedUsbtmc final : public UsbtmcDevice {
  public:
    struct State {
        State() { EXPECT_EQ(pipe2(interruptIn, O_CLOEXEC | O_NONBLOCK), 0); }
        ~State() {
            for (int fd : interruptIn)
                if (fd >= 0) close(fd);
        }
        State(const State&) = delete;
        State& operator=(const State&) = delete;
        void requestService() { EXPECT_EQ(::write(interruptIn[1], "S", 1), 1); }
        void breakInterruptEndpoint() {
            close(interruptIn[1]);
            interruptIn[1] = -1;
        }
        size_t requestsPending() {
            int n = 0;
            return ioctl(interruptIn[0], FIONREAD, &n) == 0 ? static_cast<size_t>(n) : 0;
        }
        int interruptIn[2] = {-1, -1};
        bool srCapable = true;     // USB488 SR1, with an interrupt endpoint
        size_t requestsTaken = 0;  // by waits for one
        int waiting = 0;           // threads inside the wait for one
        unsigned delivered = 0;    // by the transport's watch

        std::mutex mutex;
        std::condition_variable changed;
        std::map<std::string, std::string> answers;
        std::string incoming;       // the message being written
        std::deque<char> outgoing;  // the reply being read
        std::vector<std::string> log;
        ViUInt32 timeoutMs = 5000;
        ViByte termchar = '\n';
        bool termcharEn = false;
        ViByte stb = 0;
        bool cancelled = false;
        size_t overreport = 0;  // a broken device: says it delivered this much more
    };
    explicit ScriptedUsbtmc(State* s) : s_(*s) {}

    ViStatus setTimeout(ViUInt32 ms) override {
        std::lock_guard<std::mutex> lock(s_.mutex);
        s_.timeoutMs = ms;
        return VI_SUCCESS;
    }
    ViStatus setTermChar(ViByte ch, bool enabled) override {
        std::lock_guard<std::mutex> lock(s_.mutex);
        s_.termchar = ch;
        s_.termcharEn = enabled;
        return VI_SUCCESS;
    }
    ViStatus read(ViByte* buf, size_t cap, size_t* got, bool* end) override {
        std::unique_lock<std::mutex> lock(s_.mutex);
        *got = 0;
        *end = false;
        const auto ready = [&] { return s_.cancelled || !s_.outgoing.empty(); };
        if (s_.timeoutMs == 0xFFFFFFFFu)
            s_.changed.wait(lock, ready);
        else if (!s_.changed.wait_for(lock, std::chrono::milliseconds(s_.timeoutMs), ready))
            return VI_ERROR_TMO;
        if (s_.cancelled) return VI_ERROR_CONN_LOST;
        while (*got < cap && !s_.outgoing.empty()) {
            const char c = s_.outgoing.front();
            s_.outgoing.pop_front();
            buf[(*got)++] = static_cast<ViByte>(c);
            if (s_.termcharEn && static_cast<ViByte>(c) == s_.termchar) break;
        }
        *end = s_.outgoing.empty() || (s_.termcharEn && buf[*got - 1] == s_.termchar);
        *got += s_.overreport;
        return VI_SUCCESS;
    }
    ViStatus write(const ViByte* buf, size_t len, bool end, size_t* sent) override {
        std::lock_guard<std::mutex> lock(s_.mutex);
        if (s_.cancelled) return VI_ERROR_CONN_LOST;
        s_.incoming.append(reinterpret_cast<const char*>(buf), len);
        *sent = len;
        if (!end) return VI_SUCCESS;
        s_.log.push_back(s_.incoming);
        const auto answer = s_.answers.find(s_.incoming);
        if (answer != s_.answers.end())
            s_.outgoing.insert(s_.outgoing.end(), answer->second.begin(), answer->second.end());
        s_.incoming.clear();
        s_.changed.notify_all();
        return VI_SUCCESS;
    }
    ViStatus clear() override {
        return event("clear", [&] { s_.outgoing.clear(); });
    }
    ViStatus readStb(ViByte* stb) override {
        return event("stb", [&] {
            char taken[16];
            bool any = false;
            while (::read(s_.interruptIn[0], taken, sizeof taken) > 0) any = true;
            *stb = static_cast<ViByte>(s_.stb | (any ? 0x40 : 0));
        });
    }
    ViStatus trigger() override {
        return event("trigger", [] {});
    }
    ViStatus renControl(bool enable) override {
        return event(enable ? "ren1" : "ren0", [] {});
    }
    ViStatus gotoLocal() override {
        return event("gtl", [] {});
    }
    ViStatus localLockout() override {
        return event("llo", [] {});
    }
    void cancel() override {
        std::lock_guard<std::mutex> lock(s_.mutex);
        s_.cancelled = true;
        s_.changed.notify_all();
    }
    bool canRequestService() override { return s_.srCapable; }
    ViStatus awaitServiceRequest(const WakeSignal& wake) override {
        Waiting waiting(s_);
        for (;;) {
            pollfd fds[2] = {{s_.interruptIn[0], POLLIN, 0}, {wake.fd(), POLLIN, 0}};
            if (poll(fds, 2, -1) < 0) return VI_ERROR_SYSTEM_ERROR;
            if (fds[1].revents != 0) return VI_ERROR_ABORT;
            char request = 0;
            const ssize_t n = ::read(s_.interruptIn[0], &request, 1);
            if (n == 0) return VI_ERROR_CONN_LOST;  // the endpoint is gone
            if (n == 1) {
                std::lock_guard<std::mutex> lock(s_.mutex);
                ++s_.requestsTaken;
                return VI_SUCCESS;
            }
            // Nothing: a status byte read took it first.
        }
    }

  private:
    struct Waiting {
        explicit Waiting(State& s) : s_(s) { change(1); }
        ~Waiting() { change(-1); }
        void change(int by) {
            std::lock_guard<std::mutex> lock(s_.mutex);
            s_.waiting += by;
            s_.changed.notify_all();
        }
        State& s_;
    };

    template <class F>
    ViStatus event(const char* what, F f) {
        std::lock_guard<std::mutex> lock(s_.mutex);
        if (s_.cancelled) return VI_ERROR_CONN_LOST;
        s_.log.push_back(what);
        f();
        return VI_SUCCESS;
    }
    State& s_;
};

struct Bench {
    ScriptedUsbtmc::State state;
    UsbtmcTransport transport{std::make_unique<ScriptedUsbtmc>(&state)};

    ViStatus send(const std::string& text, ViUInt32 ms = 1000) {
        size_t sent = 0;
        return transport.write(reinterpret_cast<const ViByte*>(text.data()), text.size(),
                               Deadline::after(ms), &sent);
    }
    ViStatus receive(std::string* text, bool* end, size_t cap = 256, ViUInt32 ms = 1000) {
        std::vector<ViByte> buf(cap + 16);
        size_t got = 0;
        const ViStatus status =
            transport.readMessage(buf.data(), cap, Deadline::after(ms), &got, end);
        text->assign(reinterpret_cast<const char*>(buf.data()), got);
        return status;
    }
};

TEST(VisaUsbtmc, MessagesThroughTheDeviceFile) {
    // Each row: what is written (with END), the read size, and the reads
    // until END (or a failure) with the status of the last.
    const struct {
        const char* what;
        const char* query;
        size_t cap;
        bool termcharEn;
        std::vector<std::string> reads;
        ViStatus last;
    } rows[] = {
        {"a query", "*IDN?\n", 256, false, {"QmDC,PSU,SN1,1.0\n"}, VI_SUCCESS},
        {"a reply longer than a read",
         "*IDN?\n",
         6,
         false,
         {"QmDC,P", "SU,SN1", ",1.0\n"},
         VI_SUCCESS},
        {"the instrument ends at the termination character",
         "MEAS?\n",
         256,
         true,
         {"1.5\n", "2.5\n"},
         VI_SUCCESS},
        {"without it, the whole message", "MEAS?\n", 256, false, {"1.5\n2.5\n"}, VI_SUCCESS},
        {"no answer: the device's timeout", "SLOW?\n", 256, false, {""}, VI_ERROR_TMO},
    };
    for (const auto& row : rows) {
        Bench b;
        b.state.answers = {{"*IDN?\n", "QmDC,PSU,SN1,1.0\n"}, {"MEAS?\n", "1.5\n2.5\n"}};
        ASSERT_EQ(b.transport.setAttribute(VI_ATTR_TERMCHAR_EN, row.termcharEn), VI_SUCCESS);
        ASSERT_EQ(b.send(row.query), VI_SUCCESS) << row.what;
        for (size_t i = 0; i < row.reads.size(); ++i) {
            std::string text;
            bool end = true;
            const ViStatus status = b.receive(&text, &end, row.cap, 300);
            const bool last = i + 1 == row.reads.size();
            EXPECT_EQ(status, last ? row.last : VI_SUCCESS) << row.what << " read " << i;
            EXPECT_EQ(text, row.reads[i]) << row.what << " read " << i;
            // A reply ends at END, and each part at the termination character.
            EXPECT_EQ(end, row.last == VI_SUCCESS && (last || row.termcharEn))
                << row.what << " read " << i;
        }
        // The device waits as long as the call has left, never longer.
        EXPECT_GT(b.state.timeoutMs, 0u) << row.what;
        EXPECT_LE(b.state.timeoutMs, 300u) << row.what;
    }
}

TEST(VisaUsbtmc, ProtocolOperations) {
    Bench b;
    b.state.stb = 0x50;
    b.state.answers = {{"*IDN?\n", "QmDC\n"}};
    ViUInt16 stb = 0;
    ASSERT_EQ(b.transport.readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS);
    EXPECT_EQ(stb, 0x50);
    EXPECT_EQ(b.transport.assertTrigger(Deadline::after(1000)), VI_SUCCESS);
    // A clear drops the reply the instrument had ready.
    ASSERT_EQ(b.send("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(b.transport.deviceClear(Deadline::after(1000)), VI_SUCCESS);
    std::string text;
    bool end = false;
    EXPECT_EQ(b.receive(&text, &end, 256, 150), VI_ERROR_TMO);
    // A message written in parts reaches the instrument as one.
    size_t sent = 0;
    ASSERT_EQ(b.transport.writeMessage(reinterpret_cast<const ViByte*>("*ID"), 3, false,
                                       Deadline::after(1000), &sent),
              VI_SUCCESS);
    ASSERT_EQ(b.send("N?\n"), VI_SUCCESS);
    EXPECT_EQ(b.receive(&text, &end), VI_SUCCESS);
    EXPECT_EQ(text, "QmDC\n");
    EXPECT_EQ(b.state.log,
              (std::vector<std::string>{"stb", "trigger", "*IDN?\n", "clear", "*IDN?\n"}));
    // VI_GPIB_REN_* modes (DEASSERT 0 ... ADDRESS_GTL 6) as USBTMC488 requests.
    const struct {
        ViUInt16 mode;
        ViStatus status;
        std::vector<std::string> requests;
    } modes[] = {
        {0, VI_SUCCESS, {"ren0"}},        {1, VI_SUCCESS, {"ren1"}},
        {2, VI_SUCCESS, {"gtl", "ren0"}}, {3, VI_SUCCESS, {"ren1"}},
        {4, VI_SUCCESS, {"ren1", "llo"}}, {5, VI_SUCCESS, {"ren1", "llo"}},
        {6, VI_SUCCESS, {"gtl"}},         {7, VI_ERROR_INV_MODE, {}},
    };
    for (const auto& m : modes) {
        b.state.log.clear();
        EXPECT_EQ(b.transport.remoteLocal(m.mode, Deadline::after(1000)), m.status) << m.mode;
        EXPECT_EQ(b.state.log, m.requests) << m.mode;
    }
    // A call whose deadline has passed does not reach the device.
    b.state.log.clear();
    EXPECT_EQ(b.transport.assertTrigger(Deadline::after(0)), VI_ERROR_TMO);
    EXPECT_TRUE(b.state.log.empty());
    // A device that claims more bytes than it was given room for.
    b.state.overreport = 1000;
    ASSERT_EQ(b.send("*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(b.receive(&text, &end), VI_ERROR_IO);
    EXPECT_TRUE(text.empty());
}

TEST(VisaUsbtmc, CloseWakesABlockedRead) {
    Bench b;
    ViStatus status = VI_SUCCESS;
    std::thread reader([&] {
        std::string text;
        bool end = false;
        status = b.receive(&text, &end, 256, 0xFFFFFFFFu);  // no timeout
    });
    {
        std::unique_lock<std::mutex> lock(b.state.mutex);
        b.state.changed.wait_for(lock, std::chrono::milliseconds(50));  // let it block
    }
    b.transport.interrupt();
    reader.join();
    EXPECT_EQ(status, VI_ERROR_CONN_LOST);
    // Everything after the close fails the same way.
    ViUInt16 stb = 0;
    EXPECT_EQ(b.send("*IDN?\n"), VI_ERROR_CONN_LOST);
    EXPECT_EQ(b.transport.readStatusByte(&stb, Deadline::after(1000)), VI_ERROR_CONN_LOST);
}

// Each row is a sequence of steps; after each, the test waits until every
// request the device handed out was delivered and the watch waits again
// (or, once stopped or ended, no thread waits), then checks the count.
TEST(VisaUsbtmc, ServiceRequestsFromTheInterruptEndpoint) {
    enum class Op { Start, Request, ReadStb, Query, Stop, Close, BreakEndpoint };
    struct Step {
        Op op;
        int expect;  // the status of Start and Query, the byte of ReadStb
        unsigned delivered;
    };
    const int OK = VI_SUCCESS;
    const struct {
        const char* what;
        bool srCapable;
        std::vector<Step> steps;
    } rows[] = {
        {"a request is delivered once, and the status byte read after shows it once",
         true,
         {{Op::Start, OK, 0},
          {Op::Query, OK, 0},
          {Op::Request, 0, 1},
          {Op::ReadStb, 0x40, 1},
          {Op::ReadStb, 0, 1},
          {Op::Query, OK, 1},
          {Op::Stop, 0, 1}}},
        {"several",
         true,
         {{Op::Start, OK, 0},
          {Op::Request, 0, 1},
          {Op::Request, 0, 2},
          {Op::Request, 0, 3},
          {Op::Stop, 0, 3}}},
        {"after a stop, a request waits for the next watch",
         true,
         {{Op::Start, OK, 0},
          {Op::Request, 0, 1},
          {Op::Stop, 0, 1},
          {Op::Request, 0, 1},
          {Op::Start, OK, 2},
          {Op::Stop, 0, 2}}},
        {"not watching, a request is harmless and the status byte read takes it",
         true,
         {{Op::Request, 0, 0},
          {Op::Query, OK, 0},
          {Op::ReadStb, 0x40, 0},
          {Op::Start, OK, 0},
          {Op::Request, 0, 1},
          {Op::ReadStb, 0x40, 1},
          {Op::Stop, 0, 1}}},
        {"a second start leaves one watch",
         true,
         {{Op::Start, OK, 0}, {Op::Start, OK, 0}, {Op::Request, 0, 1}, {Op::Stop, 0, 1}}},
        {"a close ends the watch at once, and no new one starts",
         true,
         {{Op::Start, OK, 0},
          {Op::Close, 0, 0},
          {Op::Start, VI_ERROR_CONN_LOST, 0},
          {Op::Query, VI_ERROR_CONN_LOST, 0},
          {Op::Stop, 0, 0}}},
        {"the interrupt endpoint fails during the watch: the watch ends, messages go on",
         true,
         {{Op::Start, OK, 0},
          {Op::Request, 0, 1},
          {Op::BreakEndpoint, 0, 1},
          {Op::Query, OK, 1},
          {Op::Stop, 0, 1}}},
        {"an instrument that does not request service",
         false,
         {{Op::Start, VI_ERROR_NSUP_OPER, 0},
          {Op::Request, 0, 0},
          {Op::Query, OK, 0},
          {Op::ReadStb, 0x40, 0}}},
        {"the transport's end stops a watch still running",
         true,
         {{Op::Start, OK, 0}, {Op::Request, 0, 1}}},
    };
    for (const auto& row : rows) {
        Bench b;
        ScriptedUsbtmc::State& s = b.state;
        s.srCapable = row.srCapable;
        s.answers = {{"*IDN?\n", "QmDC\n"}};
        EXPECT_EQ(b.transport.deliversServiceRequests(), row.srCapable) << row.what;
        const auto raised = [&s] {
            std::lock_guard<std::mutex> lock(s.mutex);
            ++s.delivered;
            s.changed.notify_all();
        };
        bool watching = false;
        for (size_t i = 0; i < row.steps.size(); ++i) {
            const Step& step = row.steps[i];
            const std::string where = std::string(row.what) + ", step " + std::to_string(i);
            ViUInt16 stb = 0xFFFF;
            std::string text;
            bool end = false;
            switch (step.op) {
                case Op::Start: {
                    const ViStatus status =
                        b.transport.startServiceRequests(raised, Deadline::after(1000));
                    EXPECT_EQ(status, step.expect) << where;
                    watching = status == VI_SUCCESS;
                    break;
                }
                case Op::Request:
                    s.requestService();
                    break;
                case Op::ReadStb:
                    EXPECT_EQ(b.transport.readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS)
                        << where;
                    EXPECT_EQ(stb, step.expect) << where;
                    break;
                case Op::Query: {
                    ViStatus status = b.send("*IDN?\n");
                    if (status == VI_SUCCESS) status = b.receive(&text, &end);
                    EXPECT_EQ(status, step.expect) << where;
                    if (status == VI_SUCCESS) {
                        EXPECT_EQ(text, "QmDC\n") << where;
                    }
                    break;
                }
                case Op::Stop:
                    b.transport.stopServiceRequests();
                    watching = false;
                    break;
                case Op::Close:
                    b.transport.interrupt();
                    watching = false;
                    break;
                case Op::BreakEndpoint:
                    s.breakInterruptEndpoint();
                    watching = false;
                    break;
            }
            std::unique_lock<std::mutex> lock(s.mutex);
            s.changed.wait_for(lock, std::chrono::seconds(5), [&] {
                return s.delivered >= step.delivered && s.requestsTaken == s.delivered &&
                       s.waiting == (watching ? 1 : 0) && (!watching || s.requestsPending() == 0);
            });
            EXPECT_EQ(s.delivered, step.delivered) << where;
            EXPECT_EQ(s.waiting, watching ? 1 : 0) << where;
        }
    }
}

// The session's event queue over this transport (viOpen cannot reach the
// scripted device, so this stands in for the calls through the public API):
// the queue and a handler get each request, the status byte read after it
// shows it, and disabling the last mechanism ends the watch. An instrument that does
// not request service has no such event.
TEST(VisaUsbtmc, ServiceRequestsReachTheEventQueue) {
    struct Handled {
        std::mutex mutex;
        std::condition_variable changed;
        int count = 0;
    } handled;
    const ViHndlr handler = [](ViSession, ViEventType, ViEvent, ViAddr user) -> ViStatus {
        auto& h = *static_cast<Handled*>(user);
        std::lock_guard<std::mutex> lock(h.mutex);
        ++h.count;
        h.changed.notify_all();
        return VI_SUCCESS;
    };
    const ViEventType srq = VI_EVENT_SERVICE_REQ;
    Bench b;
    {
        EventQueue events(b.transport);
        events.setSessionHandle(7);
        ASSERT_EQ(events.enable(srq, VI_QUEUE, 50, Deadline::after(1000)), VI_SUCCESS);
        b.state.requestService();
        ViEventType got = 0;
        EXPECT_EQ(events.wait(srq, 5000, &got), VI_SUCCESS);
        EXPECT_EQ(got, srq);
        ViUInt16 stb = 0;
        ASSERT_EQ(b.transport.readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS);
        EXPECT_EQ(stb, 0x40);

        ASSERT_EQ(events.installHandler(srq, handler, &handled), VI_SUCCESS);
        ASSERT_EQ(events.enable(srq, VI_HNDLR, 50, Deadline::after(1000)), VI_SUCCESS);
        b.state.requestService();
        {
            std::unique_lock<std::mutex> lock(handled.mutex);
            EXPECT_TRUE(handled.changed.wait_for(lock, std::chrono::seconds(5),
                                                 [&] { return handled.count == 1; }));
        }
        EXPECT_EQ(events.wait(srq, 5000, &got), VI_SUCCESS);
        EXPECT_EQ(events.disable(VI_ALL_ENABLED_EVENTS, VI_ALL_MECH), VI_SUCCESS);
        std::lock_guard<std::mutex> lock(b.state.mutex);
        EXPECT_EQ(b.state.waiting, 0);
    }
    Bench without;
    without.state.srCapable = false;
    EventQueue events(without.transport);
    EXPECT_EQ(events.checkType(srq), VI_ERROR_INV_EVENT);
}

}  // namespace
