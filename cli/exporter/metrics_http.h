// The exporter's HTTP server: the one file that knows the HTTP library. It
// carries each request to a handler as a plain value and its answer back,
// with the limits a listening socket needs before anything is answered:
// small requests only, a time limit on reading and writing each, and a fixed
// number of connections served at once.
#pragma once

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <thread>

#include "panel/panel_http.h"

namespace httplib {
class Server;
}

namespace qmdc::cli::exporter {

class MetricsHttpServer {
  public:
    using Handler = std::function<panel::HttpResponse(const panel::HttpRequest&)>;

    // Binds at once (port 0: one the kernel picks) and serves on a thread of
    // its own; throws a Failure when it cannot bind.
    MetricsHttpServer(const std::string& address, int port, Handler handler);
    ~MetricsHttpServer();
    MetricsHttpServer(const MetricsHttpServer&) = delete;
    MetricsHttpServer& operator=(const MetricsHttpServer&) = delete;

    int port() const { return port_; }
    void Stop();

  private:
    Handler handler_;
    int port_ = 0;
    std::unique_ptr<httplib::Server> server_;
    std::atomic<bool> listening_ended_{false};
    std::thread thread_;
};

}  // namespace qmdc::cli::exporter
