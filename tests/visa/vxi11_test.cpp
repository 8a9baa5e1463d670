// Sessions on TCPIP::host::inst0::INSTR (VXI-11) against the emulator's VXI-11 server; the
// transport's service requests over the interrupt channel, against the emulator and against
// callers that break the rules.
#include <gtest/gtest.h>

#include <poll.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <unistd.h>

#include <rpc/pmap_prot.h>  // needs rpc.h first

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "loopback_listener.h"
#include "rpc_codec.h"
#include "rpc_channel.h"
#include "rpc_record.h"
#include "rsrc_name.h"
#include "tcp_transport.h"
#include "test_support.h"
#include "vxi11.h"
#include "vxi11_interrupt_channel.h"
#include "vxi11_intr.h"
#include "vxi11_transport.h"

namespace {

using namespace visatest;
using Clock = std::chrono::steady_clock;
using qmdc::testing::EmulatorProcess;

std::string hostOf(const std::string& resource) {
    const size_t start = resource.find("::") + 2;
    return resource.substr(start, resource.find("::", start) - start);
}

std::string query(ViSession vi, const char* command, ViStatus* status) {
    ViChar answer[512] = "";
    *status = viQueryf(vi, const_cast<ViChar*>(command), const_cast<ViChar*>("%511[^\n]"), answer);
    return answer;
}

struct Vxi11Session {
    explicit Vxi11Session(std::vector<std::string> args = {}) : emulator(withVxi11(args)) {
        opened = rm.open(emulator.resource(), &vi);
    }
    static std::vector<std::string> withVxi11(std::vector<std::string> args) {
        args.insert(args.begin(), "--vxi11");
        return args;
    }
    EmulatorProcess emulator;
    ResourceManager rm;
    ViSession vi = VI_NULL;
    ViStatus opened = VI_ERROR_SYSTEM_ERROR;
};

const char* kIdn = "Orvane,Rack 30-70 QM,SN0001,1.2.3";

TEST(VisaVxi11, IdentityAndAttributes) {
    Vxi11Session s;
    ASSERT_EQ(s.opened, VI_SUCCESS);
    const std::string host = hostOf(s.emulator.resource());
    ViStatus status;
    EXPECT_EQ(query(s.vi, "*IDN?\n", &status), kIdn);
    EXPECT_EQ(status, VI_SUCCESS);

    ViUInt16 intf = 0;
    ASSERT_EQ(viGetAttribute(s.vi, VI_ATTR_INTF_TYPE, &intf), VI_SUCCESS);
    EXPECT_EQ(intf, VI_INTF_TCPIP);
    const struct {
        ViAttr attr;
        std::string expected;
    } strings[] = {
        {VI_ATTR_RSRC_CLASS, "INSTR"},
        {VI_ATTR_RSRC_NAME, "TCPIP0::" + host + "::inst0::INSTR"},
        {VI_ATTR_TCPIP_ADDR, host},
        {VI_ATTR_TCPIP_HOSTNAME, host},
        {VI_ATTR_TCPIP_DEVICE_NAME, "inst0"},
    };
    for (const auto& row : strings) {
        ViChar text[256] = "";
        ASSERT_EQ(viGetAttribute(s.vi, row.attr, text), VI_SUCCESS) << std::hex << row.attr;
        EXPECT_EQ(text, row.expected);
    }
    ViUInt16 port = 0;
    EXPECT_EQ(viGetAttribute(s.vi, VI_ATTR_TCPIP_PORT, &port), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viClose(s.vi), VI_SUCCESS);
}

// A message longer than the server's maxRecvSize (1024) goes in several device_writes with
// END on the last only: the instrument runs it as one message, which END alone ends (no
// linefeed).
TEST(VisaVxi11, LongMessagesAndTermination) {
    Vxi11Session s;
    ASSERT_EQ(s.opened, VI_SUCCESS);
    std::string command;
    while (command.size() < 5000) command += "*CLS;";
    command += "*IDN?";
    ViUInt32 sent = 0;
    ASSERT_EQ(viWrite(s.vi, reinterpret_cast<ViConstBuf>(command.data()),
                      static_cast<ViUInt32>(command.size()), &sent),
              VI_SUCCESS);
    EXPECT_EQ(sent, command.size());
    // A read ends at the instrument's END; with the termination character enabled, at it.
    ViByte buf[64];
    ViUInt32 got = 0;
    EXPECT_EQ(viRead(s.vi, buf, 10, &got), VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), std::string(kIdn, 10));
    EXPECT_EQ(viRead(s.vi, buf, sizeof buf, &got), VI_SUCCESS);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), std::string(kIdn + 10) + "\n");
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TERMCHAR_EN, VI_TRUE), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TERMCHAR, ','), VI_SUCCESS);
    ASSERT_EQ(viPrintf(s.vi, const_cast<ViChar*>("*IDN?\n")), VI_SUCCESS);
    EXPECT_EQ(viRead(s.vi, buf, sizeof buf, &got), VI_SUCCESS_TERM_CHAR);
    EXPECT_EQ(std::string(reinterpret_cast<char*>(buf), got), "Orvane,");
}

