#include "http/http_server.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <deque>
#include <map>
#include <mutex>
#include <thread>

#include "failure.h"
#include "http/listen_address.h"

namespace qmdc::cli::http {
namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kReadSize = 16 * 1024;
// After a refusal the rest of a body is read and dropped for a while, so
// that the client reads the refusal rather than a reset connection.
constexpr size_t kLingerBytes = 1 << 20;
constexpr auto kLingerTime = std::chrono::seconds(2);
constexpr size_t kAcceptsPerTurn = 64;
constexpr auto kAcceptPause = std::chrono::milliseconds(100);
constexpr auto kLongestWait = std::chrono::milliseconds(1000);

const char kOverloaded[] =
    "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json\r\nContent-Length: "
    "47\r\nConnection: close\r\n\r\n{\"error\": \"too many connections: try later\"}\n";

std::string Chunk(const std::string& text) {
    char size[24];
    std::snprintf(size, sizeof size, "%zx\r\n", text.size());
    return size + text + "\r\n";
}

std::string Head(const HttpResponse& response, bool keepAlive) {
    std::string head = "HTTP/1.1 " + std::to_string(response.status) + " " +
                       ReasonPhrase(response.status) + "\r\nContent-Type: " + response.contentType +
                       "\r\n";
    for (const auto& [name, value] : response.headers) head += name + ": " + value + "\r\n";
    head += response.stream ? std::string("Transfer-Encoding: chunked\r\n")
                            : "Content-Length: " + std::to_string(response.body.size()) + "\r\n";
    if (!keepAlive) head += "Connection: close\r\n";
    return head + "\r\n";
}

// The server's own refusals (of the request's form, not of its sender).
HttpResponse ServerRefusal(int status, const std::string& text) {
    HttpResponse response = ErrorResponse(status, text);
    response.headers = {{"Cache-Control", "no-store"}, {"X-Content-Type-Options", "nosniff"}};
    return response;
}

std::string PeerAddress(const sockaddr_storage& address) {
    char text[INET6_ADDRSTRLEN] = "?";
    if (address.ss_family == AF_INET) {
        inet_ntop(AF_INET, &reinterpret_cast<const sockaddr_in*>(&address)->sin_addr, text,
                  sizeof text);
    } else if (address.ss_family == AF_INET6) {
        inet_ntop(AF_INET6, &reinterpret_cast<const sockaddr_in6*>(&address)->sin6_addr, text,
                  sizeof text);
    }
    return text;
}

// Room for every connection the limits allow, within the hard limit.
void RaiseFileLimit(size_t connections) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) return;
    const rlim_t wanted = static_cast<rlim_t>(connections) + 256;
    if (limit.rlim_cur >= wanted) return;
    limit.rlim_cur = limit.rlim_max == RLIM_INFINITY ? wanted : std::min(wanted, limit.rlim_max);
    setrlimit(RLIMIT_NOFILE, &limit);
}

}  // namespace

class HttpServer::Loop {
  public:
    Loop(const std::string& address, int port, const ServerLimits& limits);
    ~Loop();
    void Start(Service& service);
    void Stop();
    void Broadcast(const std::string& text);
    void Broadcast(EventMaker make);
    int port() const { return port_; }
    const std::string& address() const { return address_; }
    Counts counts() const { return {connectionCount_.load(), streamCount_.load()}; }

  private:
    enum class Phase { Reading, Busy, Writing, Streaming, Lingering };
    struct Connection {
        Connection(uint64_t id, int fd, std::string client, const RequestLimits& limits)
            : id(id), fd(fd), client(std::move(client)), parser(limits) {}
        const uint64_t id;
        const int fd;
        const std::string client;
        Phase phase = Phase::Reading;
        RequestParser parser;
        bool headChecked = false;  // this request's head went through Admit
        bool admitted = false;     // a request on this connection ever did
        bool closed = false;
        bool closeAfter = false;  // once the answer is out
        bool lingerAfter = false;
        size_t lingered = 0;
        std::string inbox;  // read and not yet taken by the parser
        std::deque<std::shared_ptr<const std::string>> outbox;
        size_t sent = 0;  // of the outbox's first
        size_t backlog = 0;
        unsigned long long seen = 0;  // a stream's place, for an EventMaker
        Clock::time_point deadline = Clock::time_point::max();
    };
    struct ClientCount {
        size_t connections = 0, unadmitted = 0;
    };
    struct Job {
        uint64_t id;
        HttpRequest request;
        bool keepAlive;
    };
    struct Finished {
        uint64_t id;
        HttpResponse response;
        bool keepAlive, head;
    };

