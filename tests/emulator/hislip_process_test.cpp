// qmdc-emulator --hislip as a LAN instrument, through a client written from the protocol:
// the 16 sessions it takes, connections that never finish their initialisation, session ids
// nobody can guess, locks shared with VXI-11, service requests within a message, and a
// client that never reads.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "emulator_process.h"
#include "lan_client.h"

namespace qmdc::emu::test {
namespace {

using Clock = std::chrono::steady_clock;
using hislip::Type;
using qmdc::testing::EmulatorProcess;

const char* kIdn = "Orvane,Rack 30-70 QM,SN0001,1.2.3\n";

uint16_t PortOf(const std::string& resource) {
    return static_cast<uint16_t>(std::stoi(resource.substr(resource.find(',') + 1)));
}

struct HislipEmulator {
    explicit HislipEmulator(std::vector<std::string> args = {})
        : process(With(std::move(args))), port(PortOf(process.resources().front())) {}
    static std::vector<std::string> With(std::vector<std::string> args) {
        args.insert(args.begin(), "--hislip");
        return args;
    }
    EmulatorProcess process;
    uint16_t port;
};

// Whether the peer has closed fd (or reset it) within the time, reading what comes first.
bool ClosedWithin(int fd, int timeoutMs) {
    const Clock::time_point deadline = Clock::now() + std::chrono::milliseconds(timeoutMs);
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        pollfd p{fd, POLLIN, 0};
        if (left <= 0 || ::poll(&p, 1, static_cast<int>(left)) <= 0) return false;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
    }
}

// The 16 sessions the instrument takes: the 17th is refused as busy (FatalError 4), and a
// place freed by a session that closes is taken again.
TEST(EmulatorHislip, SeventeenthSessionIsRefusedAsBusy) {
    HislipEmulator emulator;
    std::vector<std::unique_ptr<HislipSession>> sessions;
    for (int i = 0; i < 16; ++i) {
        sessions.push_back(std::make_unique<HislipSession>(emulator.port));
        ASSERT_TRUE(sessions.back()->ok()) << "session " << i + 1;
    }
    const HislipInit refused = InitializeOnly(emulator.port);
    ASSERT_TRUE(refused.answer);
    EXPECT_EQ(refused.answer->type(), Type::FatalError);
    EXPECT_EQ(refused.answer->header.control, 4) << "too many clients";
    ::close(refused.fd);
    sessions.pop_back();
    // The place is free once the instrument has seen the close: a new session gets it.
    std::unique_ptr<HislipSession> next;
    for (int attempt = 0; attempt < 100 && !(next && next->ok()); ++attempt)
        next = std::make_unique<HislipSession>(emulator.port);
    EXPECT_TRUE(next && next->ok());
    EXPECT_EQ(next->Query("*IDN?"), kIdn);
}

// Connections that never become whole sessions (Initialize and no asynchronous channel, or
// nothing at all) are closed after --hislip-init-timeout-ms: 16 of them no longer keep
// every client out for good.
TEST(EmulatorHislip, ConnectionsThatNeverInitialiseTimeOut) {
    HislipEmulator emulator({"--hislip-init-timeout-ms", "300"});
    std::vector<int> idle;
    for (int i = 0; i < 16; ++i) {
        const HislipInit half = InitializeOnly(emulator.port);
        ASSERT_TRUE(half.answer);
        ASSERT_EQ(half.answer->type(), Type::InitializeResponse);
        idle.push_back(half.fd);
    }
    const int silent = ConnectTo(htonl(INADDR_LOOPBACK), emulator.port);
    const HislipInit busy = InitializeOnly(emulator.port);
    ASSERT_TRUE(busy.answer);
    EXPECT_EQ(busy.answer->type(), Type::FatalError) << "all 16 places are taken";
    ::close(busy.fd);
    for (const int fd : idle) EXPECT_TRUE(ClosedWithin(fd, 3000));
    EXPECT_TRUE(ClosedWithin(silent, 3000)) << "a connection that says nothing";
    HislipSession session(emulator.port);
    ASSERT_TRUE(session.ok());
    EXPECT_EQ(session.Query("*IDN?"), kIdn);
    for (const int fd : idle) ::close(fd);
    ::close(silent);
}

// Session ids are drawn at random: the next one cannot be told from the last, so another
// connection cannot take a session's asynchronous channel by guessing.
TEST(EmulatorHislip, SessionIdsAreNotSequential) {
    HislipEmulator emulator;
    std::vector<std::unique_ptr<HislipSession>> sessions;
    std::vector<int> steps;
    for (int i = 0; i < 8; ++i) {
        sessions.push_back(std::make_unique<HislipSession>(emulator.port));
        ASSERT_TRUE(sessions.back()->ok());
        if (i > 0) steps.push_back(sessions[i]->id() - sessions[i - 1]->id());
    }
    EXPECT_FALSE(
        std::all_of(steps.begin(), steps.end(), [&](int step) { return step == steps[0]; }))
        << "ids in steps of " << steps[0];
    // An asynchronous channel naming an id nobody has is refused.
    uint16_t unused = 1;
    while (std::any_of(sessions.begin(), sessions.end(),
                       [&](const auto& s) { return s->id() == unused; }))
        ++unused;
    const int fd = ConnectTo(htonl(INADDR_LOOPBACK), emulator.port);
    const std::string asyncInit = hislip::message(Type::AsyncInitialize, 0, unused);
    ASSERT_EQ(::send(fd, asyncInit.data(), asyncInit.size(), MSG_NOSIGNAL),
              static_cast<ssize_t>(asyncInit.size()));
    EXPECT_TRUE(ClosedWithin(fd, 3000));
    ::close(fd);
}

// A client that holds no lock waits while another holds a shared one (it has not the key),
// and is answered once that is released; a VXI-11 link is kept out by HiSLIP locks, and a
// HiSLIP session by a VXI-11 lock: one lock for the instrument.
TEST(EmulatorHislip, LocksKeepOtherClientsOutOnEveryTransport) {
    EmulatorProcess emulator({"--hislip", "--vxi11"});
    const uint16_t port = PortOf(emulator.resources()[0]);
    HislipSession holder(port), other(port);
    ASSERT_TRUE(holder.ok() && other.ok());
    Vxi11Client vxi11(AddressOf(emulator.resources()[1]));
    Device_Link lid = 0;
    ASSERT_EQ(vxi11.CreateLink("inst0", &lid), 0);
    const auto lock = [&](HislipSession& session, const std::string& key, uint32_t timeoutMs) {
        session.SendAsync(Type::AsyncLock, 1, timeoutMs, key);
        const auto answer = session.ReadAsync(timeoutMs + 3000);
        return answer && answer->type() == Type::AsyncLockResponse ? answer->header.control : -1;
    };
    const auto release = [&](HislipSession& session) {
        session.SendAsync(Type::AsyncLock, 0, 0);
        const auto answer = session.ReadAsync();
        return answer ? answer->header.control : -1;
    };
    const struct {
        const char* lock;  // the holder's lock string ("" exclusive)
    } rows[] = {{"shared-key"}, {""}};
    for (const auto& row : rows) {
        SCOPED_TRACE(*row.lock == '\0' ? "exclusive" : "shared");
        ASSERT_EQ(lock(holder, row.lock, 0), 1);
        // The keyless query waits; the holder is answered meanwhile.
        ASSERT_TRUE(other.SendSync(Type::DataEnd, 0, hislip::kFirstMessageId, "*IDN?\n"));
        EXPECT_FALSE(other.ReadSync(300)) << "held back while the lock is held";
        EXPECT_EQ(holder.Query("*OPC?"), "1\n");
        EXPECT_EQ(vxi11.Write(lid, "*CLS\n"), 11) << "VXI-11 is kept out too";
        EXPECT_EQ(vxi11.Lock(lid, 0, 0), 11);
        EXPECT_EQ(release(holder), *row.lock == '\0' ? 1 : 2);
        const auto answer = other.ReadSync();
        ASSERT_TRUE(answer);
        EXPECT_EQ(answer->payload, kIdn);
    }
    // The other way round: a VXI-11 lock keeps HiSLIP sessions out.
    ASSERT_EQ(vxi11.Lock(lid, 0, 0), 0);
    EXPECT_EQ(lock(holder, "", 0), 0) << "the lock request fails";
    ASSERT_TRUE(other.SendSync(Type::DataEnd, 0, hislip::kFirstMessageId, "*IDN?\n"));
    EXPECT_FALSE(other.ReadSync(300));
    const Clock::time_point start = Clock::now();
    holder.SendAsync(Type::AsyncLock, 1, 5000, "");  // waits for the VXI-11 lock
    EXPECT_EQ(vxi11.Unlock(lid), 0);
    const auto granted = holder.ReadAsync(5000);
    ASSERT_TRUE(granted);
    EXPECT_EQ(granted->header.control, 1) << "granted once the VXI-11 link let go";
    EXPECT_LT(std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - start).count(),
              4000);
    EXPECT_EQ(release(holder), 1);
    const auto answer = other.ReadSync();
    ASSERT_TRUE(answer);
    EXPECT_EQ(answer->payload, kIdn);
}

