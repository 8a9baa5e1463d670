// HiSLIP: the message codec on its own; our client against the emulator's
// server, through viOpen and, for the operations that have no VISA call
// here, through the transport itself; and against a scripted server that
// breaks the protocol.
#include <gtest/gtest.h>

#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstring>
#include <functional>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "emulator_process.h"
#include "hislip_codec.h"
#include "hislip_transport.h"
#include "loopback_listener.h"
#include "rsrc_name.h"
#include "test_support.h"

namespace {

using namespace visatest;
using Clock = std::chrono::steady_clock;
using qmdc::hislip::Decoder;
using qmdc::hislip::Message;
using qmdc::hislip::Type;
namespace hislip = qmdc::hislip;

std::string header(const char prologue[2], uint8_t type, uint8_t control, uint32_t parameter,
                   uint64_t length) {
    std::string bytes = hislip::message(static_cast<Type>(type), control, parameter);
    bytes[0] = prologue[0];
    bytes[1] = prologue[1];
    for (int i = 0; i < 8; ++i) bytes[15 - i] = static_cast<char>(length >> (8 * i));
    return bytes;
}

TEST(HislipCodec, FramesAndParsesByteStreams) {
    const std::string data = hislip::message(Type::DataEnd, 1, 0xFFFFFF02u, "*IDN?\n");
    ASSERT_EQ(data.size(), hislip::kHeaderSize + 6);
    EXPECT_EQ(data.substr(0, 8), std::string("HS\x07\x01\xFF\xFF\xFF\x02", 8));
    EXPECT_EQ(data.substr(8, 8), std::string("\0\0\0\0\0\0\0\x06", 8));

    struct Case {
        const char* what;
        std::string stream;
        size_t feedStep;        // bytes per feed; 0: all at once
        size_t messages;        // whole messages decoded
        Decoder::Result after;  // what the decoder says after them
    };
    using R = Decoder::Result;
    const Case cases[] = {
        {"one message", data, 0, 1, R::NeedMore},
        {"byte by byte", data, 1, 1, R::NeedMore},
        {"two back to back", data + hislip::message(Type::Data, 0, 7, std::string(3000, 'x')), 0, 2,
         R::NeedMore},
        {"empty payload", hislip::message(Type::AsyncStatusQuery, 0, 0), 0, 1, R::NeedMore},
        {"header cut short", data.substr(0, 10), 0, 0, R::NeedMore},
        {"payload cut short", data.substr(0, 20), 0, 0, R::NeedMore},
        {"wrong prologue", header("XS", 6, 0, 0, 0), 0, 0, R::BadPrologue},
        {"wrong prologue after a message", data + header("HX", 7, 0, 0, 0), 3, 1, R::BadPrologue},
        {"absurd length", header("HS", 7, 0, 0, 0x7FFFFFFFFFFFFFFFull), 0, 0, R::TooLong},
        {"one byte over the limit", header("HS", 7, 0, 0, 4097) + std::string(4097, 'a'), 0, 0,
         R::TooLong},
        {"at the limit", header("HS", 7, 0, 0, 4096) + std::string(4096, 'a'), 0, 1, R::NeedMore},
    };
    for (const Case& c : cases) {
        Decoder decoder(4096);
        const size_t step = c.feedStep == 0 ? c.stream.size() : c.feedStep;
        size_t whole = 0;
        R result = R::NeedMore;
        Message m;
        for (size_t at = 0; at < c.stream.size() && result == R::NeedMore; at += step) {
            decoder.feed(c.stream.data() + at, std::min(step, c.stream.size() - at));
            while ((result = decoder.next(&m)) == R::Message) {
                ++whole;
                if (whole == 1 && c.stream.compare(0, data.size(), data) == 0) {
                    EXPECT_EQ(m.type(), Type::DataEnd) << c.what;
                    EXPECT_EQ(m.header.control, 1) << c.what;
                    EXPECT_EQ(m.header.parameter, 0xFFFFFF02u) << c.what;
                    EXPECT_EQ(m.payload, "*IDN?\n") << c.what;
                }
            }
        }
        EXPECT_EQ(whole, c.messages) << c.what;
        EXPECT_EQ(result, c.after) << c.what;
        // A broken stream stays broken, and nothing of a refused payload was kept.
        if (result != R::NeedMore) {
            decoder.feed(data.data(), data.size());
            EXPECT_EQ(decoder.next(&m), result) << c.what;
            EXPECT_LE(decoder.buffered(), c.stream.size()) << c.what;
        }
    }
    uint64_t size = 0;
    EXPECT_TRUE(hislip::decodeSize(hislip::encodeSize(0x0102030405060708ull), &size));
    EXPECT_EQ(size, 0x0102030405060708ull);
    EXPECT_FALSE(hislip::decodeSize("1234567", &size));
    EXPECT_EQ(hislip::typeName(25), "AsyncLockInfoResponse");
    EXPECT_EQ(hislip::typeName(200), "type 200");
}

// --- Against the emulator, through viOpen --------------------------------

class Visa {
  public:
    explicit Visa(const std::string& resource, ViUInt32 timeoutMs = 2000) {
        status_ = rm_.open(resource, &vi_);
        if (status_ == VI_SUCCESS) {
            viSetAttribute(vi_, VI_ATTR_TERMCHAR_EN, VI_TRUE);
            viSetAttribute(vi_, VI_ATTR_TMO_VALUE, timeoutMs);
        }
    }
    ViSession vi() const { return vi_; }
    ViStatus status() const { return status_; }
    // One query; the answer without its linefeed, the status in *status.
    std::string query(const char* command, ViStatus* status) {
        char answer[512] = "";
        *status = viQueryf(vi_, command, "%511[^\n]%*t", answer);
        return answer;
    }