    void Run();
    void Work();
    void Wake();
    void Accept(Clock::time_point now);
    void TakeFinished(Clock::time_point now);
    void OnReadable(Connection& c, Clock::time_point now);
    void OnWritable(Connection& c, Clock::time_point now);
    void Advance(Connection& c, Clock::time_point now);
    void Respond(Connection& c, HttpResponse response, bool keepAlive, bool head,
                 Clock::time_point now);
    void Refuse(Connection& c, const HttpResponse& refusal, Clock::time_point now);
    void Queue(Connection& c, std::shared_ptr<const std::string> bytes);
    void Close(Connection& c) { c.closed = true; }
    void Sweep();
    void MakeRoom(const std::string* client, Clock::time_point now);

    Service* service_ = nullptr;
    const ServerLimits limits_;
    const std::string address_;
    int listener_ = -1;
    int port_ = 0;
    int wake_[2] = {-1, -1};

    std::mutex mutex_;  // guards what follows
    std::condition_variable jobReady_;
    std::deque<Job> jobs_;
    std::vector<Finished> finished_;
    // Each a chunk for every stream, or (chunk empty) a maker of one per stream.
    std::vector<std::pair<std::shared_ptr<const std::string>, EventMaker>> broadcasts_;
    bool stopping_ = false;

    // The loop's thread only.
    std::map<uint64_t, std::unique_ptr<Connection>> connections_;
    std::map<std::string, ClientCount> clients_;
    uint64_t nextId_ = 1;
    size_t streams_ = 0;
    Clock::time_point acceptAgainAt_{};

    std::atomic<size_t> connectionCount_{0}, streamCount_{0};
    std::thread thread_;
    std::vector<std::thread> workers_;
};

HttpServer::Loop::Loop(const std::string& address, int port, const ServerLimits& limits)
    : limits_(limits), address_(address) {
    RaiseFileLimit(limits_.connections);
    listener_ = ListenOn(address, port);
    port_ = PortOf(listener_);
    if (pipe2(wake_, O_NONBLOCK | O_CLOEXEC) != 0) {
        close(listener_);
        throw Failure("cannot make the server's wake-up pipe");
    }
}

void HttpServer::Loop::Start(Service& service) {
    if (service_ != nullptr) return;
    service_ = &service;
    thread_ = std::thread([this] { Run(); });
    for (size_t i = 0; i < std::max<size_t>(1, limits_.workers); ++i) {
        workers_.emplace_back([this] { Work(); });
    }
}

HttpServer::Loop::~Loop() {
    Stop();
}

void HttpServer::Loop::Stop() {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_ && !thread_.joinable()) return;
        stopping_ = true;
    }
    jobReady_.notify_all();
    Wake();
    if (thread_.joinable()) thread_.join();
    for (std::thread& worker : workers_) worker.join();
    workers_.clear();
    for (auto& [id, c] : connections_) close(c->fd);
    connections_.clear();
    connectionCount_ = streamCount_ = 0;
    for (int fd : {listener_, wake_[0], wake_[1]}) {
        if (fd >= 0) close(fd);
    }
    listener_ = wake_[0] = wake_[1] = -1;
}

void HttpServer::Loop::Wake() {
    const char byte = 1;
    if (write(wake_[1], &byte, 1) < 0) {
        // Full: the loop has a wake-up pending anyway.
    }
}

void HttpServer::Loop::Broadcast(const std::string& text) {
    auto chunk = std::make_shared<const std::string>(Chunk(text));
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        broadcasts_.emplace_back(std::move(chunk), nullptr);
    }
    Wake();
}

void HttpServer::Loop::Broadcast(EventMaker make) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        if (stopping_) return;
        broadcasts_.emplace_back(nullptr, std::move(make));
    }
    Wake();
}

void HttpServer::Loop::Work() {
    for (;;) {
        Job job;
        {
            std::unique_lock<std::mutex> lock(mutex_);
            jobReady_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_) return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        Finished done{job.id, {}, job.keepAlive, job.request.method == "HEAD"};
        try {
            done.response = service_->Handle(job.request);
        } catch (const std::exception& error) {
            done.response = ServerRefusal(500, EchoText(error.what(), 200));
        } catch (...) {
            done.response = ServerRefusal(500, "the request failed");
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            finished_.push_back(std::move(done));
        }
        Wake();
    }
}

