#include "exporter/metrics_http.h"

#include <httplib.h>

#include "failure.h"

namespace qmdc::cli::exporter {
namespace {

// Connections served at once; more wait for a free one. A scrape takes
// milliseconds, so a few are plenty for several Prometheus servers.
constexpr size_t kConnections = 8;
// A GET has no body; a request line and headers beyond the library's own
// limit (8 KiB) are refused by it.
constexpr size_t kMaxBody = 1024;
// A client that sends or takes its bytes slower than this is dropped.
constexpr time_t kReadWriteSeconds = 5;
constexpr size_t kRequestsPerConnection = 100;

panel::HttpRequest FromHttplib(const httplib::Request& in) {
    panel::HttpRequest out;
    out.method = in.method;
    out.path = in.path;
    out.query.insert(in.params.begin(), in.params.end());
    out.headers.insert(in.headers.begin(), in.headers.end());
    out.body = in.body;
    return out;
}

}  // namespace

MetricsHttpServer::MetricsHttpServer(const std::string& address, int port, Handler handler)
    : handler_(std::move(handler)), server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kConnections); };
    server_->set_payload_max_length(kMaxBody);
    server_->set_read_timeout(kReadWriteSeconds, 0);
    server_->set_write_timeout(kReadWriteSeconds, 0);
    server_->set_keep_alive_timeout(kReadWriteSeconds);
    server_->set_keep_alive_max_count(kRequestsPerConnection);
    // The answer goes in several writes; none waits for the last one's ack.
    server_->set_tcp_nodelay(true);
    port_ = port == 0 ? server_->bind_to_any_port(address) : port;
    if (port_ <= 0 || (port != 0 && !server_->bind_to_port(address, port))) {
        throw Failure("cannot listen on " + address + " port " + std::to_string(port));
    }
    const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        const panel::HttpResponse answer = handler_(FromHttplib(request));
        response.status = answer.status;
        for (const auto& [name, value] : answer.headers) response.set_header(name, value);
        response.set_content(answer.body, answer.contentType.c_str());
    };
    server_->Get(".*", handle);  // HEAD too
    server_->Post(".*", handle);
    server_->Put(".*", handle);
    server_->Delete(".*", handle);
    server_->Options(".*", handle);
    server_->Patch(".*", handle);
    thread_ = std::thread([this] {
        server_->listen_after_bind();
        listening_ended_ = true;
    });
    // Stop() before the thread is in its accept loop would stop nothing, and
    // the join would wait for ever: the server is running when this returns.
    while (!server_->is_running() && !listening_ended_) {
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    }
}

MetricsHttpServer::~MetricsHttpServer() {
    Stop();
}

void MetricsHttpServer::Stop() {
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

}  // namespace qmdc::cli::exporter
