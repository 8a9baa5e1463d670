#include "panel/panel_server.h"

#include "http/listen_address.h"

namespace qmdc::cli::panel {
namespace {

// A page that hears nothing for this long is sent a comment, which also
// tells the server whether the page is still there.
constexpr auto kKeepAlive = std::chrono::seconds(10);

HttpResponse WithSafetyHeaders(HttpResponse response) {
    AddSafetyHeaders(response);
    return response;
}

}  // namespace

PanelServer::PanelServer(SupplyRack& rack, const std::string& address, int port,
                         const std::vector<std::string>& allowedHosts, http::ServerLimits limits)
    : rack_(rack),
      server_(address, port, limits),
      allowedHosts_(allowedHosts),
      policy_(RandomToken(), http::AnsweredHosts(address, server_.port(), allowedHosts)),
      routes_(policy_, rack_) {
    server_.Start(*this);
    publisher_ = std::thread([this] { Publish(); });
}

PanelServer::~PanelServer() {
    Stop();
}

void PanelServer::Stop() {
    rack_.Stop();
    if (publisher_.joinable()) publisher_.join();
    server_.Stop();
}

std::optional<HttpResponse> PanelServer::Admit(const HttpRequest& head) {
    if (std::optional<HttpResponse> refusal = policy_.Check(head)) {
        return WithSafetyHeaders(*refusal);
    }
    return std::nullopt;
}

HttpResponse PanelServer::Handle(const HttpRequest& request) {
    if (request.method == "GET" && request.path == "/api/events") {
        HttpResponse stream;
        stream.contentType = "text/event-stream";
        stream.stream = true;
        stream.body = rack_.EventsSince(stream.streamSeen);  // the whole state
        return WithSafetyHeaders(stream);
    }
    return WithSafetyHeaders(routes_.Handle(request));
}

// The one thread for all pages: after each tick, every page gets the ticks
// after the one it has seen (a page that came in meanwhile or fell behind
// gets what it lacks); a comment when there was none for a while.
void PanelServer::Publish() {
    for (unsigned long long seen = 0;;) {
        const unsigned long long version = rack_.WaitForChange(seen, kKeepAlive);
        if (version == 0) return;  // stopping
        if (version == seen) {
            server_.Broadcast(": still here\n\n");
        } else {
            seen = version;
            server_.Broadcast([this](unsigned long long& page) { return rack_.EventsSince(page); });
        }
    }
}

std::vector<std::string> PanelServer::Urls() const {
    const std::string target = "/?token=" + policy_.token();
    std::vector<std::string> urls = server_.Urls(target);
    for (const std::string& name : allowedHosts_) {
        urls.push_back("http://" + http::WithPort(name, port()) + target);
    }
    return urls;
}

}  // namespace qmdc::cli::panel