// Two sessions on two threads, each to an instrument of its own, read answers
// of odd length at once: the padding after them must not pass through a
// buffer the threads share (a race ThreadSanitizer reports).
TEST(VisaVxi11, SessionsOnTwoThreadsReadAtOnce) {
    if (EmulatorProcess::SystemPortmapperRunning())
        GTEST_SKIP() << "a system portmapper has room for one VXI-11 emulator; this needs two";
    Vxi11Session first, second;
    ASSERT_EQ(first.opened, VI_SUCCESS);
    ASSERT_EQ(second.opened, VI_SUCCESS);
    const auto run = [](ViSession vi, int* right) {
        for (int i = 0; i < 200; ++i) {
            ViStatus status = VI_ERROR_SYSTEM_ERROR;
            if (query(vi, "*IDN?\n", &status) == kIdn && status == VI_SUCCESS) ++*right;
        }
    };
    int right[2] = {0, 0};
    std::thread other(run, second.vi, &right[1]);
    run(first.vi, &right[0]);
    other.join();
    EXPECT_EQ(right[0], 200);
    EXPECT_EQ(right[1], 200);
}

// viClear reaches the instrument (device_clear): the answer it held is gone.
TEST(VisaVxi11, ClearDropsTheInstrumentsAnswer) {
    Vxi11Session s;
    ASSERT_EQ(s.opened, VI_SUCCESS);
    ASSERT_EQ(viPrintf(s.vi, const_cast<ViChar*>("*IDN?\n")), VI_SUCCESS);
    ASSERT_EQ(viClear(s.vi), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 200), VI_SUCCESS);
    ViByte buf[64];
    ViUInt32 got = 0;
    EXPECT_EQ(viRead(s.vi, buf, sizeof buf, &got), VI_ERROR_TMO);
    EXPECT_EQ(got, 0u);
}

// viClose from another thread ends a read that waits without a timeout: the server is told
// on the abort channel, and the reader's wait ends.
TEST(VisaVxi11, CloseWakesABlockedRead) {
    Vxi11Session s({"--no-reply", "*IDN?"});
    ASSERT_EQ(s.opened, VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, VI_TMO_INFINITE), VI_SUCCESS);
    ViStatus readStatus = VI_SUCCESS;
    std::thread reader([&] {
        ViStatus status;
        query(s.vi, "*IDN?\n", &status);
        readStatus = status;
    });
    std::this_thread::sleep_for(Ms(200));
    const auto start = Clock::now();
    EXPECT_EQ(viClose(s.vi), VI_SUCCESS);
    reader.join();
    EXPECT_LT(elapsedMs(start), 2000);
    EXPECT_EQ(readStatus, VI_ERROR_ABORT);
}

// Faults of the server: each row's first query fails as said, within its time, and (where
// the link survives) the next query gets its own answer.
TEST(VisaVxi11, ServerFaults) {
    const struct {
        const char* fault;
        std::vector<std::string> args;
        ViStatus first;
        bool firstIsIdn;  // when the first query succeeds
        bool linkSurvives;
    } rows[] = {
        {"no answer", {"--no-reply", "*IDN?"}, VI_ERROR_TMO, false, true},
        {"late answer", {"--delay-ms", "600"}, VI_ERROR_TMO, false, true},
        {"garbage answer", {"--garbage", "*IDN?"}, VI_SUCCESS, false, true},
        {"dropped connection", {"--drop-after", "1"}, VI_SUCCESS, true, false},
        {"record of 2 GiB", {"--bad-record", "huge"}, VI_ERROR_IO, false, false},
        {"record that is no reply", {"--bad-record", "junk"}, VI_ERROR_IO, false, false},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.fault);
        Vxi11Session s(row.args);
        ASSERT_EQ(s.opened, VI_SUCCESS);
        ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 300), VI_SUCCESS);
        const auto start = Clock::now();
        ViStatus status;
        const std::string first = query(s.vi, "*IDN?\n", &status);
        EXPECT_EQ(status, row.first);
        EXPECT_LT(elapsedMs(start), 1500);
        if (status == VI_SUCCESS) {
            EXPECT_EQ(first == kIdn, row.firstIsIdn) << first;
        }
        ASSERT_EQ(viSetAttribute(s.vi, VI_ATTR_TMO_VALUE, 2000), VI_SUCCESS);
        const std::string next = query(s.vi, "*OPC?\n", &status);
        if (row.linkSurvives) {
            EXPECT_EQ(status, VI_SUCCESS);
            EXPECT_EQ(next, "1");
        } else {
            EXPECT_LT(status, VI_SUCCESS);
        }
    }
}

TEST(VisaVxi11, OpenFailures) {
    EmulatorProcess emulator({"--vxi11"});
    const std::string host = hostOf(emulator.resource());
    ResourceManager rm;
    ViSession vi = VI_NULL;
    // The server refuses the link to a device it does not have.
    EXPECT_EQ(rm.open("TCPIP0::" + host + "::inst7::INSTR", &vi), VI_ERROR_RSRC_NFOUND);
    // No portmapper at that address.
    EXPECT_EQ(rm.open("TCPIP0::127.0.0.254::inst0::INSTR", &vi, 500), VI_ERROR_RSRC_NFOUND);
}

// --- Against a core channel that breaks the rules ---------------------------

using qmdc::visa::Deadline;
using qmdc::visa::kTimeoutGraceMs;
using qmdc::visa::Vxi11Transport;

// How much later than its timeout and the grace a call may end on a loaded machine: a bound,
// not a measure of speed.
constexpr long long kSlackMs = 1500;
// A flood, or a script that answers every call, lasts this long at most, so that a client
// that does not bound its calls still ends (and fails the bound) rather than hang the test.
constexpr Ms kFloodFor(6000);

