// qmdc-emulator --vxi11 as a LAN instrument, through clients written from the protocols: the
// portmapper (its own, or the system's it registers with), the NULL procedure of every
// program, device names, the links a connection may hold, locks and their waits, service
// requests command by command, and the interrupt channel's address.
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <poll.h>
#include <rpc/rpc.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <rpc/pmap_prot.h>  // needs rpc.h first

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "emulator_process.h"
#include "lan_client.h"
#include "loopback_listener.h"
#include "vxi11_intr.h"

namespace qmdc::emu::test {
namespace {

using Clock = std::chrono::steady_clock;
using qmdc::testing::EmulatorProcess;

constexpr long kWaitLock = 0x01;

long long MsSince(Clock::time_point start) {
    return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count();
}

struct Vxi11Emulator {
    explicit Vxi11Emulator(std::vector<std::string> args = {})
        : process(With(std::move(args))), address(AddressOf(process.resources().back())) {}
    static std::vector<std::string> With(std::vector<std::string> args) {
        args.insert(args.begin(), "--vxi11");
        return args;
    }
    EmulatorProcess process;
    in_addr_t address;
};

// Every program answers its NULL procedure (what rpcinfo -t / -u asks), over each transport
// it is served on; a program or version the port does not serve is refused.
TEST(EmulatorVxi11, NullProcedureOfEveryProgram) {
    Vxi11Emulator emulator;
    Vxi11Client client(emulator.address);
    Device_Link lid = 0;
    ASSERT_EQ(client.CreateLink("inst0", &lid), 0);
    const bool own = !EmulatorProcess::SystemPortmapperRunning();
    const struct {
        const char* what;
        uint16_t port;
        uint32_t prog, vers;
        rpc::ReplyKind expected;
    } rows[] = {
        {"portmapper v2", PMAPPORT, PMAPPROG, 2, rpc::ReplyKind::Success},
        {"portmapper v4", PMAPPORT, PMAPPROG, 4, rpc::ReplyKind::Success},
        {"core channel", client.port, DEVICE_CORE, DEVICE_CORE_VERSION, rpc::ReplyKind::Success},
        {"abort channel", client.abortPort, DEVICE_ASYNC, DEVICE_ASYNC_VERSION,
         rpc::ReplyKind::Success},
        {"core channel, another version", client.port, DEVICE_CORE, 2, rpc::ReplyKind::Refused},
        {"abort channel, the core program", client.abortPort, DEVICE_CORE, 1,
         rpc::ReplyKind::Refused},
    };
    for (const auto& row : rows) {
        RpcConnection connection(emulator.address, row.port);
        EXPECT_EQ(connection.Null(row.prog, row.vers), row.expected) << row.what;
    }
    if (!own) GTEST_SKIP() << "the system portmapper answers UDP, not the emulator";
    // The portmapper over UDP too.
    const std::string reply =
        UdpCall(emulator.address, PMAPPORT,
                UdpCallRecord(7, PMAPPROG, PMAPVERS, 0, rpc::xdrProc(xdr_void), nullptr), 3000);
    EXPECT_EQ(rpc::decodeReply(reply, 7, rpc::xdrProc(xdr_void), nullptr), rpc::ReplyKind::Success);
}

// The decoded DUMP list, as "prog/vers/prot=port" entries.
std::vector<std::string> Entries(pmaplist* list) {
    std::vector<std::string> out;
    for (; list != nullptr; list = list->pml_next)
        out.push_back(std::to_string(list->pml_map.pm_prog) + "/" +
                      std::to_string(list->pml_map.pm_vers) + "/" +
                      std::to_string(list->pml_map.pm_prot) + "=" +
                      std::to_string(list->pml_map.pm_port));
    return out;
}

// What rpcinfo -p asks: the list of what the portmapper maps, over TCP and over UDP.
TEST(EmulatorVxi11, PortmapperDumpOverTcpAndUdp) {
    if (EmulatorProcess::SystemPortmapperRunning())
        GTEST_SKIP() << "the system portmapper holds port 111: its list is its own";
    Vxi11Emulator emulator;
    Vxi11Client client(emulator.address);
    Device_Link lid = 0;
    ASSERT_EQ(client.CreateLink("inst0", &lid), 0);
    const std::vector<std::string> expected = {"100000/2/6=111", "100000/2/17=111",
                                               "395183/1/6=" + std::to_string(client.port),
                                               "395184/1/6=" + std::to_string(client.abortPort)};
    for (const bool udp : {false, true}) {
        pmaplist* list = nullptr;
        rpc::ReplyKind kind;
        if (udp) {
            const std::string reply = UdpCall(emulator.address, PMAPPORT,
                                              UdpCallRecord(9, PMAPPROG, PMAPVERS, PMAPPROC_DUMP,
                                                            rpc::xdrProc(xdr_void), nullptr),
                                              3000);
            kind = rpc::decodeReply(reply, 9, rpc::xdrProc(xdr_pmaplist), &list);
        } else {
            RpcConnection portmapper(emulator.address, PMAPPORT);
            kind = portmapper.Receive(
                portmapper.Send(PMAPPROG, PMAPVERS, PMAPPROC_DUMP, rpc::xdrProc(xdr_void), nullptr),
                rpc::xdrProc(xdr_pmaplist), &list);
        }
        ASSERT_EQ(kind, rpc::ReplyKind::Success) << (udp ? "UDP" : "TCP");
        EXPECT_EQ(Entries(list), expected) << (udp ? "UDP" : "TCP");
        xdr_free(rpc::xdrProc(xdr_pmaplist), reinterpret_cast<char*>(&list));
    }
}

// Discovery (lxi discover): a broadcast GETPORT for the core program is answered from the
// instrument's own address; one for a program it does not serve is not answered at all.
TEST(EmulatorVxi11, BroadcastGetPort) {
    if (EmulatorProcess::SystemPortmapperRunning())
        GTEST_SKIP() << "the system portmapper holds port 111 and answers broadcasts itself";
    Vxi11Emulator emulator;
    const uint16_t core = GetPort(emulator.address, DEVICE_CORE, DEVICE_CORE_VERSION);
    const struct {
        const char* what;
        uint32_t prog;
        bool answered;
    } rows[] = {{"the core program", DEVICE_CORE, true}, {"another program", 100003, false}};
    for (const auto& row : rows) {
        pmap query{row.prog, 1, IPPROTO_TCP, 0};
        in_addr_t from = 0;
        const std::string reply = UdpCall(
            htonl(INADDR_BROADCAST), PMAPPORT,
            UdpCallRecord(11, PMAPPROG, PMAPVERS, PMAPPROC_GETPORT, rpc::xdrProc(xdr_pmap), &query),
            row.answered ? 3000 : 300, true, &from, emulator.address);
        if (row.answered && reply.empty())
            GTEST_SKIP() << "no broadcast route on this host (no interface takes 255.255.255.255)";
        EXPECT_EQ(!reply.empty(), row.answered) << row.what;
        if (reply.empty()) continue;
        u_long port = 0;
        EXPECT_EQ(rpc::decodeReply(reply, 11, rpc::xdrProc(xdr_u_long), &port),
                  rpc::ReplyKind::Success);
        EXPECT_EQ(port, core);
        EXPECT_EQ(from, emulator.address) << "the answer names the instrument's address";
    }
}

// The device name is matched in any letter case; a near miss is not the device.
TEST(EmulatorVxi11, DeviceNamesAreCaseBlind) {
    Vxi11Emulator emulator;
    Vxi11Client client(emulator.address);
    const struct {
        const char* device;
        long error;
    } rows[] = {{"inst0", 0}, {"INST0", 0},  {"Inst0", 0}, {"inst1", 3},
                {"inst", 3},  {"inst00", 3}, {"", 3}};
    for (const auto& row : rows) {
        Device_Link lid = 0;
        EXPECT_EQ(client.CreateLink(row.device, &lid), row.error) << '"' << row.device << '"';
    }
}

// A connection holds at most 64 links (at the limit, one past it: out of resources); a
// destroyed one frees its place, and another connection has places of its own.
TEST(EmulatorVxi11, LinksPerConnectionAreLimited) {
    Vxi11Emulator emulator;
    Vxi11Client client(emulator.address);
    std::vector<Device_Link> links(64);
    for (size_t i = 0; i < links.size(); ++i)
        ASSERT_EQ(client.CreateLink("inst0", &links[i]), 0) << i;
    Device_Link extra = 0;
    EXPECT_EQ(client.CreateLink("inst0", &extra), 9) << "the 65th";
    EXPECT_EQ(client.DestroyLink(links[0]), 0);
    EXPECT_EQ(client.CreateLink("inst0", &extra), 0) << "after one was destroyed";
    Vxi11Client other(emulator.address);
    EXPECT_EQ(other.CreateLink("inst0", &extra), 0) << "another connection";
}

// Locks between links of two connections, step by step: each row is one call and the
// error it must give.
TEST(EmulatorVxi11, LocksBetweenLinks) {
    Vxi11Emulator emulator;
    Vxi11Client a(emulator.address), b(emulator.address);
    Device_Link la = 0, lb = 0;
    ASSERT_EQ(a.CreateLink("inst0", &la), 0);
    ASSERT_EQ(b.CreateLink("inst0", &lb), 0);
    const struct {
        const char* what;
        std::function<long()> call;
        long error;
    } steps[] = {
        {"unlock with no lock held", [&] { return b.Unlock(lb); }, 12},
        {"A locks", [&] { return a.Lock(la, 0, 0); }, 0},
        {"B's write is kept out", [&] { return b.Write(lb, "*CLS\n"); }, 11},
        {"B locks without waiting", [&] { return b.Lock(lb, 0, 1000); }, 11},
        {"B's unlock frees nothing of A's", [&] { return b.Unlock(lb); }, 12},
        {"B names A's link to unlock it", [&] { return b.Unlock(la); }, 4},
        {"B names A's link to write", [&] { return b.Write(la, "*CLS\n"); }, 4},
        {"B names A's link to destroy it", [&] { return b.DestroyLink(la); }, 4},
        {"so B is still kept out", [&] { return b.Write(lb, "*CLS\n"); }, 11},
        {"A locks again (it holds it)", [&] { return a.Lock(la, 0, 0); }, 0},
        {"A writes", [&] { return a.Write(la, "*CLS\n"); }, 0},
        {"A unlocks", [&] { return a.Unlock(la); }, 0},
        {"A unlocks twice", [&] { return a.Unlock(la); }, 12},
        {"B locks", [&] { return b.Lock(lb, 0, 0); }, 0},
        {"A's link closes while B holds it", [&] { return a.DestroyLink(la); }, 0},
        {"B unlocks", [&] { return b.Unlock(lb); }, 0},
        {"a link that is not there", [&] { return b.Lock(lb + 1000, 0, 0); }, 4},
    };
    for (const auto& step : steps) EXPECT_EQ(step.call(), step.error) << step.what;
}

// A lock whose holder's connection closes is free for the next link at once.
TEST(EmulatorVxi11, LockIsFreeOnceTheHoldersConnectionCloses) {
    Vxi11Emulator emulator;
    Vxi11Client b(emulator.address);
    Device_Link lb = 0;
    ASSERT_EQ(b.CreateLink("inst0", &lb), 0);
    {
        Vxi11Client a(emulator.address);
        Device_Link la = 0;
        ASSERT_EQ(a.CreateLink("inst0", &la), 0);
        ASSERT_EQ(a.Lock(la, 0, 0), 0);
        ASSERT_EQ(b.Lock(lb, 0, 0), 11);
        // The close and B's request travel on different connections: B waits for the lock.
        const uint32_t xid = b.SendLock(lb, kWaitLock, 5000);
        a.core.Close();
        EXPECT_EQ(b.LockReply(xid), 0);
    }
    EXPECT_EQ(b.Write(lb, "*CLS\n"), 0);
}

// With waitlock, device_lock waits up to lock_timeout: granted when the holder lets go in
// time, error 11 when the time runs out; the instrument serves other links meanwhile.
TEST(EmulatorVxi11, LockWaitsForItsTimeout) {
    const struct {
        const char* what;
        long flags;
        unsigned long timeoutMs;
        bool release;  // the holder unlocks while B waits
        long error;
        long long atLeastMs;
    } rows[] = {
        {"released during the wait", kWaitLock, 10000, true, 0, 0},
        {"the wait runs out", kWaitLock, 300, false, 11, 250},
        {"no waitlock flag", 0, 10000, false, 11, 0},
        {"waitlock with no time", kWaitLock, 0, false, 11, 0},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        Vxi11Emulator emulator;
        Vxi11Client a(emulator.address), b(emulator.address), c(emulator.address);
        Device_Link la = 0, lb = 0, lc = 0;
        ASSERT_EQ(a.CreateLink("inst0", &la), 0);
        ASSERT_EQ(b.CreateLink("inst0", &lb), 0);
        ASSERT_EQ(c.CreateLink("inst0", &lc), 0);
        ASSERT_EQ(a.Lock(la, 0, 0), 0);
        const Clock::time_point start = Clock::now();
        const uint32_t xid = b.SendLock(lb, row.flags, row.timeoutMs);
        // Another link is answered while B waits (it is kept out by the lock, at once).
        EXPECT_EQ(c.Write(lc, "*CLS\n"), 11);
        if (row.release) {
            EXPECT_EQ(a.Unlock(la), 0);
        }
        EXPECT_EQ(b.LockReply(xid, static_cast<int>(row.timeoutMs) + 3000), row.error);
        EXPECT_GE(MsSince(start), row.atLeastMs);
        EXPECT_LT(MsSince(start), static_cast<long long>(row.timeoutMs) + 2000);
    }
}

// Counts the instrument's device_intr_srq calls on an interrupt channel the test listens
// for, without answering them.
class IntrListener {
  public:
    IntrListener() : listener_(qmdc_test::ListenOnLoopback(&port_)) {}
    ~IntrListener() {
        if (channel_ >= 0) ::close(channel_);
        if (listener_ >= 0) ::close(listener_);
    }
    uint16_t port() const { return static_cast<uint16_t>(port_); }
    // The calls counted once `n` have come or the time is up.
    int WaitFor(int n, int timeoutMs) {
        const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
        while (count_ < n) {
            const long long left =
                std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now())
                    .count();
            if (left <= 0) break;
            pollfd p{channel_ >= 0 ? channel_ : listener_, POLLIN, 0};
            if (::poll(&p, 1, static_cast<int>(left)) <= 0) break;
            if (channel_ < 0) {
                channel_ = ::accept(listener_, nullptr, nullptr);
                continue;
            }
            uint8_t buffer[4096];
            const ssize_t got = ::recv(channel_, buffer, sizeof buffer, 0);
            if (got <= 0) {
                ::close(channel_);
                channel_ = -1;
                continue;
            }
            for (size_t at = 0; at < static_cast<size_t>(got);) {
                size_t used = 0;
                const auto state = reader_.feed(buffer + at, static_cast<size_t>(got) - at, &used);
                at += used;
                if (state != rpc::RecordReader::State::Complete) break;
                std::string reply;
                if (rpc::takeIntrCall(reader_.record(), "srq", &reply) ==
                    rpc::IntrCall::ServiceRequest)
                    ++count_;
                reader_.next();
            }
        }
        return count_;
    }

