// An instrument on a loopback socket that answers each query line (a line
// holding '?') of a connection with the next answer of a script, and closes
// the connection when the script runs out, so that a driver never waits for
// an answer that will not come. Lines without '?' get no answer. One thread
// serves one connection at a time for the life of the process.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace qmdc_fuzz {

class ScriptedInstrument {
  public:
    ScriptedInstrument();
    ScriptedInstrument(const ScriptedInstrument&) = delete;
    ScriptedInstrument& operator=(const ScriptedInstrument&) = delete;

    // "TCPIP0::127.0.0.1::<port>::SOCKET"
    std::string Resource() const;

    // The answers of the next connection, each sent as given.
    void SetScript(std::vector<std::string> answers);

    // The last answer sent to each query line since the last call.
    std::map<std::string, std::string> TakeAnswers();

  private:
    void Serve();
    void ServeConnection(int client, std::vector<std::string> script);

    int listener_ = -1;
    int port_ = 0;
    std::mutex mutex_;
    std::vector<std::string> next_;
    std::map<std::string, std::string> answered_;
    std::thread thread_;
};

}  // namespace qmdc_fuzz