// A VXI-11 core channel on one loopback connection, scripted per call: `answer` gets the
// call's procedure, its number (0 for the first device_read, ...) and the xids of the calls so
// far (the last is this one's), and says what to send once and what to send over and over
// afterwards, until the next call or the end of the flood. Calls it has no script for
// (destroy_link, device_abort) get "no error".
class ScriptedCore {
  public:
    struct Answer {
        std::string once;
        std::string flood;
    };
    using Script = std::function<Answer(uint32_t proc, int n, const std::vector<uint32_t>& xids)>;

    explicit ScriptedCore(Script script) : script_(std::move(script)) {
        listener_ = qmdc_test::ListenOnLoopback(&port_);
        thread_ = std::thread([this] { run(); });
    }
    ~ScriptedCore() {
        stop_ = true;
        thread_.join();
        ::close(listener_);
    }
    // A transport on a link to this core channel (no abort channel).
    std::unique_ptr<Vxi11Transport> link() {
        ViStatus status = VI_SUCCESS;
        auto stream = qmdc::visa::connectTcp("127.0.0.1", static_cast<ViUInt16>(port_),
                                             Deadline::after(2000), &status);
        if (!stream) return nullptr;
        Vxi11Transport::Link link;
        link.core = std::make_unique<qmdc::visa::RpcChannel>(std::move(stream), DEVICE_CORE,
                                                             DEVICE_CORE_VERSION);
        link.lid = 1;
        link.maxRecvSize = 1024;
        return std::make_unique<Vxi11Transport>(std::move(link), "127.0.0.1", "inst0");
    }

    static std::string readReply(uint32_t xid, long reason, const std::string& data) {
        Device_ReadResp resp{};
        resp.reason = reason;
        resp.data.data_len = static_cast<u_int>(data.size());
        resp.data.data_val = const_cast<char*>(data.data());
        std::string out;
        qmdc::rpc::encodeReply(xid, SUCCESS, qmdc::rpc::xdrProc(xdr_Device_ReadResp), &resp, &out);
        return out;
    }
    static std::string errorReply(uint32_t xid) {
        Device_Error error{};
        std::string out;
        qmdc::rpc::encodeReply(xid, SUCCESS, qmdc::rpc::xdrProc(xdr_Device_Error), &error, &out);
        return out;
    }

  private:
    void run() {
        pollfd p{listener_, POLLIN, 0};
        int fd = -1;
        for (int i = 0; i < 200 && !stop_ && fd < 0; ++i)
            if (::poll(&p, 1, 10) > 0) fd = ::accept(listener_, nullptr, nullptr);
        if (fd < 0) return;
        qmdc::rpc::RecordReader reader;
        std::vector<uint32_t> xids;
        int reads = 0;
        std::string flood;
        size_t floodAt = 0;
        Clock::time_point firstCall{};
        Clock::time_point floodEnd{};
        while (!stop_) {
            const bool flooding = !flood.empty() && Clock::now() < floodEnd;
            pollfd q{fd, static_cast<short>(flooding ? POLLIN | POLLOUT : POLLIN), 0};
            if (::poll(&q, 1, 10) <= 0) continue;
            if ((q.revents & POLLOUT) != 0) {
                // Round and round the flood's bytes, so that its records stay whole.
                const ssize_t sent = ::send(fd, flood.data() + floodAt, flood.size() - floodAt,
                                            MSG_NOSIGNAL | MSG_DONTWAIT);
                if (sent > 0) floodAt = (floodAt + static_cast<size_t>(sent)) % flood.size();
            }
            if ((q.revents & (POLLIN | POLLHUP | POLLERR)) == 0) continue;
            uint8_t buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, MSG_DONTWAIT);
            if (n == 0 || (n < 0 && errno != EAGAIN)) break;
            for (size_t at = 0; n > 0 && at < static_cast<size_t>(n);) {
                size_t used = 0;
                const auto state = reader.feed(buf + at, static_cast<size_t>(n) - at, &used);
                at += used;
                if (state != qmdc::rpc::RecordReader::State::Complete) break;
                qmdc::rpc::CallHeader call;
                size_t argsAt = 0;
                const bool ok = qmdc::rpc::decodeCallHeader(reader.record(), &call, &argsAt);
                reader.next();
                if (!ok) continue;
                // Past the flood's end, calls go unanswered (and time out).
                if (xids.empty()) firstCall = Clock::now();
                if (Clock::now() > firstCall + kFloodFor) continue;
                xids.push_back(call.xid);
                flood.clear();
                std::string once = errorReply(call.xid);
                if (call.proc == device_read) {
                    const Answer answer = script_(call.proc, reads++, xids);
                    once = answer.once;
                    // Many copies at once: the client must never find the socket empty.
                    for (flood.clear(); !answer.flood.empty() && flood.size() < 65536;)
                        flood += answer.flood;
                    floodAt = 0;
                    floodEnd = Clock::now() + kFloodFor;
                }
                ::send(fd, once.data(), once.size(), MSG_NOSIGNAL);
            }
        }
        ::close(fd);
    }

    Script script_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
};

