#include "exporter/metrics_http.h"

namespace qmdc::cli::exporter {
namespace {

// A scrape is a GET without a body that takes milliseconds: a few workers
// serve several Prometheus servers, and a client slower than a few seconds
// to send its head or take its answer is dropped. Scrapers hold no streams.
http::ServerLimits ExporterLimits() {
    http::ServerLimits limits;
    limits.request.body = 1024;
    limits.connections = 128;
    limits.connectionsPerClient = 32;
    limits.unadmittedPerClient = 8;
    limits.streams = 0;
    limits.workers = 4;
    limits.headTime = std::chrono::milliseconds(5000);
    limits.bodyTime = std::chrono::milliseconds(5000);
    limits.idleTime = std::chrono::milliseconds(60000);  // a keep-alive scraper comes back
    limits.writeTime = std::chrono::milliseconds(5000);
    return limits;
}

}  // namespace

MetricsHttpServer::MetricsHttpServer(const std::string& address, int port)
    : server_(address, port, ExporterLimits()) {}

MetricsHttpServer::~MetricsHttpServer() {
    Stop();
}

void MetricsHttpServer::Start(Admission admission, Handler handler) {
    service_.admission = std::move(admission);
    service_.handler = std::move(handler);
    server_.Start(service_);
}

void MetricsHttpServer::Stop() {
    server_.Stop();
}

}  // namespace qmdc::cli::exporter