// A service request on every rising edge of the summary bit, command by command within a
// message ("*CLS;*OPC" after an earlier request makes one more).
TEST(EmulatorHislip, ServiceRequestOnEveryRisingEdgeWithinAMessage) {
    for (const SrqRow& row : SrqRows()) {
        SCOPED_TRACE(row.what);
        HislipEmulator emulator;
        HislipSession session(emulator.port);
        ASSERT_TRUE(session.ok());
        for (const char* message : row.messages)
            EXPECT_EQ(session.Query(std::string(message) + ";*OPC?"), "1\n") << message;
        // The status query's answer comes after every request sent before it.
        ASSERT_TRUE(session.SendAsync(Type::AsyncStatusQuery, 0, 0));
        int requests = 0;
        for (;;) {
            const auto message = session.ReadAsync();
            ASSERT_TRUE(message);
            if (message->type() == Type::AsyncStatusResponse) break;
            requests += message->type() == Type::AsyncServiceRequest;
        }
        EXPECT_EQ(requests, row.requests);
    }
}

// A client that sends queries and never reads their answers: its queue fills, it is
// dropped, and meanwhile every other client is answered without waiting on it. Prints the
// slowest answer the other client got while the flood went on.
TEST(EmulatorHislip, ClientThatNeverReadsIsDroppedAndHoldsNobodyUp) {
    EmulatorProcess emulator({"--hislip", "--vxi11", "--oversize", "MEAS:VOLT?"});
    const uint16_t port = PortOf(emulator.resources()[0]);
    const struct { const char* flooder; } rows[] = {{"HiSLIP"}, {"VXI-11"}};
    for (const auto& row : rows) {
        SCOPED_TRACE(row.flooder);
        const bool hislipFlood = std::string(row.flooder) == "HiSLIP";
        HislipSession reader(port);
        ASSERT_TRUE(reader.ok());
        std::unique_ptr<HislipSession> hislipFlooder;
        std::unique_ptr<Vxi11Client> vxi11Flooder;
        Device_Link lid = 0;
        int fd = -1;
        std::string burst;
        if (hislipFlood) {
            hislipFlooder = std::make_unique<HislipSession>(port);
            ASSERT_TRUE(hislipFlooder->ok());
            fd = hislipFlooder->syncFd();
            for (int i = 0; i < 8; ++i)
                burst += hislip::message(Type::DataEnd, 0, 0, "MEAS:VOLT?\n");
        } else {
            vxi11Flooder = std::make_unique<Vxi11Client>(AddressOf(emulator.resources()[1]));
            ASSERT_EQ(vxi11Flooder->CreateLink("inst0", &lid), 0);
            fd = vxi11Flooder->core.fd();
            // NULL calls: each answered with a reply nobody reads.
            std::string call;
            rpc::encodeCall(rpc::CallHeader{1, DEVICE_CORE, DEVICE_CORE_VERSION, 0},
                            rpc::xdrProc(xdr_void), nullptr, &call);
            for (int i = 0; i < 2000; ++i) burst += call;
        }
        long long slowestMs = 0;
        bool dropped = false;
        const Clock::time_point start = Clock::now();
        while (!dropped && Clock::now() - start < std::chrono::seconds(30)) {
            const ssize_t sent =
                ::send(fd, burst.data(), burst.size(), MSG_NOSIGNAL | MSG_DONTWAIT);
            dropped = sent < 0 && errno != EAGAIN && errno != EWOULDBLOCK;
            const Clock::time_point asked = Clock::now();
            EXPECT_EQ(reader.Query("*IDN?", 5000), kIdn);
            slowestMs = std::max<long long>(
                slowestMs,
                std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - asked)
                    .count());
            pollfd p{fd, 0, 0};
            dropped = dropped || (::poll(&p, 1, 0) == 1 && (p.revents & (POLLHUP | POLLERR)) != 0);
        }
        EXPECT_TRUE(dropped) << "the client that never reads is dropped";
        EXPECT_LT(slowestMs, 2000);
        std::printf("[ measured ] %s flood: slowest answer to another client %lld ms\n",
                    row.flooder, slowestMs);
    }
}

}  // namespace
}  // namespace qmdc::emu::test