void HttpServer::Loop::Run() {
    std::vector<pollfd> fds;
    std::vector<Connection*> owners;
    for (;;) {
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (stopping_) return;
        }
        Clock::time_point now = Clock::now();
        fds.assign(1, pollfd{wake_[0], POLLIN, 0});
        owners.assign(1, nullptr);
        const bool accepting = now >= acceptAgainAt_;
        if (accepting) {
            fds.push_back({listener_, POLLIN, 0});
            owners.push_back(nullptr);
        }
        Clock::time_point wakeAt = now + (accepting ? kLongestWait : kAcceptPause);
        for (auto& [id, c] : connections_) {
            short events = 0;
            switch (c->phase) {
                case Phase::Reading:
                case Phase::Lingering:
                    events = POLLIN;
                    break;
                case Phase::Writing:
                    events = POLLOUT;
                    break;
                case Phase::Streaming:
                    events = POLLIN | (c->outbox.empty() ? 0 : POLLOUT);
                    break;
                case Phase::Busy:
                    break;  // a hang-up is still reported
            }
            fds.push_back({c->fd, events, 0});
            owners.push_back(c.get());
            wakeAt = std::min(wakeAt, c->deadline);
        }
        const auto wait = std::chrono::duration_cast<std::chrono::milliseconds>(wakeAt - now);
        poll(fds.data(), fds.size(), static_cast<int>(std::max<long long>(0, wait.count()) + 1));
        now = Clock::now();
        if (fds[0].revents != 0) {
            char drain[256];
            while (read(wake_[0], drain, sizeof drain) > 0) {
            }
        }
        TakeFinished(now);
        for (size_t i = 0; i < fds.size(); ++i) {
            Connection* c = owners[i];
            if (c == nullptr || c->closed || fds[i].revents == 0) continue;
            const short revents = fds[i].revents;
            if ((revents & (POLLERR | POLLNVAL)) != 0 ||
                (c->phase == Phase::Busy && (revents & POLLHUP) != 0)) {
                Close(*c);
                continue;
            }
            if ((revents & POLLOUT) != 0) OnWritable(*c, now);
            if (!c->closed && (revents & (POLLIN | POLLHUP)) != 0) OnReadable(*c, now);
        }
        for (auto& [id, c] : connections_) {
            if (now >= c->deadline) Close(*c);  // a slow client: no answer is owed
        }
        Sweep();
        if (accepting && fds[1].revents != 0) Accept(now);  // owners are not used past here
    }
}

