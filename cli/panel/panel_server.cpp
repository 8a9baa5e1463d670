#include "panel/panel_server.h"

#include <httplib.h>

#include "failure.h"

namespace qmdc::cli::panel {
namespace {

// Each page holds one connection for its events.
constexpr size_t kConnections = 32;
constexpr size_t kMaxBody = 64 * 1024;
// A page that hears nothing for this long is sent a comment, which also
// tells the server whether the page is still there.
constexpr auto kKeepAlive = std::chrono::seconds(10);

HttpRequest FromHttplib(const httplib::Request& in) {
    HttpRequest out;
    out.method = in.method;
    out.path = in.path;
    out.query.insert(in.params.begin(), in.params.end());
    out.headers.insert(in.headers.begin(), in.headers.end());
    out.body = in.body;
    return out;
}

void ToHttplib(const HttpResponse& in, httplib::Response& out) {
    HttpResponse answer = in;
    AddSafetyHeaders(answer);
    out.status = answer.status;
    for (const auto& [name, value] : answer.headers) out.set_header(name, value);
    out.set_content(answer.body, answer.contentType.c_str());
}

}  // namespace

PanelServer::PanelServer(SupplyRack& rack, const std::string& address, int port)
    : rack_(rack), address_(address), server_(std::make_unique<httplib::Server>()) {
    server_->new_task_queue = [] { return new httplib::ThreadPool(kConnections); };
    server_->set_payload_max_length(kMaxBody);
    port_ = port == 0 ? server_->bind_to_any_port(address) : port;
    if (port_ <= 0 || (port != 0 && !server_->bind_to_port(address, port))) {
        throw Failure("cannot listen on " + address + " port " + std::to_string(port));
    }
    policy_ = std::make_unique<AccessPolicy>(RandomToken(), HostsFor(address, port_));
    routes_ = std::make_unique<PanelRoutes>(*policy_, rack_);

    const auto handle = [this](const httplib::Request& request, httplib::Response& response) {
        ToHttplib(routes_->Handle(FromHttplib(request)), response);
    };
    const auto events = [this](const httplib::Request& request, httplib::Response& response) {
        if (std::optional<HttpResponse> refusal = policy_->Check(FromHttplib(request))) {
            ToHttplib(*refusal, response);
            return;
        }
        auto seen = std::make_shared<unsigned long long>(0);
        response.set_header("Cache-Control", "no-store");
        response.set_chunked_content_provider(
            "text/event-stream", [this, seen](size_t, httplib::DataSink& sink) {
                const unsigned long long version = rack_.WaitForChange(*seen, kKeepAlive);
                if (version == 0) {  // stopping
                    sink.done();
                    return false;
                }
                std::string message =
                    version != *seen ? rack_.EventsSince(*seen) : ": still here\n\n";
                return sink.is_writable() && sink.write(message.data(), message.size());
            });
    };
    server_->Get("/api/events", events);
    server_->Get(".*", handle);
    server_->Post(".*", handle);
    server_->Put(".*", handle);
    server_->Delete(".*", handle);
    server_->Options(".*", handle);
    server_->Patch(".*", handle);
    thread_ = std::thread([this] { server_->listen_after_bind(); });
}

PanelServer::~PanelServer() {
    Stop();
}

void PanelServer::Stop() {
    rack_.Stop();
    server_->stop();
    if (thread_.joinable()) thread_.join();
}

std::string PanelServer::Url() const {
    const bool v6 = address_.find(':') != std::string::npos;
    return "http://" + (v6 ? "[" + address_ + "]" : address_) + ":" + std::to_string(port_) +
           "/?token=" + policy_->token();
}

}  // namespace qmdc::cli::panel