  private:
    ResourceManager rm_;
    ViSession vi_ = VI_NULL;
    ViStatus status_;
};

std::string hislipResource(const qmdc::testing::EmulatorProcess& emulator) {
    return emulator.resources().back();
}

TEST(VisaHislip, EmulatorAnswersAndAttributesReadBack) {
    qmdc::testing::EmulatorProcess emulator({"--tcp", "--hislip", "--model", "Bench 50-20 QM"});
    ASSERT_EQ(emulator.resources().size(), 2u);
    const std::string resource = hislipResource(emulator);
    ASSERT_EQ(resource.rfind("TCPIP0::127.0.0.1::hislip0,", 0), 0u) << resource;
    Visa visa(resource);
    ASSERT_EQ(visa.status(), VI_SUCCESS);
    ViStatus status;
    EXPECT_EQ(visa.query("*IDN?\n", &status), "Orvane,Bench 50-20 QM,SN0001,1.2.3");
    EXPECT_EQ(status, VI_SUCCESS);
    // Both ports serve one instrument.
    Visa socket(emulator.resources().front());
    ASSERT_EQ(visa.query("VOLT 7.5\n*OPC?\n", &status), "1");
    EXPECT_EQ(socket.query("VOLT?\n", &status), "7.5");

    struct Row {
        ViAttr attr;
        ViUInt32 number;
        const char* text;  // for string attributes
        size_t size;       // bytes viGetAttribute writes
    };
    const std::string port = resource.substr(resource.find(',') + 1);
    const Row rows[] = {
        {VI_ATTR_INTF_TYPE, VI_INTF_TCPIP, nullptr, 2},
        {VI_ATTR_RSRC_CLASS, 0, "INSTR", 0},
        {VI_ATTR_RSRC_NAME, 0, resource.c_str(), 0},
        {VI_ATTR_TCPIP_ADDR, 0, "127.0.0.1", 0},
        {VI_ATTR_TCPIP_HOSTNAME, 0, "127.0.0.1", 0},
        {VI_ATTR_TCPIP_DEVICE_NAME, 0, "hislip0", 0},
        {VI_ATTR_TCPIP_PORT, static_cast<ViUInt32>(std::stoul(port)), nullptr, 2},
        {VI_ATTR_TCPIP_IS_HISLIP, VI_TRUE, nullptr, 2},
        {VI_ATTR_TCPIP_HISLIP_VERSION, 0x00100000, nullptr, 4},
        {VI_ATTR_TCPIP_HISLIP_OVERLAP_EN, VI_FALSE, nullptr, 2},
        {VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB, 1024, nullptr, 4},
        {VI_ATTR_TCPIP_NODELAY, VI_TRUE, nullptr, 2},
    };
    for (const Row& row : rows) {
        unsigned char value[256];
        std::memset(value, 0xA5, sizeof value);
        ASSERT_EQ(viGetAttribute(visa.vi(), row.attr, value), VI_SUCCESS) << std::hex << row.attr;
        if (row.text != nullptr) {
            EXPECT_STREQ(reinterpret_cast<char*>(value), row.text);
            continue;
        }
        ViUInt32 number = 0;
        std::memcpy(&number, value, row.size);
        if (row.size == 2) number &= 0xFFFF;
        EXPECT_EQ(number, row.number) << std::hex << row.attr;
        EXPECT_EQ(value[row.size], 0xA5) << std::hex << row.attr;
    }
    char scratch[256];
    EXPECT_EQ(viGetAttribute(visa.vi(), VI_ATTR_SUPPRESS_END_EN, scratch), VI_ERROR_NSUP_ATTR);
    EXPECT_EQ(viSetAttribute(visa.vi(), VI_ATTR_TCPIP_HISLIP_OVERLAP_EN, VI_TRUE),
              VI_ERROR_NSUP_ATTR_STATE);
    EXPECT_EQ(viSetAttribute(visa.vi(), VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB, 0),
              VI_ERROR_NSUP_ATTR_STATE);
    // A smaller maximum is announced to the server, which then cuts its answers to fit.
    ASSERT_EQ(viSetAttribute(visa.vi(), VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB, 1), VI_SUCCESS);
    EXPECT_EQ(visa.query("*IDN?\n", &status), "Orvane,Bench 50-20 QM,SN0001,1.2.3");
    EXPECT_EQ(viGetAttribute(socket.vi(), VI_ATTR_TCPIP_DEVICE_NAME, scratch), VI_ERROR_NSUP_ATTR);
}

// The emulator's faults, as the socket tests have them: each row starts an emulator and runs
// two queries; the second must get its own answer whatever became of the first.
TEST(VisaHislip, FaultsOfTheServer) {
    struct Row {
        const char* what;
        std::vector<std::string> args;
        ViUInt32 timeoutMs;
        ViStatus first;
        const char* firstAnswer;  // nullptr: not checked
        ViStatus second;
        long long atMostMs;  // for both queries together
    };
    const Row rows[] = {
        {"no answer", {"--no-reply", "*IDN?"}, 200, VI_ERROR_TMO, nullptr, VI_SUCCESS, 1500},
        {"late answer", {"--delay-ms", "300"}, 150, VI_ERROR_TMO, nullptr, VI_SUCCESS, 2000},
        {"answer in pieces",
         {"--split", "4"},
         2000,
         VI_SUCCESS,
         "Orvane,Rack 30-70 QM,SN0001,1.2.3",
         VI_SUCCESS,
         2000},
        {"garbage",
         {"--garbage", "*IDN?"},
         2000,
         VI_SUCCESS,
         "\x15\xff#?%garbage\x01\x80\x7f",
         VI_SUCCESS,
         1000},
        {"dropped", {"--drop-after", "1"}, 2000, VI_SUCCESS, nullptr, VI_ERROR_CONN_LOST, 1000},
    };
    for (const Row& row : rows) {
        std::vector<std::string> args = row.args;
        args.push_back("--hislip");
        qmdc::testing::EmulatorProcess emulator(args);
        Visa visa(emulator.resource(), row.timeoutMs);
        ASSERT_EQ(visa.status(), VI_SUCCESS) << row.what;
        ViStatus status;
        const auto start = Clock::now();
        const std::string first = visa.query("*IDN?\n", &status);
        EXPECT_EQ(status, row.first) << row.what;
        if (row.firstAnswer != nullptr) {
            EXPECT_EQ(first, row.firstAnswer) << row.what;
        }
        viSetAttribute(visa.vi(), VI_ATTR_TMO_VALUE, 2000);
        const std::string second = visa.query("*OPC?\n", &status);
        EXPECT_EQ(status, row.second) << row.what;
        if (row.second == VI_SUCCESS) {
            EXPECT_EQ(second, "1") << row.what;
        }
        EXPECT_LT(elapsedMs(start), row.atMostMs) << row.what;
    }
}

TEST(VisaHislip, LongAnswersClearAndClose) {
    qmdc::testing::EmulatorProcess emulator({"--hislip", "--oversize", "MEAS:VOLT?"});
    Visa visa(emulator.resource());
    ASSERT_EQ(visa.status(), VI_SUCCESS);
    // 100000 digits and a linefeed, read in pieces: only the last ends the message.
    ViUInt32 n = 0;
    ASSERT_EQ(viWrite(visa.vi(), reinterpret_cast<ViConstBuf>("MEAS:VOLT?\n"), 11, &n), VI_SUCCESS);
    std::string answer;
    ViStatus status = VI_SUCCESS_MAX_CNT;
    viSetAttribute(visa.vi(), VI_ATTR_TERMCHAR_EN, VI_FALSE);  // END alone ends it
    while (status == VI_SUCCESS_MAX_CNT) {
        char piece[30000];
        status = viRead(visa.vi(), reinterpret_cast<ViPBuf>(piece), sizeof piece, &n);
        answer.append(piece, n);
    }
    EXPECT_EQ(status, VI_SUCCESS);
    ASSERT_EQ(answer.size(), 100001u);
    EXPECT_EQ(answer.substr(99990), "0123456789\n");

    // The device clear drops an answer left unread and the start of a message the
    // instrument had not seen the end of; the next query gets its own answer.
    ASSERT_EQ(viWrite(visa.vi(), reinterpret_cast<ViConstBuf>("*IDN?\n"), 6, &n), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(visa.vi(), VI_ATTR_SEND_END_EN, VI_FALSE), VI_SUCCESS);
    ASSERT_EQ(viWrite(visa.vi(), reinterpret_cast<ViConstBuf>("VOLT 3"), 6, &n), VI_SUCCESS);
    ASSERT_EQ(viSetAttribute(visa.vi(), VI_ATTR_SEND_END_EN, VI_TRUE), VI_SUCCESS);
    std::this_thread::sleep_for(Ms(50));
    EXPECT_EQ(viClear(visa.vi()), VI_SUCCESS);
    char text[64] = "";
    EXPECT_EQ(viQueryf(visa.vi(), "*OPC?\n", "%63t", text), VI_SUCCESS);
    EXPECT_STREQ(text, "1\n");
    EXPECT_EQ(viQueryf(visa.vi(), "VOLT?\n", "%63t", text), VI_SUCCESS);
    EXPECT_STRNE(text, "3\n");

    // viClose from another thread ends a read that would wait for ever.
    viSetAttribute(visa.vi(), VI_ATTR_TMO_VALUE, VI_TMO_INFINITE);
    std::atomic<ViStatus> blocked{VI_SUCCESS};
    std::thread reader([&] {
        char buf[16];
        ViUInt32 got = 0;
        blocked = viRead(visa.vi(), reinterpret_cast<ViPBuf>(buf), sizeof buf, &got);
    });
    std::this_thread::sleep_for(Ms(100));
    const auto start = Clock::now();
    EXPECT_EQ(viClose(visa.vi()), VI_SUCCESS);
    reader.join();
    EXPECT_LT(elapsedMs(start), 1000);
    EXPECT_EQ(blocked.load(), VI_ERROR_ABORT);
}

TEST(VisaHislip, RefusedConnectionIsNotFound) {
    int port = 0;
    const int bound = qmdc_test::BindLoopback(&port);  // bound, never listening
    ResourceManager rm;
    ViSession vi = VI_NULL;
    const auto start = Clock::now();
    EXPECT_EQ(rm.open("TCPIP0::127.0.0.1::hislip0," + std::to_string(port) + "::INSTR", &vi),
              VI_ERROR_RSRC_NFOUND);
    EXPECT_LT(elapsedMs(start), 500);
    ::close(bound);
}

// --- The protocol operations, on the transport ----------------------------

using qmdc::visa::Deadline;
using qmdc::visa::HislipTransport;
using qmdc::visa::Transport;

std::unique_ptr<Transport> openTransport(const std::string& resource) {
    qmdc::visa::ResourceName name;
    if (qmdc::visa::parseResourceName(resource.c_str(), &name) != VI_SUCCESS) return nullptr;
    ViStatus status;
    return qmdc::visa::openHislip(name, 2000, &status);
}

ViStatus send(Transport& t, const std::string& text) {
    size_t sent = 0;
    return t.writeMessage(reinterpret_cast<const ViByte*>(text.data()), text.size(), true,
                          Deadline::after(1000), &sent);
}

// One whole message, or what came before the status that ended the wait; with `pause`, a
// slow reader, which a server that keeps sending is always ahead of.
std::string receive(Transport& t, ViUInt32 timeoutMs, ViStatus* status, Ms pause = Ms(0)) {
    std::string text;
    const Deadline deadline = Deadline::after(timeoutMs);
    for (bool end = false; !end; std::this_thread::sleep_for(pause)) {
        ViByte buf[256];
        size_t got = 0;
        *status = t.readMessage(buf, sizeof buf, deadline, &got, &end);
        if (*status != VI_SUCCESS) break;
        text.append(reinterpret_cast<char*>(buf), got);
    }
    return text;
}

TEST(VisaHislip, StatusByteTriggerRemoteLocal) {
    qmdc::testing::EmulatorProcess emulator({"--hislip"});
    auto t = openTransport(emulator.resource());
    ASSERT_TRUE(t);
    ViUInt16 stb = 0xFFFF;
    ASSERT_EQ(t->readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS);
    EXPECT_EQ(stb, 0);
    // Operation complete with its event enabled sets the summary bit (32).
    ASSERT_EQ(send(*t, "*ESE 1;*OPC\n"), VI_SUCCESS);
    ASSERT_EQ(t->readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS);
    EXPECT_EQ(stb, 32);
    EXPECT_EQ(t->assertTrigger(Deadline::after(1000)), VI_SUCCESS);
    // The answer after a trigger carries the id of the message it answers.
    ViStatus status;
    ASSERT_EQ(send(*t, "*ESR?\n"), VI_SUCCESS);
    EXPECT_EQ(receive(*t, 1000, &status), "1\n");
    EXPECT_EQ(status, VI_SUCCESS);
    for (ViUInt16 mode = 0; mode <= 6; ++mode)
        EXPECT_EQ(t->remoteLocal(mode, Deadline::after(1000)), VI_SUCCESS) << mode;
    EXPECT_EQ(t->remoteLocal(7, Deadline::after(1000)), VI_ERROR_INV_MODE);
    EXPECT_EQ(t->deviceClear(Deadline::after(1000)), VI_SUCCESS);
    ASSERT_EQ(send(*t, "*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(receive(*t, 1000, &status), "1\n");
}

TEST(VisaHislip, LocksKeepOtherSessionsWaiting) {
    qmdc::testing::EmulatorProcess emulator({"--hislip"});
    auto a = openTransport(emulator.resource());
    auto b = openTransport(emulator.resource());
    auto c = openTransport(emulator.resource());
    ASSERT_TRUE(a && b && c);
    ViStatus status;
    EXPECT_EQ(a->unlockDevice(), VI_ERROR_SESN_NLOCKED);
    ASSERT_EQ(a->lockDevice(VI_EXCLUSIVE_LOCK, nullptr, 0), VI_SUCCESS);
    EXPECT_EQ(b->lockDevice(VI_EXCLUSIVE_LOCK, nullptr, 0), VI_ERROR_TMO);
    auto start = Clock::now();
    EXPECT_EQ(b->lockDevice(VI_SHARED_LOCK, "key", 200), VI_ERROR_TMO);
    EXPECT_GE(elapsedMs(start), 190);
    // B's question waits while A holds the lock, and is answered once A lets go.
    ASSERT_EQ(send(*b, "*IDN?\n"), VI_SUCCESS);
    EXPECT_EQ(receive(*b, 300, &status), "");
    EXPECT_EQ(status, VI_ERROR_TMO);
    ASSERT_EQ(send(*a, "*OPC?\n"), VI_SUCCESS);
    EXPECT_EQ(receive(*a, 1000, &status), "1\n");
    EXPECT_EQ(a->unlockDevice(), VI_SUCCESS);
    EXPECT_EQ(receive(*b, 1000, &status), "Orvane,Rack 30-70 QM,SN0001,1.2.3\n");
    EXPECT_EQ(status, VI_SUCCESS);

    // Shared locks with one key go together and keep an exclusive one out; a waiting
    // request is granted when the last holder lets go.
    ASSERT_EQ(a->lockDevice(VI_SHARED_LOCK, "bench", 0), VI_SUCCESS);
    ASSERT_EQ(b->lockDevice(VI_SHARED_LOCK, "bench", 0), VI_SUCCESS);
    EXPECT_EQ(c->lockDevice(VI_SHARED_LOCK, "other", 0), VI_ERROR_TMO);
    std::thread releaser([&] {
        std::this_thread::sleep_for(Ms(100));
        a->unlockDevice();
        b->unlockDevice();
    });
    start = Clock::now();
    EXPECT_EQ(c->lockDevice(VI_EXCLUSIVE_LOCK, nullptr, 3000), VI_SUCCESS);
    releaser.join();
    EXPECT_LT(elapsedMs(start), 2000);
    EXPECT_EQ(c->unlockDevice(), VI_SUCCESS);
}

// --- Against a server that breaks the protocol ----------------------------

// Answers the opening handshake (or, with `initAnswer`, only that instead), then answers
// every DataEnd with `dataAnswer`, raw bytes. With `overlap` it prefers overlapped mode and
// acknowledges the device clear that asks for another.
class BrokenServer {
  public:
    BrokenServer(std::string initAnswer, std::string dataAnswer, bool overlap = false)
        : initAnswer_(std::move(initAnswer)),
          dataAnswer_(std::move(dataAnswer)),
          overlap_(overlap) {
        listener_ = qmdc_test::ListenOnLoopback(&port_);
        thread_ = std::thread([this] { run(); });
    }
    ~BrokenServer() {
        hangUp();
        ::close(listener_);
    }
    // Closes both channels, as a server that has gone away.
    void hangUp() {
        if (!stop_.exchange(true)) thread_.join();
    }
    std::string resource() const {
        return "TCPIP0::127.0.0.1::hislip0," + std::to_string(port_) + "::INSTR";
    }
    bool sawFatalError() const { return sawFatal_; }
    // The feature setting of the client's DeviceClearComplete; -1 before one came.
    int clearSetting() const { return clearSetting_; }
    // What the server sends on the asynchronous channel for each request of this type.
    void answerAsync(Type request, std::string bytes) {
        std::lock_guard<std::mutex> lock(asyncMutex_);
        asyncAnswers_[request] = std::move(bytes);
    }
    // Sent unasked on the asynchronous channel, soon.
    void pushAsync(std::string bytes) {
        std::lock_guard<std::mutex> lock(asyncMutex_);
        pushed_.push_back(std::move(bytes));
    }
    // The n-th request of this type on the asynchronous channel gets the n-th of `answers`
    // (the last one for every request after).
    void answerAsyncInTurn(Type request, std::vector<std::string> answers) {
        std::lock_guard<std::mutex> lock(asyncMutex_);
        inTurn_[request] = std::move(answers);
    }
    // After a message of this type, `bytes` over and over on the channel it came on, without
    // a pause, for a while (so that a client that does not bound its calls still ends).
    void flood(Type trigger, std::string bytes) {
        std::lock_guard<std::mutex> lock(asyncMutex_);
        floodTrigger_ = trigger;
        for (floodBytes_.clear(); floodBytes_.size() < 65536;) floodBytes_ += bytes;
    }
    // What came on the synchronous channel: Data and DataEnd messages, and their bytes.
    struct Received {
        int data = 0, dataEnds = 0;
        size_t bytes = 0;
    };
    Received received() {
        std::lock_guard<std::mutex> lock(asyncMutex_);
        return received_;
    }

  private:
    int accept() {
        pollfd p{listener_, POLLIN, 0};
        for (int i = 0; i < 100 && !stop_; ++i)
            if (::poll(&p, 1, 50) > 0) return ::accept(listener_, nullptr, nullptr);
        return -1;
    }
    // The next message, false when the peer has gone (or the test is over).
    bool next(int fd, Decoder& in, Message* m) {
        while (in.next(m) != Decoder::Result::Message) {
            pollfd p{fd, POLLIN, 0};
            if (stop_) return false;
            if (::poll(&p, 1, 50) <= 0) continue;
            char buf[4096];
            const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
            if (n <= 0) return false;
            in.feed(buf, static_cast<size_t>(n));
        }
        if (m->type() == Type::FatalError) sawFatal_ = true;
        return true;
    }
    static void put(int fd, const std::string& bytes) {
        [[maybe_unused]] const ssize_t n = ::send(fd, bytes.data(), bytes.size(), MSG_NOSIGNAL);
    }
    void run() {
        const int sync = accept();
        if (sync < 0) return;
        Decoder syncIn(1 << 20), asyncIn(1 << 20);
        Message m;
        int async = -1;
        if (next(sync, syncIn, &m)) {
            if (!initAnswer_.empty()) {
                put(sync, initAnswer_);
            } else {
                put(sync, hislip::message(Type::InitializeResponse, overlap_, 0x01000007));
                async = accept();
                if (async >= 0 && next(async, asyncIn, &m))
                    put(async, hislip::message(Type::AsyncInitializeResponse, 0, 0));
                if (async >= 0 && next(async, asyncIn, &m))
                    put(async, hislip::message(Type::AsyncMaximumMessageSizeResponse, 0, 0,
                                               hislip::encodeSize(4096)));
                if (overlap_ && next(async, asyncIn, &m) && m.type() == Type::AsyncDeviceClear)
                    put(async, hislip::message(Type::AsyncDeviceClearAcknowledge, 1, 0));
            }
        }
        serve(sync, syncIn, async, asyncIn);
        ::close(sync);
        if (async >= 0) ::close(async);
    }
    // Both channels until the client or the test goes: DataEnd and DeviceClearComplete on
    // the synchronous one, the scripted answers and the pushed messages on the other.
    void serve(int sync, Decoder& syncIn, int async, Decoder& asyncIn) {
        Message m;
        int floodFd = -1;
        size_t floodAt = 0;
        Clock::time_point floodEnd{};
        const auto startFlood = [&](int fd, Type type) {
            std::lock_guard<std::mutex> lock(asyncMutex_);
            if (floodBytes_.empty() || type != floodTrigger_) return;
            floodFd = fd;
            floodAt = 0;
            floodEnd = Clock::now() + Ms(6000);
        };
        while (!stop_) {
            if (async >= 0) {
                std::lock_guard<std::mutex> lock(asyncMutex_);
                for (const std::string& bytes : pushed_) put(async, bytes);
                pushed_.clear();
            }
            if (floodFd >= 0 && Clock::now() > floodEnd) floodFd = -1;
            const short out = POLLIN | POLLOUT;
            pollfd p[2] = {{sync, floodFd == sync ? out : short{POLLIN}, 0},
                           {async, floodFd == async && async >= 0 ? out : short{POLLIN}, 0}};
            if (::poll(p, async >= 0 ? 2 : 1, 10) <= 0) continue;
            for (const pollfd& q : p) {
                if (q.fd != floodFd || (q.revents & POLLOUT) == 0) continue;
                // Round and round the flood's bytes, so that its messages stay whole.
                const ssize_t n = ::send(floodFd, floodBytes_.data() + floodAt,
                                         floodBytes_.size() - floodAt, MSG_NOSIGNAL | MSG_DONTWAIT);
                if (n > 0) floodAt = (floodAt + static_cast<size_t>(n)) % floodBytes_.size();
            }
            if ((p[0].revents & ~POLLOUT) != 0) {
                if (!pump(sync, syncIn)) return;
                while (syncIn.next(&m) == Decoder::Result::Message) {
                    if (m.type() == Type::FatalError) sawFatal_ = true;
                    if (m.type() == Type::Data || m.type() == Type::DataEnd) {
                        std::lock_guard<std::mutex> lock(asyncMutex_);
                        ++(m.type() == Type::Data ? received_.data : received_.dataEnds);
                        received_.bytes += m.payload.size();
                    }
                    startFlood(sync, m.type());
                    if (m.type() == Type::DataEnd) put(sync, dataAnswer_);
                    if (m.type() == Type::DeviceClearComplete) {
                        clearSetting_ = m.header.control;
                        put(sync,
                            hislip::message(Type::DeviceClearAcknowledge, m.header.control, 0));
                    }
                }
            }
            if (async >= 0 && (p[1].revents & ~POLLOUT) != 0) {
                if (!pump(async, asyncIn)) return;
                while (asyncIn.next(&m) == Decoder::Result::Message) {
                    startFlood(async, m.type());
                    std::lock_guard<std::mutex> lock(asyncMutex_);
                    const auto answer = asyncAnswers_.find(m.type());
                    if (answer != asyncAnswers_.end()) put(async, answer->second);
                    const auto turns = inTurn_.find(m.type());
                    if (turns == inTurn_.end()) continue;
                    const size_t n = std::min(asked_[m.type()]++, turns->second.size() - 1);
                    put(async, turns->second[n]);
                }
            }
        }
    }
    // One receive into the decoder; false when the peer has gone.
    static bool pump(int fd, Decoder& in) {
        char buf[4096];
        const ssize_t n = ::recv(fd, buf, sizeof buf, 0);
        if (n <= 0) return false;
        in.feed(buf, static_cast<size_t>(n));
        return true;
    }

    std::string initAnswer_, dataAnswer_;
    int listener_ = -1;
    int port_ = 0;
    std::atomic<bool> stop_{false};
    bool overlap_;
    std::atomic<bool> sawFatal_{false};
    std::atomic<int> clearSetting_{-1};
    std::mutex asyncMutex_;
    std::map<Type, std::string> asyncAnswers_;
    std::map<Type, std::vector<std::string>> inTurn_;
    std::map<Type, size_t> asked_;
    std::vector<std::string> pushed_;
    Type floodTrigger_ = Type::Initialize;
    std::string floodBytes_;
    Received received_;
    std::thread thread_;
};

TEST(VisaHislip, AServerPreferringOverlappedModeIsSwitchedToSynchronized) {
    BrokenServer server("", hislip::message(Type::DataEnd, 0, 0xFFFFFF00u, "ok\n"), true);
    Visa visa(server.resource());
    ASSERT_EQ(visa.status(), VI_SUCCESS);
    EXPECT_EQ(server.clearSetting(), 0);
    ViBoolean overlap = VI_TRUE;
    EXPECT_EQ(viGetAttribute(visa.vi(), VI_ATTR_TCPIP_HISLIP_OVERLAP_EN, &overlap), VI_SUCCESS);
    EXPECT_EQ(overlap, VI_FALSE);
    ViStatus status;
    EXPECT_EQ(visa.query("*IDN?\n", &status), "ok");  // numbered from the start again
}

TEST(VisaHislip, BrokenServersGiveClearErrorsAtOnce) {
    const std::string fatal =
        hislip::message(Type::FatalError, 0, 0, "something broke in the instrument");
    struct Row {
        const char* what;
        std::string initAnswer;
        std::string dataAnswer;
        ViStatus open;
        ViStatus query = VI_SUCCESS;
        ViStatus after = VI_SUCCESS;   // the next query
        bool fatalFromClient = false;  // we told the server why we gave up
    };
    const Row rows[] = {
        {"wrong prologue at open", header("XY", 1, 0, 0, 0), "", VI_ERROR_RSRC_NFOUND},
        {"too many clients", hislip::message(Type::FatalError, 4, 0, "full"), "",
         VI_ERROR_RSRC_BUSY},
        {"absurd length at open", header("HS", 1, 0, 0, ~0ull), "", VI_ERROR_RSRC_NFOUND},
        {"wrong prologue in an answer", "", header("hs", 7, 0, 0xFFFFFF00u, 2) + "1\n", VI_SUCCESS,
         VI_ERROR_IO, VI_ERROR_CONN_LOST, true},
        {"absurd length in an answer", "", header("HS", 7, 0, 0xFFFFFF00u, ~0ull >> 1), VI_SUCCESS,
         VI_ERROR_IO, VI_ERROR_CONN_LOST, true},
        {"fatal error", "", fatal, VI_SUCCESS, VI_ERROR_CONN_LOST, VI_ERROR_CONN_LOST, false},
        {"error", "", hislip::message(Type::Error, 1, 0, "what is this"), VI_SUCCESS, VI_ERROR_IO,
         VI_ERROR_IO, false},
    };
    for (const Row& row : rows) {
        BrokenServer server(row.initAnswer, row.dataAnswer);
        const auto start = Clock::now();
        Visa visa(server.resource(), 5000);
        EXPECT_EQ(visa.status(), row.open) << row.what;
        if (visa.status() == VI_SUCCESS) {
            ViStatus status;
            visa.query("*IDN?\n", &status);
            EXPECT_EQ(status, row.query) << row.what;
            visa.query("*IDN?\n", &status);
            EXPECT_EQ(status, row.after) << row.what;
        }
        EXPECT_LT(elapsedMs(start), 1500) << row.what;
        if (row.fatalFromClient) {
            for (int i = 0; i < 50 && !server.sawFatalError(); ++i)
                std::this_thread::sleep_for(Ms(10));
            EXPECT_TRUE(server.sawFatalError()) << row.what;
        }
    }
}

std::string hislipMessage(Type type, uint8_t control, uint32_t parameter = 0) {
    return hislip::message(type, control, parameter);
}

// How much later than its timeout and the grace a call may end on a loaded machine: a bound,
// not a measure of speed.
constexpr long long kSlackMs = 1500;

// Calls on a server that keeps sending what the call passes over, or answers late, end by
// their timeout and the grace with the row's status, and an answer is only ever its own
// request's. Each row guards one place that waits or passes something over: empty Data, Data
// of another message, parts that never end (the synchronous channel); service requests and
// answers of another type amid an exchange, and the late answer to a status query or a lock
// request that timed out, which the next one must drop (the asynchronous channel).
TEST(VisaHislip, HostileServersAreBoundedByTheTimeout) {
    enum class Op { Query, StatusByte, Lock };
    struct Step {
        Op op;
        ViStatus status;
        int stb = -1;  // the status byte read, when not -1
    };
    struct Row {
        const char* what;
        std::function<void(BrokenServer&)> script;
        std::vector<Step> steps;
    };
    const uint32_t ours = hislip::kFirstMessageId;
    const Row rows[] = {
        {"empty Data for ever",
         [&](BrokenServer& s) { s.flood(Type::DataEnd, hislip::message(Type::Data, 0, ours, "")); },
         {{Op::Query, VI_ERROR_TMO}}},
        {"Data of another message for ever",
         [&](BrokenServer& s) {
             s.flood(Type::DataEnd, hislip::message(Type::Data, 0, ours + 64, "x"));
         },
         {{Op::Query, VI_ERROR_TMO}}},
        {"Data for ever, never DataEnd",
         [&](BrokenServer& s) {
             s.flood(Type::DataEnd, hislip::message(Type::Data, 0, ours, std::string(1000, 'x')));
         },
         {{Op::Query, VI_ERROR_TMO}}},
        {"service requests for ever, no status byte",
         [](BrokenServer& s) {
             s.flood(Type::AsyncStatusQuery, hislipMessage(Type::AsyncServiceRequest, 0x40));
         },
         {{Op::StatusByte, VI_ERROR_TMO}}},
        {"status bytes for ever, no lock answer",
         [](BrokenServer& s) {
             s.flood(Type::AsyncLock, hislipMessage(Type::AsyncStatusResponse, 0x11));
         },
         {{Op::Lock, VI_ERROR_TMO}}},
        {"no lock answer", [](BrokenServer&) {}, {{Op::Lock, VI_ERROR_TMO}}},
        {"the late status byte of a query that timed out",
         [](BrokenServer& s) {
             s.answerAsyncInTurn(Type::AsyncStatusQuery,
                                 {"",
                                  hislipMessage(Type::AsyncStatusResponse, 0x11) +
                                      hislipMessage(Type::AsyncStatusResponse, 0x22),
                                  hislipMessage(Type::AsyncStatusResponse, 0x33)});
         },
         {{Op::StatusByte, VI_ERROR_TMO},
          {Op::StatusByte, VI_SUCCESS, 0x22},
          {Op::StatusByte, VI_SUCCESS, 0x33}}},
        {"the late refusal of a lock request that timed out",
         [](BrokenServer& s) {
             s.answerAsyncInTurn(Type::AsyncLock,
                                 {"", hislipMessage(Type::AsyncLockResponse, 0) +
                                          hislipMessage(Type::AsyncLockResponse, 1)});
         },
         {{Op::Lock, VI_ERROR_TMO}, {Op::Lock, VI_SUCCESS}}},
    };
    constexpr ViUInt32 kTimeout = 500;
    for (const Row& row : rows) {
        SCOPED_TRACE(row.what);
        BrokenServer server("", "");
        row.script(server);
        auto t = openTransport(server.resource());
        ASSERT_TRUE(t);
        for (const Step& step : row.steps) {
            const auto start = Clock::now();
            ViStatus status = VI_SUCCESS;
            ViUInt16 stb = 0xFFFF;
            switch (step.op) {
                case Op::Query:
                    ASSERT_EQ(send(*t, "*IDN?\n"), VI_SUCCESS);
                    receive(*t, kTimeout, &status, Ms(1));
                    break;
                case Op::StatusByte:
                    status = t->readStatusByte(&stb, Deadline::after(kTimeout));
                    break;
                case Op::Lock:
                    status = t->lockDevice(VI_EXCLUSIVE_LOCK, nullptr, kTimeout);
                    break;
            }
            EXPECT_EQ(status, step.status);
            if (step.stb >= 0) {
                EXPECT_EQ(stb, step.stb);
            }
            EXPECT_LT(elapsedMs(start), kTimeout + qmdc::visa::kTimeoutGraceMs + kSlackMs);
        }
    }
}

// A message longer than the server takes in one (4096 bytes, its header included) goes in
// Data messages with one DataEnd, the last.
TEST(VisaHislip, LongWritesEndWithOneDataEnd) {
    BrokenServer server("", "");
    auto t = openTransport(server.resource());
    ASSERT_TRUE(t);
    ASSERT_EQ(send(*t, std::string(10000, 'w')), VI_SUCCESS);
    BrokenServer::Received got;
    for (int i = 0; i < 300 && (got = server.received()).bytes < 10000; ++i)
        std::this_thread::sleep_for(Ms(10));
    EXPECT_EQ(got.bytes, 10000u);
    EXPECT_EQ(got.data, 2);
    EXPECT_EQ(got.dataEnds, 1);
}

// What we accept in one message is what we announced (VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB),
// whatever the server does with it: rows at the default, at a lowered and a raised maximum,
// each at the limit and one byte past it.
TEST(VisaHislip, TheAnnouncedMaximumMessageSizeIsApplied) {
    const struct {
        ViUInt32 maxKb;  // 0: the default, 1024
        size_t answer;   // the payload of the server's DataEnd
        ViStatus status;
    } rows[] = {
        {0, 1024 * 1024, VI_SUCCESS},    {0, 1024 * 1024 + 1, VI_ERROR_IO},
        {1, 1024, VI_SUCCESS},           {1, 1025, VI_ERROR_IO},
        {2048, 2048 * 1024, VI_SUCCESS}, {2048, 2048 * 1024 + 1, VI_ERROR_IO},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(::testing::Message() << row.maxKb << " KiB, " << row.answer << " bytes");
        BrokenServer server("", hislip::message(Type::DataEnd, 0, hislip::kFirstMessageId,
                                                std::string(row.answer, 'a')));
        // A server that takes what it is told and keeps to 4096 bytes for its own part.
        server.answerAsync(
            Type::AsyncMaximumMessageSize,
            hislip::message(Type::AsyncMaximumMessageSizeResponse, 0, 0, hislip::encodeSize(4096)));
        auto t = openTransport(server.resource());
        ASSERT_TRUE(t);
        if (row.maxKb != 0) {
            ASSERT_EQ(t->setAttribute(VI_ATTR_TCPIP_HISLIP_MAX_MESSAGE_KB, row.maxKb), VI_SUCCESS);
        }
        ASSERT_EQ(send(*t, "DATA?\n"), VI_SUCCESS);
        ViStatus status = VI_SUCCESS;
        const std::string answer = receive(*t, 5000, &status);
        EXPECT_EQ(status, row.status);
        if (row.status == VI_SUCCESS) {
            EXPECT_EQ(answer.size(), row.answer);
        }
    }
}

// --- Service requests -------------------------------------------------------

// The sink of a watch: counts the requests raised, and notes one raised on the test's own
// thread (they come from the transport's thread, never from inside a call).
class Raised {
  public:
    Transport::ServiceRequestSink sink(Ms hold = Ms(0)) {
        return [this, hold] {
            if (std::this_thread::get_id() == test_) onCallersThread_ = true;
            inSink_ = true;
            std::this_thread::sleep_for(hold);
            inSink_ = false;
            std::lock_guard<std::mutex> lock(mutex_);
            ++count_;
            changed_.notify_all();
        };
    }
    // True once `n` were raised; false if that takes more than the timeout.
    bool waitFor(unsigned n, Ms timeout = Ms(2000)) {
        std::unique_lock<std::mutex> lock(mutex_);
        return changed_.wait_for(lock, timeout, [&] { return count_ >= n; });
    }
    unsigned count() {
        std::lock_guard<std::mutex> lock(mutex_);
        return count_;
    }
    bool onCallersThread() const { return onCallersThread_; }
    bool inSink() const { return inSink_; }

  private:
    const std::thread::id test_ = std::this_thread::get_id();
    std::mutex mutex_;
    std::condition_variable changed_;
    unsigned count_ = 0;
    std::atomic<bool> onCallersThread_{false}, inSink_{false};
};

// The emulator requests service when the status byte's summary bit turns on after a
// message, on any port; each turn is one AsyncServiceRequest to every session.
TEST(VisaHislip, TheEmulatorRequestsServiceOncePerTurn) {
    struct Row {
        const char* what;
        std::vector<const char*> before;  // sent before the watch starts
        std::vector<const char*> hislip;  // sent while watching
        const char* socket;               // then sent on the socket port
        unsigned events;
        ViUInt16 stb;  // afterwards
    };
    const Row rows[] = {
        {"operation complete, enabled for service", {}, {"*ESE 1;*SRE 32", "*OPC"}, "", 1, 96},
        {"no second request while the bit stays on",
         {},
         {"*ESE 1;*SRE 32;*OPC", "*OPC", "*ESE 1", "*SRE 32"},
         "",
         1,
         96},
        {"several in a row",
         {},
         {"*ESE 1;*SRE 32;*OPC", "*CLS", "*OPC", "*CLS", "*OPC"},
         "",
         3,
         96},
        {"a refused command with the error bit enabled",
         {},
         {"*SRE 4", "NOT:A:COMMAND"},
         "",
         1,
         68},
        {"summary bit not enabled for service", {}, {"*ESE 1;*OPC"}, "", 0, 32},
        {"a message on the socket port", {}, {}, "*ESE 1;*SRE 32;*OPC", 1, 96},
        {"on and off within one socket read", {}, {}, "*ESE 1;*SRE 32\n*OPC\n*CLS", 1, 0},
        {"requested before the watch: not its event", {"*ESE 1;*SRE 32;*OPC"}, {}, "", 0, 96},
        {"before the watch, and again while watching",
         {"*ESE 1;*SRE 32;*OPC"},
         {"*CLS", "*OPC"},
         "",
         1,
         96},
    };
    qmdc::testing::EmulatorProcess emulator({"--tcp", "--hislip"});
    Visa socket(emulator.resources().front());
    ASSERT_EQ(socket.status(), VI_SUCCESS);
    // Another session watches all along: it hears of every request.
    auto other = openTransport(hislipResource(emulator));
    ASSERT_TRUE(other);
    Raised heard;
    ASSERT_EQ(other->startServiceRequests(heard.sink(), Deadline::after(1000)), VI_SUCCESS);
    unsigned requests = 0;
    for (const Row& row : rows) {
        requests += row.events + (row.before.empty() ? 0 : 1);  // `before` makes one
        auto t = openTransport(hislipResource(emulator));
        ASSERT_TRUE(t) << row.what;
        EXPECT_TRUE(t->deliversServiceRequests());
        ViStatus status;
        // Sends a line, then asks for operation complete so that it has been executed.
        const auto run = [&](const char* command) {
            ASSERT_EQ(send(*t, std::string(command) + "\n*OPC?\n"), VI_SUCCESS) << command;
            EXPECT_EQ(receive(*t, 2000, &status), "1\n") << row.what << ": " << command;
        };
        run("*CLS;*ESE 0;*SRE 0");
        for (const char* command : row.before) run(command);
        std::this_thread::sleep_for(Ms(30));  // the request is on its way, or arrived
        Raised raised;
        ASSERT_EQ(t->startServiceRequests(raised.sink(), Deadline::after(1000)), VI_SUCCESS);
        for (const char* command : row.hislip) run(command);
        if (*row.socket != '\0') {
            EXPECT_EQ(socket.query((std::string(row.socket) + "\n*OPC?\n").c_str(), &status), "1");
        }
        // The status query follows every request sent before it on the same channel.
        ViUInt16 stb = 0;
        EXPECT_EQ(t->readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS) << row.what;
        EXPECT_EQ(stb, row.stb) << row.what;
        EXPECT_TRUE(raised.waitFor(row.events)) << row.what;
        std::this_thread::sleep_for(Ms(20));
        t->stopServiceRequests();
        EXPECT_EQ(raised.count(), row.events) << row.what;
        EXPECT_FALSE(raised.onCallersThread()) << row.what;
    }
    ViUInt16 stb = 0;
    EXPECT_EQ(other->readStatusByte(&stb, Deadline::after(1000)), VI_SUCCESS);
    EXPECT_TRUE(heard.waitFor(requests));
    other->stopServiceRequests();
    EXPECT_EQ(heard.count(), requests);
}

// A request that comes before the answer of a transaction on the asynchronous channel is
// never taken for that answer; it is raised once the transaction is over while a watch
// runs, and passed over without one.
TEST(VisaHislip, ServiceRequestsAmidTransactions) {
    const std::string srq = hislipMessage(Type::AsyncServiceRequest, 0x60);
    struct Row {
        const char* what;
        Type request;
        std::string answer;  // the server's, requests first
        bool watching;
        unsigned events;
        std::function<ViStatus(Transport&)> transaction;
        ViStatus status;
    };
    ViUInt16 stb = 0;
    const auto readStb = [&stb](Transport& t) {
        return t.readStatusByte(&stb, Deadline::after(1000));
    };
    const auto lock = [](Transport& t) { return t.lockDevice(VI_EXCLUSIVE_LOCK, nullptr, 1000); };
    const auto unlock = [](Transport& t) { return t.unlockDevice(); };
    const auto remote = [](Transport& t) { return t.remoteLocal(1, Deadline::after(1000)); };
    const std::string stbAnswer = hislipMessage(Type::AsyncStatusResponse, 0x42);
    const std::string lockAnswer = hislipMessage(Type::AsyncLockResponse, 1);
    const Row rows[] = {
        {"status byte, watching", Type::AsyncStatusQuery, srq + srq + stbAnswer, true, 2, readStb,
         VI_SUCCESS},
        {"status byte, nothing watching", Type::AsyncStatusQuery, srq + srq + stbAnswer, false, 0,
         readStb, VI_SUCCESS},
        {"status byte, a request after the answer", Type::AsyncStatusQuery, stbAnswer + srq, true,
         1, readStb, VI_SUCCESS},
        {"lock, watching", Type::AsyncLock, srq + lockAnswer, true, 1, lock, VI_SUCCESS},
        {"lock, nothing watching", Type::AsyncLock, srq + lockAnswer, false, 0, lock, VI_SUCCESS},
        {"unlock, watching", Type::AsyncLock, srq + lockAnswer, true, 1, unlock, VI_SUCCESS},
        {"remote/local, watching", Type::AsyncRemoteLocalControl,
         srq + hislipMessage(Type::AsyncRemoteLocalResponse, 0), true, 1, remote, VI_SUCCESS},
        {"an error after a request", Type::AsyncStatusQuery,
         srq + hislip::message(Type::Error, 1, 0, "no"), true, 1, readStb, VI_ERROR_IO},
    };
    for (const Row& row : rows) {
        BrokenServer server("", "");
        server.answerAsync(row.request, row.answer);
        auto t = openTransport(server.resource());
        ASSERT_TRUE(t) << row.what;
        Raised raised;
        if (row.watching) {
            ASSERT_EQ(t->startServiceRequests(raised.sink(), Deadline::after(1000)), VI_SUCCESS);
        }
        stb = 0;
        for (unsigned i = 1; i <= 2; ++i) {  // the second finds the channel as the first left it
            EXPECT_EQ(row.transaction(*t), row.status) << row.what;
            if (row.request == Type::AsyncStatusQuery && row.status == VI_SUCCESS) {
                EXPECT_EQ(stb, 0x42) << row.what;
            }
            EXPECT_TRUE(raised.waitFor(i * row.events)) << row.what;
        }
        // Unasked, between transactions.
        server.pushAsync(srq);
        EXPECT_EQ(raised.waitFor(2 * row.events + 1, Ms(row.watching ? 2000 : 100)), row.watching)
            << row.what;
        t->stopServiceRequests();
        EXPECT_EQ(raised.count(), row.watching ? 2 * row.events + 1 : 0) << row.what;
        EXPECT_FALSE(raised.onCallersThread()) << row.what;
    }
}

// A watch never keeps stop, close or the end of the session waiting.
TEST(VisaHislip, AWatchEndsPromptly) {
    struct Row {
        const char* what;
        std::function<void(std::unique_ptr<Transport>&, BrokenServer&)> end;
        Ms hold;  // how long each call of the sink takes
    };
    const Row rows[] = {
        {"stop while waiting", [](auto& t, auto&) { t->stopServiceRequests(); }, Ms(0)},
        {"interrupted while waiting, then stopped",
         [](auto& t, auto&) {
             t->interrupt();
             t->stopServiceRequests();
         },
         Ms(0)},
        {"destroyed while watching", [](auto& t, auto&) { t.reset(); }, Ms(0)},
        {"the server goes away", [](auto&, auto& server) { server.hangUp(); }, Ms(0)},
        {"stop while a request is being raised",
         [](auto& t, auto& server) {
             server.pushAsync(hislipMessage(Type::AsyncServiceRequest, 0x40));
             std::this_thread::sleep_for(Ms(100));  // the sink holds on for 300 ms
             t->stopServiceRequests();
         },
         Ms(300)},
    };
    for (const Row& row : rows) {
        BrokenServer server("", "");
        auto t = openTransport(server.resource());
        ASSERT_TRUE(t) << row.what;
        Raised raised;
        ASSERT_EQ(t->startServiceRequests(raised.sink(row.hold), Deadline::after(1000)),
                  VI_SUCCESS);
        std::this_thread::sleep_for(Ms(30));  // the watcher waits on the channel
        const auto start = Clock::now();
        row.end(t, server);
        // Whatever ended the watch, stop and destruction return at once, and a raise in
        // progress had finished before stop returned.
        EXPECT_FALSE(raised.inSink()) << row.what;
        t.reset();
        EXPECT_LT(elapsedMs(start), row.hold.count() + 500) << row.what;
    }
}

// viClose from another thread ends a call that waits for ever on the asynchronous
// channel of a server that never answers there, with VI_ERROR_ABORT as a read would.
TEST(VisaHislip, CloseAbortsACallWaitingForAnAnswer) {
    const struct {
        const char* what;
        std::function<ViStatus(ViSession)> call;
    } rows[] = {
        {"viReadSTB",
         [](ViSession vi) {
             ViUInt16 stb = 0;
             return viReadSTB(vi, &stb);
         }},
        {"viGpibControlREN",
         [](ViSession vi) { return viGpibControlREN(vi, VI_GPIB_REN_ASSERT_ADDRESS); }},
        {"viLock",
         [](ViSession vi) {
             return viLock(vi, VI_EXCLUSIVE_LOCK, VI_TMO_INFINITE, VI_NULL, VI_NULL);
         }},
        {"viClear", [](ViSession vi) { return viClear(vi); }},
    };
    for (const auto& row : rows) {
        BrokenServer server("", "");
        Visa visa(server.resource(), VI_TMO_INFINITE);
        ASSERT_EQ(visa.status(), VI_SUCCESS) << row.what;
        std::atomic<ViStatus> blocked{VI_SUCCESS};
        std::thread caller([&] { blocked = row.call(visa.vi()); });
        std::this_thread::sleep_for(Ms(100));
        const auto start = Clock::now();
        EXPECT_EQ(viClose(visa.vi()), VI_SUCCESS) << row.what;
        caller.join();
        EXPECT_LT(elapsedMs(start), 1000) << row.what;
        EXPECT_EQ(blocked.load(), VI_ERROR_ABORT) << row.what;
    }
}

}  // namespace
