// A minimal client for end-to-end tests: a connected TCP socket or an open pty slave, with
// line writes and line reads that give up after a timeout.
#ifndef QMDC_TESTS_EMULATOR_LINE_CHANNEL_H
#define QMDC_TESTS_EMULATOR_LINE_CHANNEL_H

#include <optional>
#include <string>

namespace qmdc::emu {

class LineChannel {
  public:
    // "TCPIP0::127.0.0.1::<port>::SOCKET" or "ASRL<device>::INSTR" (opened in raw mode).
    static std::optional<LineChannel> Open(const std::string& resource);

    LineChannel(LineChannel&& other) noexcept;
    LineChannel& operator=(LineChannel&&) = delete;
    LineChannel(const LineChannel&) = delete;
    LineChannel& operator=(const LineChannel&) = delete;
    ~LineChannel();

    bool Write(const std::string& text);
    // One line without its linefeed; nullopt on timeout or when the peer closed.
    std::optional<std::string> ReadLine(int timeoutMs = 3000);
    std::optional<std::string> Query(const std::string& line, int timeoutMs = 3000);
    // True when the peer has closed the connection (read sees end of file) within the time.
    bool WaitForClose(int timeoutMs = 3000);

  private:
    explicit LineChannel(int fd) : fd_(fd) {}
    int fd_;
    std::string pending_;
};

}  // namespace qmdc::emu

#endif