// As viRead does: parts of one message into `cap` bytes at most, within one deadline, until
// END or a failure.
std::string readWhole(qmdc::visa::Transport& t, size_t cap, ViUInt32 timeoutMs, ViStatus* status) {
    std::string text;
    const Deadline deadline = Deadline::after(timeoutMs);
    for (bool end = false; !end;) {
        // Exactly `cap` bytes on the heap, so that a copy past them shows under ASan.
        std::unique_ptr<ViByte[]> buf(new ViByte[cap]);
        size_t got = 0;
        *status = t.readMessage(buf.get(), cap, deadline, &got, &end);
        if (*status != VI_SUCCESS) break;
        text.append(reinterpret_cast<char*>(buf.get()), got);
    }
    return text;
}

// A read from an instrument that breaks the rules ends with the row's status, by the
// timeout and the grace whatever it keeps sending. Each row guards one place that waits or
// passes something over: the requests of a read that never ends (no END), the fragments
// of a record (empty ones), the records of other calls (another xid), a reply larger than
// the request (never copied past the buffer), and the late reply to a call that timed out,
// which the next call must not take for its own.
TEST(VisaVxi11, HostileCoreChannelsAreBoundedByTheTimeout) {
    using Answer = ScriptedCore::Answer;
    using Xids = std::vector<uint32_t>;
    constexpr long kEnd = 0x04;
    const struct {
        const char* what;
        ScriptedCore::Script script;
        size_t cap;
        std::vector<ViStatus> statuses;  // one read each
        std::string last;                // what the last read returns, when it succeeds
    } rows[] = {
        {"a byte per reply, never END",
         [](uint32_t, int, const Xids& x) {
             return Answer{ScriptedCore::readReply(x.back(), 0, "x"), ""};
         },
         64,
         {VI_ERROR_TMO},
         ""},
        {"empty fragments for ever",
         [](uint32_t, int, const Xids&) {
             return Answer{"", std::string(4096, '\0')};
         },
         64,
         {VI_ERROR_TMO},
         ""},
        {"replies to another call for ever",
         [](uint32_t, int, const Xids& x) {
             return Answer{"", ScriptedCore::readReply(x.back() + 7, kEnd, "stale")};
         },
         64,
         {VI_ERROR_TMO},
         ""},
        {"no reply", [](uint32_t, int, const Xids&) { return Answer{}; }, 64, {VI_ERROR_TMO}, ""},
        {"more than was asked for",
         [](uint32_t, int, const Xids& x) {
             return Answer{ScriptedCore::readReply(x.back(), kEnd, std::string(64, 'y')), ""};
         },
         4,
         {VI_ERROR_IO},
         ""},
        {"as much as was asked for",
         [](uint32_t, int, const Xids& x) {
             return Answer{ScriptedCore::readReply(x.back(), kEnd, "yyyy"), ""};
         },
         4,
         {VI_SUCCESS},
         "yyyy"},
        {"the late reply to the call before, with its xid",
         [](uint32_t, int n, const Xids& x) {
             if (n == 0) return Answer{};
             return Answer{ScriptedCore::readReply(x[x.size() - 2], kEnd, "stale") +
                               ScriptedCore::readReply(x.back(), kEnd, "fresh"),
                           ""};
         },
         64,
         {VI_ERROR_TMO, VI_SUCCESS},
         "fresh"},
    };
    constexpr ViUInt32 kTimeout = 500;
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ScriptedCore core(row.script);
        auto t = core.link();
        ASSERT_TRUE(t);
        std::string text;
        ViStatus status = VI_SUCCESS;
        for (ViStatus expected : row.statuses) {
            const auto start = Clock::now();
            text = readWhole(*t, row.cap, kTimeout, &status);
            EXPECT_EQ(status, expected);
            EXPECT_LT(elapsedMs(start), kTimeout + kTimeoutGraceMs + kSlackMs);
        }
        // What came before a timeout is the caller's too, but only a whole answer is compared.
        if (status == VI_SUCCESS) {
            EXPECT_EQ(text, row.last);
        }
    }
}

// Long enough for a request the instrument has sent to arrive on loopback.
const Ms kInFlight(200);

// Counts the service requests a watch passes on.
class SrqCount {
  public:
    qmdc::visa::Transport::ServiceRequestSink sink() {
        return [this] {
            std::lock_guard<std::mutex> lock(mutex_);
            ++count_;
            changed_.notify_all();
        };
    }
    // Waits until `n` have come or the time is up; the count then.
    int waitFor(int n, Ms timeout = Ms(3000)) {
        std::unique_lock<std::mutex> lock(mutex_);
        changed_.wait_for(lock, timeout, [&] { return count_ >= n; });
        return count_;
    }

  private:
    std::mutex mutex_;
    std::condition_variable changed_;
    int count_ = 0;
};

std::unique_ptr<qmdc::visa::Transport> openTransport(const std::string& resource) {
    qmdc::visa::ResourceName name;
    ViStatus status = qmdc::visa::parseResourceName(resource.c_str(), &name);
    return status == VI_SUCCESS ? qmdc::visa::openVxi11(name, 2000, &status) : nullptr;
}

ViStatus sendLine(qmdc::visa::Transport& transport, const std::string& line) {
    const std::string message = line + "\n";
    size_t sent = 0;
    return transport.write(reinterpret_cast<const ViByte*>(message.data()), message.size(),
                           qmdc::visa::Deadline::after(2000), &sent);
}

