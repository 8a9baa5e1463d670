#include "scripted_instrument.h"

#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>

#include "loopback_listener.h"

namespace qmdc_fuzz {

ScriptedInstrument::ScriptedInstrument() {
    listener_ = qmdc_test::ListenOnLoopback(&port_);
    if (listener_ < 0) {
        std::perror("scripted instrument: cannot listen");
        std::abort();
    }
    // Serves until the process ends: libFuzzer never returns to destroy it.
    thread_ = std::thread([this] { Serve(); });
    thread_.detach();
}

std::string ScriptedInstrument::Resource() const {
    return "TCPIP0::127.0.0.1::" + std::to_string(port_) + "::SOCKET";
}

void ScriptedInstrument::SetScript(std::vector<std::string> answers) {
    std::lock_guard<std::mutex> lock(mutex_);
    next_ = std::move(answers);
}

std::map<std::string, std::string> ScriptedInstrument::TakeAnswers() {
    std::lock_guard<std::mutex> lock(mutex_);
    return std::move(answered_);
}

void ScriptedInstrument::Serve() {
    for (;;) {
        const int client = accept(listener_, nullptr, nullptr);
        if (client < 0) continue;
        const int on = 1;
        setsockopt(client, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        std::vector<std::string> script;
        {
            // The script belongs to the connection that takes it.
            std::lock_guard<std::mutex> lock(mutex_);
            script.swap(next_);
        }
        ServeConnection(client, std::move(script));
        close(client);
    }
}

void ScriptedInstrument::ServeConnection(int client, std::vector<std::string> script) {
    size_t next = 0;
    std::string pending;
    char chunk[4096];
    for (;;) {
        const ssize_t n = read(client, chunk, sizeof chunk);
        if (n <= 0) return;
        pending.append(chunk, static_cast<size_t>(n));
        for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
            const std::string line = pending.substr(0, end);
            pending.erase(0, end + 1);
            if (line.find('?') == std::string::npos) continue;
            if (next == script.size()) return;  // out of answers: the driver sees a closed link
            const std::string& answer = script[next++];
            {
                std::lock_guard<std::mutex> lock(mutex_);
                answered_[line] = answer;
            }
            if (send(client, answer.data(), answer.size(), MSG_NOSIGNAL) < 0) return;
        }
    }
}

}  // namespace qmdc_fuzz
