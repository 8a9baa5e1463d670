// The tool's HTTP module alone: the request parser on raw bytes (each row at
// a limit or one past it, or a near miss of the framing), and the server
// with a small service on a loopback socket (Admit before the body, time
// limits, event streams and their bound).
#include <gtest/gtest.h>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <string>

#include "http/http_server.h"
#include "http/request_parser.h"

namespace qmdc::cli::http {
namespace {

using State = RequestParser::State;
constexpr RequestLimits kLimits{32, 96, 3, 10};

struct ParseRow {
    std::string note, bytes;
    State state;
    int failure = 0;
    std::string body = "";
    size_t leftOver = 0;  // bytes not taken (the next request's)
};

// Feeds the head, then (as the server does after Admit) the rest.
TEST(HttpParser, LimitsAndFraming) {
    const std::string head = "POST /p HTTP/1.1\r\n";
    const std::vector<ParseRow> rows = {
        {"no body", "GET /a?b=c%20d HTTP/1.1\r\n\r\n", State::Complete},
        {"blank lines before", "\r\n\r\nGET / HTTP/1.1\r\n\r\n", State::Complete},
        {"LF only", "GET / HTTP/1.0\nA: b\n\n", State::Complete},
        {"stated, at the limit", head + "Content-Length: 10\r\n\r\n0123456789", State::Complete, 0,
         "0123456789"},
        {"stated, one past", head + "Content-Length: 11\r\n\r\n01234567890", State::Failed, 413},
        {"stated, short", head + "Content-Length: 5\r\n\r\n012", State::Body, 0, "012"},
        {"stated, and the next request", head + "Content-Length: 2\r\n\r\nabGET", State::Complete,
         0, "ab", 3},
        {"chunked, at the limit",
         head + "Transfer-Encoding: chunked\r\n\r\n4;x=y\r\n0123\r\n6\r\n"
                "456789\r\n0\r\nT: 1\r\n\r\n",
         State::Complete, 0, "0123456789"},
        {"chunked, one past", head + "Transfer-Encoding: chunked\r\n\r\n6\r\n012345\r\n5\r\n",
         State::Failed, 413},
        {"chunked, data longer than its size",
         head + "Transfer-Encoding: chunked\r\n\r\n2\r\n012\r\n", State::Failed, 400},
        {"chunk size not hexadecimal", head + "Transfer-Encoding: chunked\r\n\r\nz\r\n",
         State::Failed, 400},
        {"chunk size of 16 digits", head + "Transfer-Encoding: chunked\r\n\r\n0000000000000001\r\n",
         State::Failed, 400},
        {"chunked, not ended", head + "Transfer-Encoding: chunked\r\n\r\n1\r\na\r\n", State::Body,
         0, "a"},
        {"Chunked in capitals", head + "Transfer-Encoding: Chunked\r\n\r\n0\r\n\r\n",
         State::Complete},
        {"gzip", head + "Transfer-Encoding: gzip, chunked\r\n\r\n", State::Failed, 501},
        {"length and chunks", head + "Content-Length: 1\r\nTransfer-Encoding: chunked\r\n\r\n",
         State::Failed, 400},
        {"two lengths", head + "Content-Length: 1\r\nContent-Length: 1\r\n\r\n", State::Failed,
         400},
        {"signed length", head + "Content-Length: +1\r\n\r\n", State::Failed, 400},
        {"request line at the limit", "GET /" + std::string(17, 'a') + " HTTP/1.1\r\n\r\n",
         State::Complete},
        {"request line one past", "GET /" + std::string(18, 'a') + " HTTP/1.1\r\n\r\n",
         State::Failed, 414},
        {"head at the limit", "GET / HTTP/1.1\r\nA: " + std::string(73, 'b') + "\r\n\r\n",
         State::Complete},
        {"head one past", "GET / HTTP/1.1\r\nA: " + std::string(74, 'b') + "\r\n\r\n",
         State::Failed, 431},
        {"headers at the limit", "GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\n\r\n", State::Complete},
        {"headers one past", "GET / HTTP/1.1\r\nA: 1\r\nB: 2\r\nC: 3\r\nD: 4\r\n\r\n",
         State::Failed, 431},
        {"folded header", "GET / HTTP/1.1\r\nA: 1\r\n b\r\n\r\n", State::Failed, 400},
        {"blank before the colon", "GET / HTTP/1.1\r\nA : 1\r\n\r\n", State::Failed, 400},
        {"control character", "GET / HTTP/1.1\r\nA: \x01\r\n\r\n", State::Failed, 400},
        {"two Hosts", "GET / HTTP/1.1\r\nHost: a\r\nhost: a\r\n\r\n", State::Failed, 400},
        {"HTTP/2.0", "GET / HTTP/2.0\r\n\r\n", State::Failed, 505},
        {"absolute target", "GET http://a/ HTTP/1.1\r\n\r\n", State::Failed, 400},
        {"broken escape", "GET /%4 HTTP/1.1\r\n\r\n", State::Failed, 400},
        {"NUL escape", "GET /%00 HTTP/1.1\r\n\r\n", State::Failed, 400},
        {"two blanks", "GET  / HTTP/1.1\r\n\r\n", State::Failed, 400},
    };
    for (const ParseRow& row : rows) {
        RequestParser parser(kLimits);
        std::string_view rest = row.bytes;
        rest.remove_prefix(parser.Feed(rest));
        if (parser.state() == State::Body) {
            EXPECT_TRUE(parser.request().body.empty()) << row.note;
            rest.remove_prefix(parser.Feed(rest));
            rest.remove_prefix(parser.Feed(rest));  // an empty call ends a request without body
        }
        EXPECT_EQ(parser.state(), row.state) << row.note;
        EXPECT_EQ(parser.failureStatus(), row.failure) << row.note;
        if (row.state != State::Failed) {
            EXPECT_EQ(parser.request().body, row.body) << row.note;
            EXPECT_EQ(rest.size(), row.leftOver) << row.note;
        }
    }
    RequestParser parser(kLimits);
    parser.Feed("GET /x%41y?t=a+b&t=c&e HTTP/1.1\r\nHost: h\r\n\r\n");
    EXPECT_EQ(parser.request().path, "/xAy");
    EXPECT_EQ(parser.request().Query("t"), "a b");
    EXPECT_EQ(parser.request().query.count("e"), 1u);
    EXPECT_EQ(parser.request().Header("HOST"), "h");
}

// Answers "seen N" with the number of heads it admitted; refuses "/no".
class CountingService : public Service {
  public:
    std::optional<HttpResponse> Admit(const HttpRequest& head) override {
        ++admitted;
        if (!head.body.empty()) bodyBeforeAdmit = true;
        if (head.path == "/no") return ErrorResponse(403, "no");
        return std::nullopt;
    }
    HttpResponse Handle(const HttpRequest& request) override {
        HttpResponse response;
        response.contentType = "text/plain";
        response.stream = request.path == "/events";
        response.streamSeen = 7;
        response.body = response.stream ? "first\n" : "body " + std::to_string(request.body.size());
        return response;
    }
    std::atomic<int> admitted{0};
    std::atomic<bool> bodyBeforeAdmit{false};
};

int Connect(int port) {
    const int fd = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(static_cast<uint16_t>(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    EXPECT_EQ(connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    return fd;
}

// Everything until the server closes (true) or `until` is in what came.
bool ReadUntil(int fd, std::string& got, const std::string& until = "",
               std::chrono::seconds within = std::chrono::seconds(10)) {
    const auto end = std::chrono::steady_clock::now() + within;
    while (std::chrono::steady_clock::now() < end) {
        if (!until.empty() && got.find(until) != std::string::npos) return false;
        pollfd ready{fd, POLLIN, 0};
        if (poll(&ready, 1, 50) <= 0) continue;
        char buffer[4096];
        const ssize_t n = recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0) return true;
        got.append(buffer, static_cast<size_t>(n));
    }
    return false;
}

TEST(HttpServer, AdmitsBeforeTheBodyAndBoundsStreams) {
    CountingService service;
    ServerLimits limits;
    limits.streams = 2;
    limits.headTime = std::chrono::milliseconds(300);
    HttpServer server("127.0.0.1", 0, limits);
    server.Start(service);

    // A refused head: answered before any body is sent, and closed.
    int fd = Connect(server.port());
    const std::string refused = "POST /no HTTP/1.1\r\nContent-Length: 100000000\r\n\r\n";
    send(fd, refused.data(), refused.size(), MSG_NOSIGNAL);
    std::string got;
    EXPECT_TRUE(ReadUntil(fd, got));
    EXPECT_EQ(got.rfind("HTTP/1.1 403 ", 0), 0u) << got;
    close(fd);

    // Keep-alive: two requests on one connection, the second sent behind the first.
    fd = Connect(server.port());
    const std::string two =
        "POST /a HTTP/1.1\r\nContent-Length: 3\r\n\r\nabcGET /b HTTP/1.1\r\nConnection: "
        "close\r\n\r\n";
    send(fd, two.data(), two.size(), MSG_NOSIGNAL);
    got.clear();
    EXPECT_TRUE(ReadUntil(fd, got));
    EXPECT_NE(got.find("body 3"), std::string::npos) << got;
    EXPECT_NE(got.find("body 0"), std::string::npos) << got;
    close(fd);
    EXPECT_FALSE(service.bodyBeforeAdmit);

    // A head that does not end within the head time is closed, unanswered.
    fd = Connect(server.port());
    send(fd, "GET / HTTP/1.1\r\n", 16, MSG_NOSIGNAL);
    got.clear();
    EXPECT_TRUE(ReadUntil(fd, got, "", std::chrono::seconds(5)));
    EXPECT_EQ(got, "");
    close(fd);

    // Streams: the first event, then each broadcast; one past the bound is refused.
    const std::string open = "GET /events HTTP/1.1\r\n\r\n";
    int streams[3];
    std::string heard[3];
    for (int i = 0; i < 3; ++i) {
        streams[i] = Connect(server.port());
        send(streams[i], open.data(), open.size(), MSG_NOSIGNAL);
        if (i < 2) {
            EXPECT_FALSE(ReadUntil(streams[i], heard[i], "first\n"));
        }
    }
    EXPECT_TRUE(ReadUntil(streams[2], heard[2]));
    EXPECT_EQ(heard[2].rfind("HTTP/1.1 503 ", 0), 0u) << heard[2];
    server.Broadcast("news\n");
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(ReadUntil(streams[i], heard[i], "5\r\nnews\n\r\n")) << heard[i];
        EXPECT_NE(heard[i].find("Transfer-Encoding: chunked"), std::string::npos);
    }
    // A broadcast made per stream, from where each stands: nothing for one
    // that is up to date.
    const auto make = [](unsigned long long& seen) {
        return seen == 9 ? std::string() : "seen " + std::to_string(seen++) + "\n";
    };
    server.Broadcast(make);
    server.Broadcast(make);
    server.Broadcast(make);
    for (int i = 0; i < 2; ++i) {
        EXPECT_FALSE(ReadUntil(streams[i], heard[i], "seen 8\n")) << heard[i];
        EXPECT_NE(heard[i].find("seen 7\n"), std::string::npos);
        EXPECT_EQ(heard[i].find("seen 9"), std::string::npos);
    }
    EXPECT_EQ(server.counts().streams, 2u);
    for (const int s : streams) close(s);
    server.Stop();
    EXPECT_EQ(server.counts().connections, 0u);
}

}  // namespace
}  // namespace qmdc::cli::http