// A mode past VI_GPIB_REN_ADDRESS_GTL is refused as HiSLIP and USBTMC refuse it,
// before anything is sent.
TEST(VisaVxi11, RemoteLocalRefusesAnUnknownMode) {
    EmulatorProcess emulator({"--vxi11"});
    const std::unique_ptr<qmdc::visa::Transport> transport = openTransport(emulator.resource());
    ASSERT_TRUE(transport);
    for (const ViUInt16 mode : {7, 0xFFFF})
        EXPECT_EQ(transport->remoteLocal(mode, qmdc::visa::Deadline::after(1000)),
                  VI_ERROR_INV_MODE)
            << mode;
}

// Each row's steps go to the emulator ("stop" and "start" end and begin the watch, "1 came"
// waits for the first request, which a stop right after it could otherwise overtake); then
// a last request, which the instrument sends before it answers the write that caused it and
// after every other on the interrupt channel's one connection: a request too many is
// counted before it or while it is still on its way.
TEST(VisaVxi11, ServiceRequestsFromTheEmulator) {
    const std::vector<std::string> lastRequest = {"*CLS", "*ESE 1;*SRE 32", "*OPC"};
    const struct {
        const char* what;
        std::vector<std::string> steps;
        int requests;
    } rows[] = {
        {"an operation completes", {"*ESE 1;*SRE 32", "*OPC"}, 1},
        {"the instrument refuses a command", {"*SRE 4", "NO:SUCH:COMMAND"}, 1},
        {"the summary bit is not enabled", {"*ESE 1", "*OPC"}, 0},
        {"no new rising edge", {"*ESE 1;*SRE 32", "*OPC", "*OPC", "*SRE 32"}, 1},
        {"several in a row", {"*ESE 1;*SRE 32", "*OPC", "*CLS", "*OPC", "*ESR?", "*OPC"}, 3},
        {"none while stopped",
         {"*ESE 1;*SRE 32", "*OPC", "1 came", "stop", "*CLS", "*OPC", "start"},
         1},
        {"a watch started again", {"stop", "start", "*SRE 32;*ESE 1", "*OPC"}, 1},
        {"on and off within one HiSLIP message", {"hislip *ESE 1;*SRE 32\n*OPC\n*CLS"}, 1},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EmulatorProcess emulator({"--vxi11", "--hislip"});
        std::unique_ptr<qmdc::visa::Transport> transport =
            openTransport(emulator.resources().back());
        ASSERT_TRUE(transport);
        ResourceManager rm;
        ViSession hislip = VI_NULL;
        ASSERT_EQ(rm.open(emulator.resources().front(), &hislip), VI_SUCCESS);
        // "hislip ..." goes as one HiSLIP message, answered once it has been executed.
        const auto sendHislip = [&](const std::string& text) {
            ViStatus status = VI_SUCCESS;
            EXPECT_EQ(query(hislip, (text + "\n*OPC?\n").c_str(), &status), "1") << text;
            return status;
        };
        EXPECT_TRUE(transport->deliversServiceRequests());
        SrqCount srqs;
        const auto start = [&] {
            return transport->startServiceRequests(srqs.sink(), qmdc::visa::Deadline::after(2000));
        };
        ASSERT_EQ(start(), VI_SUCCESS);
        for (const std::vector<std::string>* steps : {&row.steps, &lastRequest}) {
            for (const std::string& step : *steps) {
                if (step == "stop")
                    transport->stopServiceRequests();
                else if (step == "1 came")
                    ASSERT_EQ(srqs.waitFor(1), 1);
                else
                    ASSERT_EQ(step == "start"                 ? start()
                              : step.rfind("hislip ", 0) == 0 ? sendHislip(step.substr(7))
                                                              : sendLine(*transport, step),
                              VI_SUCCESS)
                        << step;
            }
        }
        EXPECT_EQ(srqs.waitFor(row.requests + 1), row.requests + 1);
        EXPECT_EQ(srqs.waitFor(row.requests + 2, kInFlight), row.requests + 1);
    }
}

// Closing never waits on the watch: an interrupt() from another thread, the transport's
// end while it watches, an instrument gone away.
TEST(VisaVxi11, ServiceRequestWatchEndsAtClose) {
    enum class End { InterruptThenDestroy, Destroy, InstrumentGoneThenStop };
    const struct {
        const char* what;
        End end;
    } rows[] = {
        {"interrupt() from another thread, then the end", End::InterruptThenDestroy},
        {"the transport ends while watching", End::Destroy},
        {"the instrument has gone, then stop", End::InstrumentGoneThenStop},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        EmulatorProcess emulator({"--vxi11"});
        std::unique_ptr<qmdc::visa::Transport> transport = openTransport(emulator.resource());
        ASSERT_TRUE(transport);
        SrqCount srqs;
        ASSERT_EQ(transport->startServiceRequests(srqs.sink(), qmdc::visa::Deadline::after(2000)),
                  VI_SUCCESS);
        const auto start = Clock::now();
        if (row.end == End::InterruptThenDestroy) {
            std::thread closer([&] { transport->interrupt(); });
            closer.join();
            EXPECT_EQ(sendLine(*transport, "*OPC"), VI_ERROR_CONN_LOST);
        } else if (row.end == End::InstrumentGoneThenStop) {
            emulator.Stop();
            transport->stopServiceRequests();
        }
        transport.reset();
        EXPECT_LT(elapsedMs(start), 1500);
        EXPECT_EQ(srqs.waitFor(1, Ms(0)), 0);
    }
}

