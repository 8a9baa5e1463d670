// The exporter's HTTP server: the tool's bounded server (http/http_server.h)
// with the exporter's limits. A request's Host, token and method are checked
// from its head before any body is read; then the handler answers it on a
// worker thread.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "http/http_server.h"
#include "panel/panel_http.h"

namespace qmdc::cli::exporter {

class MetricsHttpServer {
  public:
    // The refusal of a request from its head alone, or nullopt to go on.
    using Admission = std::function<std::optional<panel::HttpResponse>(const panel::HttpRequest&)>;
    using Handler = std::function<panel::HttpResponse(const panel::HttpRequest&)>;

    // Listens at once (port 0: one the kernel picks); clients wait until
    // Start. Throws a Failure when it cannot listen.
    MetricsHttpServer(const std::string& address, int port);
    ~MetricsHttpServer();
    MetricsHttpServer(const MetricsHttpServer&) = delete;
    MetricsHttpServer& operator=(const MetricsHttpServer&) = delete;

    int port() const { return server_.port(); }
    // The URLs a scraper can reach path by (for a wildcard address, each of
    // this machine's addresses).
    std::vector<std::string> Urls(const std::string& path) const { return server_.Urls(path); }

    // Serves until Stop.
    void Start(Admission admission, Handler handler);
    void Stop();

  private:
    class Service : public http::Service {
      public:
        std::optional<panel::HttpResponse> Admit(const panel::HttpRequest& head) override {
            return admission(head);
        }
        panel::HttpResponse Handle(const panel::HttpRequest& request) override {
            return handler(request);
        }
        Admission admission;
        Handler handler;
    };
    Service service_;
    http::HttpServer server_;
};

}  // namespace qmdc::cli::exporter
