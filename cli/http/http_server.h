// A small HTTP/1.1 server for the tool's network services (the panel, the
// exporter), bounded before anything else:
//
// - One thread waits on every socket (poll); a few workers run the
//   service's handlers. A connection holds a worker only while its request
//   is handled, so slow clients, idle keep-alive connections and open event
//   streams cost a socket each, never a thread.
// - The head is bounded (RequestLimits) and must arrive within headTime of
//   its first byte; the service's Admit sees it before a byte of the body is
//   read, and a refusal closes the connection with the body unread.
// - The body is bounded, stated or chunked, and must arrive within bodyTime.
// - Connections are bounded overall and per client address. A client holds
//   only a few connections that no request was admitted on yet: a new one
//   closes its oldest (and at the overall bound, the oldest of anyone's),
//   so that idle or dripping connections cannot keep a request out.
// - An event stream is an answer with stream set: the connection stays open
//   and gets each Broadcast. Streams are bounded; one that falls
//   streamBacklog bytes behind (a reader that stopped) is closed.
//
// Use:
//   class Metrics : public http::Service {
//       std::optional<HttpResponse> Admit(const HttpRequest& head) override {
//           if (!AnswersHost(hosts, head.Header("Host"))) return ErrorResponse(403, "...");
//           return std::nullopt;
//       }
//       HttpResponse Handle(const HttpRequest& request) override { ... }
//   };
//   http::HttpServer server("127.0.0.1", 9100);  // listens (port 0: any; server.port())
//   Metrics metrics;  // hosts = AnsweredHosts(address, server.port(), allowedNames)
//   server.Start(metrics);                       // serves
//   for (auto& url : server.Urls("/metrics")) std::cout << url << "\n";
//   ...
//   server.Stop();                               // or the destructor
#pragma once

#include <chrono>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "http/http_message.h"
#include "http/request_parser.h"

namespace qmdc::cli::http {

struct ServerLimits {
    RequestLimits request;
    size_t connections = 512;
    size_t connectionsPerClient = 384;
    size_t unadmittedPerClient = 32;  // of one address not yet past Admit; more close the oldest
    size_t streams = 256;
    size_t workers = 4;
    size_t streamBacklog = 1 << 20;              // bytes a stream may fall behind
    std::chrono::milliseconds headTime{10000};   // from the head's first byte to its end
    std::chrono::milliseconds bodyTime{10000};   // from the head's end to the body's
    std::chrono::milliseconds idleTime{30000};   // between requests on a connection
    std::chrono::milliseconds writeTime{10000};  // without a byte of an answer taken
};

// What a server serves.
class Service {
  public:
    virtual ~Service() = default;
    // The request line and headers (the body still empty and unread): nullopt
    // to read the body and Handle it, or the refusal to answer, after which
    // the connection closes. Runs on the server's own thread: it must not
    // block (compare, look up; no I/O).
    virtual std::optional<HttpResponse> Admit(const HttpRequest& head) = 0;
    // The answer, on a worker thread; it may block, holding that worker.
    virtual HttpResponse Handle(const HttpRequest& request) = 0;
};

class HttpServer {
  public:
    // Listens on address and port (0: one the kernel picks); clients wait
    // until Start. Throws a Failure when it cannot listen.
    HttpServer(const std::string& address, int port, ServerLimits limits = {});
    ~HttpServer();
    HttpServer(const HttpServer&) = delete;
    HttpServer& operator=(const HttpServer&) = delete;

    int port() const;
    const std::string& address() const;
    // "http://HOST:PORT" + pathAndQuery for each address a client can reach
    // (see ReachableAuthorities).
    std::vector<std::string> Urls(const std::string& pathAndQuery) const;

    // Serves service until Stop (once; the service outlives the server's Stop).
    void Start(Service& service);

    // Sends text to every open event stream (as one chunk); any thread.
    void Broadcast(const std::string& text);
    // Sends each open stream what make makes of where it stands (its
    // streamSeen, which make moves on; "": nothing). make runs on the
    // server's thread, once per stream: it must be quick and not block.
    using EventMaker = std::function<std::string(unsigned long long& seen)>;
    void Broadcast(EventMaker make);

    // Stops listening, closes every connection, and returns once the
    // handlers running have returned.
    void Stop();

    struct Counts {
        size_t connections = 0, streams = 0;
    };
    Counts counts() const;

    class Loop;

  private:
    std::unique_ptr<Loop> loop_;
};

}  // namespace qmdc::cli::http