// One end of a connection on the interrupt channel: a caller that may break the rules, or
// the instrument's channel as the test accepts it.
int connectLoopback(uint16_t port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(port);
    return ::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to) == 0 ? fd : (::close(fd), -1);
}

struct IntrCaller {
    explicit IntrCaller(int connected) : fd(connected) {}
    ~IntrCaller() {
        if (fd >= 0) ::close(fd);
    }
    void send(const std::string& bytes) const {
        ASSERT_EQ(::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL),
                  static_cast<ssize_t>(bytes.size()));
    }
    // The next reply record; empty when the connection closed (or nothing came in time).
    std::string reply(bool* closed) {
        for (;;) {
            size_t used = 0;
            const auto state = reader.feed(pending.data(), pending.size(), &used);
            pending.erase(pending.begin(), pending.begin() + static_cast<long>(used));
            if (state == qmdc::rpc::RecordReader::State::Complete) {
                std::string record = reader.record();
                reader.next();
                return record;
            }
            pollfd p{fd, POLLIN, 0};
            uint8_t buf[512];
            const ssize_t n = ::poll(&p, 1, 3000) == 1 ? ::recv(fd, buf, sizeof buf, 0) : -1;
            *closed = n == 0;
            if (n <= 0) return std::string();
            pending.insert(pending.end(), buf, buf + n);
        }
    }
    const int fd;
    qmdc::rpc::RecordReader reader;
    std::vector<uint8_t> pending;
};

std::string intrCall(uint32_t xid, uint32_t prog, uint32_t vers, uint32_t proc,
                     const std::string& handle) {
    std::string out;
    Device_SrqParms parms{};
    parms.handle.handle_len = static_cast<u_int>(handle.size());
    parms.handle.handle_val = const_cast<char*>(handle.data());
    qmdc::rpc::encodeCall(qmdc::rpc::CallHeader{xid, prog, vers, proc},
                          qmdc::rpc::xdrProc(xdr_Device_SrqParms), &parms, &out);
    return out;
}

// What each caller sends to the interrupt channel: a service request of this link is passed
// on and answered; every other call is answered (with the RPC error that fits) and raises
// nothing; what is no call drops the connection. The watch goes on after each: a good call
// on a new connection is still passed on. The handles guard the match of ours: whole, never
// a prefix either way (longer, shorter, empty); the records guard the reader (cut short,
// not a call, past the size limit).
TEST(VisaVxi11, InterruptChannelCallers) {
    using namespace qmdc::rpc;
    const std::string handle = "qmdc 7 1";
    std::string cutShort = intrCall(9, DEVICE_INTR, 1, device_intr_srq, handle);
    cutShort = frameRecord(cutShort.substr(4, cutShort.size() - 4 - 8));  // args cut short
    std::string reply;
    encodeReply(9, SUCCESS, nullptr, nullptr, &reply);
    enum Answer { Taken, Refused, Dropped };
    const struct {
        const char* what;
        std::string bytes;
        int requests;
        Answer answer;
    } rows[] = {
        {"a service request", intrCall(9, DEVICE_INTR, 1, device_intr_srq, handle), 1, Taken},
        {"two in one segment",
         intrCall(9, DEVICE_INTR, 1, device_intr_srq, handle) +
             intrCall(9, DEVICE_INTR, 1, device_intr_srq, handle),
         2, Taken},
        {"another link's handle", intrCall(9, DEVICE_INTR, 1, device_intr_srq, "qmdc 7 2"), 0,
         Taken},
        {"a longer handle", intrCall(9, DEVICE_INTR, 1, device_intr_srq, handle + "0"), 0, Taken},
        {"a shorter handle (a stale watch's, the same but its last digit)",
         intrCall(9, DEVICE_INTR, 1, device_intr_srq, handle.substr(0, handle.size() - 1)), 0,
         Taken},
        {"an empty handle", intrCall(9, DEVICE_INTR, 1, device_intr_srq, ""), 0, Taken},
        {"the null procedure", intrCall(9, DEVICE_INTR, 1, 0, handle), 0, Taken},
        {"another procedure", intrCall(9, DEVICE_INTR, 1, 31, handle), 0, Refused},
        {"another program", intrCall(9, DEVICE_CORE, 1, device_intr_srq, handle), 0, Refused},
        {"another version", intrCall(9, DEVICE_INTR, 2, device_intr_srq, handle), 0, Refused},
        {"arguments cut short", cutShort, 0, Refused},
        {"no RPC call", frameRecord("junk"), 0, Dropped},
        {"a reply in place of a call", reply, 0, Dropped},
        {"a record of 2 GiB announced", std::string("\xff\xff\xff\xff", 4), 0, Dropped},
        {"a record past the limit", frameRecord(std::string(kMaxIntrRecord + 1, 'x')), 0, Dropped},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ViStatus status = VI_ERROR_SYSTEM_ERROR;
        auto channel = qmdc::visa::InterruptChannel::listen(htonl(INADDR_LOOPBACK), &status);
        ASSERT_TRUE(channel);
        SrqCount srqs;
        ASSERT_EQ(channel->start(handle, srqs.sink()), VI_SUCCESS);
        IntrCaller caller(connectLoopback(channel->port()));
        ASSERT_GE(caller.fd, 0);
        caller.send(row.bytes);
        bool closed = false;
        const std::string answer = caller.reply(&closed);
        if (row.answer == Dropped) {
            EXPECT_TRUE(closed);
        } else {
            const ReplyKind kind = decodeReply(answer, 9, xdrProc(xdr_void), nullptr);
            EXPECT_EQ(kind, row.answer == Taken ? ReplyKind::Success : ReplyKind::Refused);
        }
        // The watch goes on, on this connection unless it was dropped, and on a new one.
        IntrCaller next(connectLoopback(channel->port()));
        next.send(intrCall(10, DEVICE_INTR, 1, device_intr_srq, handle));
        if (row.answer != Dropped)
            caller.send(intrCall(11, DEVICE_INTR, 1, device_intr_srq, handle));
        const int more = row.answer == Dropped ? 1 : 2;
        EXPECT_EQ(srqs.waitFor(row.requests + more), row.requests + more);
        channel->stop();
    }
}