  private:
    int port_ = 0;
    int listener_;
    int channel_ = -1;
    int count_ = 0;
    rpc::RecordReader reader_;
};

// A service request on every rising edge of the summary bit, command by command within a
// message: "*CLS;*OPC" after an earlier request turns it off and on again.
TEST(EmulatorVxi11, ServiceRequestOnEveryRisingEdgeWithinAMessage) {
    for (const SrqRow& row : SrqRows()) {
        SCOPED_TRACE(row.what);
        Vxi11Emulator emulator;
        Vxi11Client client(emulator.address);
        Device_Link lid = 0;
        ASSERT_EQ(client.CreateLink("inst0", &lid), 0);
        IntrListener intr;
        ASSERT_EQ(client.CreateIntrChannel(htonl(INADDR_LOOPBACK), intr.port()), 0);
        ASSERT_EQ(client.EnableSrq(lid, "srq"), 0);
        for (const char* message : row.messages)
            ASSERT_EQ(client.Write(lid, std::string(message) + "\n"), 0) << message;
        EXPECT_EQ(intr.WaitFor(row.requests, 3000), row.requests);
        EXPECT_EQ(intr.WaitFor(row.requests + 1, 200), row.requests) << "no request more";
    }
}

// The interrupt channel goes only back to the client's own address (on loopback, any
// loopback address): never to another host a client names.
TEST(EmulatorVxi11, InterruptChannelOnlyToTheClient) {
    Vxi11Emulator emulator;
    const struct {
        const char* what;
        const char* address;
        long error;
    } rows[] = {
        {"another host", "192.0.2.77", 21},
        {"the broadcast address", "255.255.255.255", 21},
        {"any address", "0.0.0.0", 21},
        {"the client's loopback", "127.0.0.1", 0},
        {"another loopback address", "127.0.0.5", 0},
    };
    for (const auto& row : rows) {
        Vxi11Client client(emulator.address);
        in_addr_t address = 0;
        ::inet_pton(AF_INET, row.address, &address);
        EXPECT_EQ(client.CreateIntrChannel(address, 4000), row.error) << row.what;
    }
}

// The text a second server on the same port 111 gives: the real cause (the port is taken)
// and who holds the core program.
std::string StartFailing(const std::string& args, int* exitStatus) {
    const std::string command = std::string("'") + QMDC_EMULATOR_PATH + "' " + args + " 2>&1";
    FILE* pipe = ::popen(command.c_str(), "r");
    std::string output;
    char buffer[512];
    for (size_t n; pipe != nullptr && (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
        output.append(buffer, n);
    const int status = pipe != nullptr ? ::pclose(pipe) : -1;
    *exitStatus = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    return output;
}

TEST(EmulatorVxi11, PortmapperTakenByALiveServerIsNamed) {
    Vxi11Emulator first(EmulatorProcess::SystemPortmapperRunning()
                            ? std::vector<std::string>{}
                            : std::vector<std::string>{"--vxi11-host", "127.0.0.77"});
    Vxi11Client client(first.address);
    ASSERT_TRUE(client.connected());
    int status = 0;
    const std::string args =
        EmulatorProcess::SystemPortmapperRunning() ? "--vxi11" : "--vxi11-host 127.0.0.77";
    const std::string message = StartFailing(args, &status);
    EXPECT_EQ(status, 1) << message;
    EXPECT_NE(message.find("port 111: Address already in use"), std::string::npos) << message;
    EXPECT_NE(message.find("to port " + std::to_string(client.port) + ", where a server answers"),
              std::string::npos)
        << message;
}

}  // namespace
}  // namespace qmdc::emu::test