void HttpServer::Loop::Accept(Clock::time_point now) {
    for (size_t i = 0; i < kAcceptsPerTurn; ++i) {
        sockaddr_storage peer{};
        socklen_t size = sizeof peer;
        const int fd = accept4(listener_, reinterpret_cast<sockaddr*>(&peer), &size,
                               SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (fd < 0) {
            if (errno == EMFILE || errno == ENFILE || errno == ENOBUFS || errno == ENOMEM) {
                acceptAgainAt_ = now + kAcceptPause;  // out of descriptors: others close first
            }
            if (errno == EINTR || errno == ECONNABORTED) continue;
            return;
        }
        const std::string client = PeerAddress(peer);
        // Connections no request was admitted on yet make room for new ones,
        // the oldest first: a client that opens many and sends nothing
        // cannot keep another's request out.
        if (clients_[client].unadmitted >= limits_.unadmittedPerClient) MakeRoom(&client, now);
        if (connectionCount_ >= limits_.connections) MakeRoom(nullptr, now);
        ClientCount& count = clients_[client];
        if (connectionCount_ >= limits_.connections ||
            count.connections >= limits_.connectionsPerClient) {
            if (send(fd, kOverloaded, sizeof kOverloaded - 1, MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
                // The client learns it from the closed connection instead.
            }
            close(fd);
            if (count.connections == 0) clients_.erase(client);
            continue;
        }
        const int on = 1;
        setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &on, sizeof on);
        ++count.connections;
        ++count.unadmitted;
        auto c = std::make_unique<Connection>(nextId_++, fd, client, limits_.request);
        c->deadline = now + limits_.headTime;
        connections_.emplace(c->id, std::move(c));
        ++connectionCount_;
    }
}

void HttpServer::Loop::MakeRoom(const std::string* client, Clock::time_point now) {
    const auto counts = [&](const Connection& c) {
        return !c.closed && !c.admitted && (client == nullptr || c.client == *client);
    };
    const auto over = [&] {
        return client != nullptr ? clients_[*client].unadmitted >= limits_.unadmittedPerClient
                                 : connectionCount_ >= limits_.connections;
    };
    // Heads that have arrived are read first (the accepts of one turn come
    // before their reads): only connections that are still silent close.
    for (auto& [id, c] : connections_) {
        if (counts(*c) && c->phase == Phase::Reading) OnReadable(*c, now);
    }
    Sweep();
    while (over()) {
        Connection* oldest = nullptr;
        for (auto& [id, c] : connections_) {
            if (counts(*c)) {
                oldest = c.get();
                break;
            }
        }
        if (oldest == nullptr) return;
        Close(*oldest);
        Sweep();
    }
}

void HttpServer::Loop::TakeFinished(Clock::time_point now) {
    std::vector<Finished> finished;
    std::vector<std::pair<std::shared_ptr<const std::string>, EventMaker>> broadcasts;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        finished.swap(finished_);
        broadcasts.swap(broadcasts_);
    }
    for (Finished& done : finished) {
        const auto found = connections_.find(done.id);
        if (found == connections_.end() || found->second->closed) continue;  // gone meanwhile
        Respond(*found->second, std::move(done.response), done.keepAlive, done.head, now);
    }
    for (const auto& [shared, make] : broadcasts) {
        for (auto& [id, c] : connections_) {
            if (c->phase != Phase::Streaming || c->closed) continue;
            std::shared_ptr<const std::string> chunk = shared;
            if (make) {
                const std::string text = make(c->seen);
                if (text.empty()) continue;
                chunk = std::make_shared<const std::string>(Chunk(text));
            }
            if (c->backlog + chunk->size() > limits_.streamBacklog) {
                Close(*c);  // a reader that stopped reading; its page connects again
            } else {
                Queue(*c, chunk);
                OnWritable(*c, now);
            }
        }
    }
}

void HttpServer::Loop::Queue(Connection& c, std::shared_ptr<const std::string> bytes) {
    if (bytes->empty()) return;
    c.backlog += bytes->size();
    c.outbox.push_back(std::move(bytes));
}

void HttpServer::Loop::OnReadable(Connection& c, Clock::time_point now) {
    char buffer[kReadSize];
    const ssize_t got = recv(c.fd, buffer, sizeof buffer, MSG_DONTWAIT);
    if (got < 0) {
        if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Close(c);
        return;
    }
    if (got == 0) {  // the client is done sending
        Close(c);
        return;
    }
    switch (c.phase) {
        case Phase::Reading:
            c.inbox.append(buffer, static_cast<size_t>(got));
            Advance(c, now);
            break;
        case Phase::Lingering:
            c.lingered += static_cast<size_t>(got);
            if (c.lingered > kLingerBytes) Close(c);
            break;
        default:
            break;  // a stream's page has nothing to say; dropped
    }
}

void HttpServer::Loop::Advance(Connection& c, Clock::time_point now) {
    while (c.phase == Phase::Reading && !c.closed) {
        const bool started = c.parser.started();
        const size_t used = c.parser.Feed(c.inbox);
        c.inbox.erase(0, used);
        if (!started && c.parser.started()) c.deadline = now + limits_.headTime;
        switch (c.parser.state()) {
            case RequestParser::State::Failed:
                Refuse(c, ServerRefusal(c.parser.failureStatus(), c.parser.failureText()), now);
                return;
            case RequestParser::State::Body:
                if (!c.headChecked) {
                    c.headChecked = true;
                    if (std::optional<HttpResponse> refusal = service_->Admit(c.parser.request())) {
                        Refuse(c, *refusal, now);
                        return;
                    }
                    if (!c.admitted) {
                        c.admitted = true;
                        --clients_[c.client].unadmitted;
                    }
                    c.deadline = now + limits_.bodyTime;
                    if (c.parser.expectsContinue()) {
                        static const char kContinue[] = "HTTP/1.1 100 Continue\r\n\r\n";
                        if (send(c.fd, kContinue, sizeof kContinue - 1,
                                 MSG_DONTWAIT | MSG_NOSIGNAL) < 0) {
                            // The client sends its body after a wait of its own.
                        }
                    }
                    continue;  // the body, or a refusal of its size or coding
                }
                if (used == 0) return;  // more to read
                break;
            case RequestParser::State::Complete: {
                c.phase = Phase::Busy;
                c.deadline = Clock::time_point::max();
                {
                    const std::lock_guard<std::mutex> lock(mutex_);
                    jobs_.push_back({c.id, std::move(c.parser.request()), c.parser.keepAlive()});
                }
                jobReady_.notify_one();
                return;
            }
            case RequestParser::State::Head:
                return;  // more to read
        }
    }
}