// A caller that does not wait for replies: it sends its requests and closes at once. And
// callers that connect and say nothing cannot keep the instrument out.
TEST(VisaVxi11, InterruptChannelCallersThatCloseOrIdle) {
    ViStatus status = VI_ERROR_SYSTEM_ERROR;
    auto channel = qmdc::visa::InterruptChannel::listen(htonl(INADDR_LOOPBACK), &status);
    ASSERT_TRUE(channel);
    SrqCount srqs;
    ASSERT_EQ(channel->start("h", srqs.sink()), VI_SUCCESS);
    std::string calls;
    for (uint32_t xid = 0; xid < 500; ++xid)
        calls += intrCall(xid, DEVICE_INTR, 1, device_intr_srq, "h");
    {
        IntrCaller caller(connectLoopback(channel->port()));
        caller.send(calls);
    }
    EXPECT_EQ(srqs.waitFor(500), 500);
    std::vector<std::unique_ptr<IntrCaller>> idle;
    for (int i = 0; i < 16; ++i)
        idle.push_back(std::make_unique<IntrCaller>(connectLoopback(channel->port())));
    IntrCaller instrument(connectLoopback(channel->port()));
    instrument.send(intrCall(1, DEVICE_INTR, 1, device_intr_srq, "h"));
    EXPECT_EQ(srqs.waitFor(501), 501);
}

