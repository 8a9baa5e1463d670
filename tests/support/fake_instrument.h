// A scripted instrument on a loopback TCP socket, for the cases the emulator
// does not produce: it answers each received line from a script, records what
// it received, and can stay silent.
#pragma once

#include <condition_variable>
#include <functional>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace qmdc_test {

class FakeInstrument {
  public:
    // Returns the reply for a received line (without its line feed); an empty
    // optional means no reply at all. The reply is sent as given.
    using Responder = std::function<std::optional<std::string>(const std::string& line)>;

    explicit FakeInstrument(Responder responder);
    // Answers from a table: exact line -> reply; lines not in it get no reply.
    explicit FakeInstrument(std::map<std::string, std::string> replies);
    ~FakeInstrument();
    FakeInstrument(const FakeInstrument&) = delete;
    FakeInstrument& operator=(const FakeInstrument&) = delete;

    // "TCPIP0::127.0.0.1::<port>::SOCKET"
    std::string Resource() const;
    std::vector<std::string> Received() const;
    // Waits until at least count lines arrived (or timeoutMs passed): a
    // command without an answer may still be on its way when the call returns.
    std::vector<std::string> ReceivedAtLeast(size_t count, int timeoutMs = 2000);
    // Waits until the client closed its connection (or timeoutMs passed).
    bool WaitForDisconnect(int timeoutMs = 2000);

  private:
    void Serve();

    Responder responder_;
    int listener_ = -1;
    int wakeup_[2] = {-1, -1};
    int port_ = 0;
    mutable std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<std::string> received_;
    bool disconnected_ = false;
    std::thread thread_;
};

// A table of answers that a test changes while the instrument runs: exact
// line -> reply; lines not in it get no reply. Starts as a healthy supply.
class AnswerTable {
  public:
    explicit AnswerTable(std::map<std::string, std::string> replies);
    AnswerTable();
    void Set(const std::string& line, const std::string& reply);
    void Drop(const std::string& line);
    // The reply to the next time the line comes only; the table's after that.
    void SetNext(const std::string& line, const std::string& reply);
    FakeInstrument::Responder Responder();

  private:
    std::mutex mutex_;
    std::map<std::string, std::string> replies_;
    std::map<std::string, std::string> next_;
};

// Standard answers of a quiet, healthy supply, for building scripts.
std::map<std::string, std::string> HealthySupplyReplies(
    const std::string& identity = "Orvane,Rack 30-70 QM,SN42,2.1.0");

}  // namespace qmdc_test