void HttpServer::Loop::Respond(Connection& c, HttpResponse response, bool keepAlive, bool head,
                               Clock::time_point now) {
    if (response.stream && streams_ >= limits_.streams) {
        response = ServerRefusal(503, "too many event streams are open (at most " +
                                          std::to_string(limits_.streams) + ")");
        keepAlive = false;
    }
    std::string bytes = Head(response, keepAlive);
    if (response.stream) {
        if (!response.body.empty()) bytes += Chunk(response.body);
        c.phase = Phase::Streaming;
        c.seen = response.streamSeen;
        c.deadline = Clock::time_point::max();
        ++streams_;
        ++streamCount_;
    } else {
        if (!head) bytes += response.body;
        c.phase = Phase::Writing;
        c.closeAfter = !keepAlive;
        c.deadline = now + limits_.writeTime;
    }
    Queue(c, std::make_shared<const std::string>(std::move(bytes)));
    OnWritable(c, now);
}

void HttpServer::Loop::Refuse(Connection& c, const HttpResponse& refusal, Clock::time_point now) {
    c.lingerAfter = true;  // the body, if any, is left unread
    Respond(c, refusal, false, false, now);
}

void HttpServer::Loop::OnWritable(Connection& c, Clock::time_point now) {
    while (!c.outbox.empty()) {
        const std::string& front = *c.outbox.front();
        const ssize_t put =
            send(c.fd, front.data() + c.sent, front.size() - c.sent, MSG_DONTWAIT | MSG_NOSIGNAL);
        if (put < 0) {
            if (errno != EAGAIN && errno != EWOULDBLOCK && errno != EINTR) Close(c);
            return;
        }
        c.sent += static_cast<size_t>(put);
        c.backlog -= static_cast<size_t>(put);
        if (c.phase == Phase::Writing) c.deadline = now + limits_.writeTime;
        if (c.sent == front.size()) {
            c.outbox.pop_front();
            c.sent = 0;
        }
    }
    if (c.phase != Phase::Writing) return;
    if (c.closeAfter) {
        if (!c.lingerAfter) {
            Close(c);
            return;
        }
        shutdown(c.fd, SHUT_WR);
        c.phase = Phase::Lingering;
        c.deadline = now + kLingerTime;
        return;
    }
    c.parser.Reset();
    c.headChecked = false;
    c.phase = Phase::Reading;
    c.deadline = now + limits_.idleTime;
    Advance(c, now);  // a request sent right behind the last
}

void HttpServer::Loop::Sweep() {
    for (auto at = connections_.begin(); at != connections_.end();) {
        Connection& c = *at->second;
        if (!c.closed) {
            ++at;
            continue;
        }
        close(c.fd);
        ClientCount& count = clients_[c.client];
        --count.connections;
        if (!c.admitted) --count.unadmitted;
        if (count.connections == 0) clients_.erase(c.client);
        if (c.phase == Phase::Streaming) {
            --streams_;
            --streamCount_;
        }
        --connectionCount_;
        at = connections_.erase(at);
    }
}

HttpServer::HttpServer(const std::string& address, int port, ServerLimits limits)
    : loop_(std::make_unique<Loop>(address, port, limits)) {}

void HttpServer::Start(Service& service) {
    loop_->Start(service);
}

HttpServer::~HttpServer() = default;

int HttpServer::port() const {
    return loop_->port();
}

const std::string& HttpServer::address() const {
    return loop_->address();
}

std::vector<std::string> HttpServer::Urls(const std::string& pathAndQuery) const {
    std::vector<std::string> urls;
    for (const std::string& host : ReachableAuthorities(loop_->address(), loop_->port())) {
        urls.push_back("http://" + host + pathAndQuery);
    }
    return urls;
}

void HttpServer::Broadcast(const std::string& text) {
    loop_->Broadcast(text);
}

void HttpServer::Broadcast(EventMaker make) {
    loop_->Broadcast(std::move(make));
}

void HttpServer::Stop() {
    loop_->Stop();
}

HttpServer::Counts HttpServer::counts() const {
    return loop_->counts();
}

}  // namespace qmdc::cli::http