// A caller that keeps calling and never reads the replies is dropped once they pile up,
// and the watch goes on for the instrument.
TEST(VisaVxi11, InterruptChannelDropsACallerThatNeverReads) {
    ViStatus status = VI_ERROR_SYSTEM_ERROR;
    auto channel = qmdc::visa::InterruptChannel::listen(htonl(INADDR_LOOPBACK), &status);
    ASSERT_TRUE(channel);
    SrqCount srqs;
    ASSERT_EQ(channel->start("h", srqs.sink()), VI_SUCCESS);
    // A small receive buffer on the caller's side, so that the replies back up soon.
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    const int small = 4096;
    ::setsockopt(fd, SOL_SOCKET, SO_RCVBUF, &small, sizeof small);
    sockaddr_in to{};
    to.sin_family = AF_INET;
    to.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    to.sin_port = htons(channel->port());
    ASSERT_EQ(::connect(fd, reinterpret_cast<sockaddr*>(&to), sizeof to), 0);
    IntrCaller flooder(fd);
    std::string calls;
    for (uint32_t xid = 0; xid < 256; ++xid) calls += intrCall(xid, DEVICE_INTR, 1, 0, "h");
    // Sends until the channel has dropped the connection (or far more than it would keep).
    bool dropped = false;
    for (size_t sent = 0; !dropped && sent < (64u << 20);) {
        pollfd p{fd, POLLOUT, 0};
        if (::poll(&p, 1, 3000) != 1) break;  // the channel stopped reading: not dropped
        const ssize_t n = ::send(fd, calls.data(), calls.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
        dropped = n < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
        if (n > 0) sent += static_cast<size_t>(n);
    }
    EXPECT_TRUE(dropped);
    IntrCaller instrument(connectLoopback(channel->port()));
    instrument.send(intrCall(1, DEVICE_INTR, 1, device_intr_srq, "h"));
    EXPECT_EQ(srqs.waitFor(1), 1);
}

// Links of two clients: each that enabled service requests gets every one, with its own
// handle, whichever port the message that caused it came from; one that stopped gets no more.
TEST(VisaVxi11, ServiceRequestsGoToEveryLinkThatAsked) {
    EmulatorProcess emulator({"--tcp", "--vxi11"});
    ASSERT_EQ(emulator.resources().size(), 2u);
    const std::string vxi11 = emulator.resources()[1];
    std::unique_ptr<qmdc::visa::Transport> first = openTransport(vxi11);
    std::unique_ptr<qmdc::visa::Transport> second = openTransport(vxi11);
    ASSERT_TRUE(first && second);
    SrqCount firstSrqs, secondSrqs;
    const auto deadline = qmdc::visa::Deadline::after(2000);
    ASSERT_EQ(first->startServiceRequests(firstSrqs.sink(), deadline), VI_SUCCESS);
    ASSERT_EQ(second->startServiceRequests(secondSrqs.sink(), deadline), VI_SUCCESS);
    for (const char* line : {"*ESE 1;*SRE 32", "*OPC"})
        ASSERT_EQ(sendLine(*first, line), VI_SUCCESS);
    EXPECT_EQ(firstSrqs.waitFor(1), 1);
    EXPECT_EQ(secondSrqs.waitFor(1), 1);
    second->stopServiceRequests();
    for (const char* line : {"*CLS", "*OPC"}) ASSERT_EQ(sendLine(*second, line), VI_SUCCESS);
    EXPECT_EQ(firstSrqs.waitFor(2), 2);
    EXPECT_EQ(secondSrqs.waitFor(2, kInFlight), 1);
    // The same from the socket port.
    ResourceManager rm;
    ViSession socket = VI_NULL;
    ASSERT_EQ(rm.open(emulator.resources()[0], &socket), VI_SUCCESS);
    ASSERT_EQ(viPrintf(socket, const_cast<ViChar*>("*CLS\n*OPC\n")), VI_SUCCESS);
    EXPECT_EQ(firstSrqs.waitFor(3), 3);
}

// The emulator's side of the interrupt channel, seen by a client that makes its own calls:
// the refusals the protocol asks for, and a channel that broke is opened again.
TEST(VisaVxi11, EmulatorInterruptChannel) {
    using qmdc::visa::Deadline;
    EmulatorProcess emulator({"--vxi11"});
    const std::string host = hostOf(emulator.resource());
    ViStatus status = VI_SUCCESS;
    qmdc::visa::RpcChannel portmapper(
        qmdc::visa::connectTcp(host, PMAPPORT, Deadline::after(2000), &status), PMAPPROG, PMAPVERS);
    pmap query{DEVICE_CORE, DEVICE_CORE_VERSION, IPPROTO_TCP, 0};
    u_long corePort = 0;
    ASSERT_EQ(portmapper.call(PMAPPROC_GETPORT, xdr_pmap, query, xdr_u_long, &corePort,
                              Deadline::after(2000)),
              VI_SUCCESS);
    qmdc::visa::RpcChannel core(qmdc::visa::connectTcp(host, static_cast<ViUInt16>(corePort),
                                                       Deadline::after(2000), &status),
                                DEVICE_CORE, DEVICE_CORE_VERSION);
    Create_LinkParms linkParms{};
    linkParms.device = const_cast<char*>("inst0");
    Create_LinkResp link{};
    ASSERT_EQ(core.call(create_link, xdr_Create_LinkParms, linkParms, xdr_Create_LinkResp, &link,
                        Deadline::after(2000)),
              VI_SUCCESS);
    int port = 0;
    const int listener = qmdc_test::ListenOnLoopback(&port);
    ASSERT_GE(listener, 0);

    const auto createChannel = [&](Device_AddrFamily family) {
        Device_RemoteFunc where{INADDR_LOOPBACK, static_cast<u_short>(port), DEVICE_INTR,
                                DEVICE_INTR_VERSION, family};
        Device_Error result{};
        core.call(create_intr_chan, xdr_Device_RemoteFunc, where, xdr_Device_Error, &result,
                  Deadline::after(2000));
        return result.error;
    };
    const auto destroyChannel = [&] {
        Device_Error result{};
        core.call(destroy_intr_chan, qmdc::rpc::xdrProc(xdr_void), nullptr,
                  qmdc::rpc::xdrProc(xdr_Device_Error), &result, Deadline::after(2000));
        return result.error;
    };
    const auto enableSrq = [&](Device_Link lid) {
        Device_EnableSrqParms parms{lid, TRUE, {3, const_cast<char*>("raw")}};
        Device_Error result{};
        core.call(device_enable_srq, xdr_Device_EnableSrqParms, parms, xdr_Device_Error, &result,
                  Deadline::after(2000));
        return result.error;
    };
    const struct {
        const char* what;
        std::function<long()> call;
        long error;
    } steps[] = {
        {"no channel to destroy", destroyChannel, 6},
        {"a channel over UDP", [&] { return createChannel(DEVICE_UDP); }, 8},
        {"a channel over TCP", [&] { return createChannel(DEVICE_TCP); }, 0},
        {"a second channel", [&] { return createChannel(DEVICE_TCP); }, 29},
        {"SRQ on a link that is not there", [&] { return enableSrq(link.lid + 100); }, 4},
        {"SRQ on the link", [&] { return enableSrq(link.lid); }, 0},
    };
    for (const auto& step : steps) EXPECT_EQ(step.call(), step.error) << step.what;

    // Another client's messages make the instrument request service, twice; the first
    // connection is closed after its call, so the second comes on a new one.
    std::unique_ptr<qmdc::visa::Transport> other = openTransport(emulator.resource());
    ASSERT_TRUE(other);
    for (const auto& lines : {std::vector<const char*>{"*ESE 1;*SRE 32", "*OPC"},
                              std::vector<const char*>{"*CLS", "*OPC"}}) {
        for (const char* line : lines) ASSERT_EQ(sendLine(*other, line), VI_SUCCESS);
        pollfd p{listener, POLLIN, 0};
        ASSERT_EQ(::poll(&p, 1, 3000), 1);
        IntrCaller instrument(::accept(listener, nullptr, nullptr));
        bool closed = false;
        std::string reply;
        EXPECT_EQ(qmdc::rpc::takeIntrCall(instrument.reply(&closed), "raw", &reply),
                  qmdc::rpc::IntrCall::ServiceRequest);
    }
    EXPECT_EQ(destroyChannel(), 0);
    ::close(listener);
}

}  // namespace
