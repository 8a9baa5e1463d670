#include "app/hislip_server.h"

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>

namespace qmdc::emu {

namespace {

using hislip::FatalCode;
using hislip::Message;
using hislip::Type;

constexpr size_t kMaxSessions = 16;
// Connections at once, sessions or not yet: each costs a descriptor and a buffer.
constexpr size_t kMaxConnections = 2 * kMaxSessions + 16;
constexpr uint16_t kVendorId = 0x514D;  // "QM"

uint8_t Code(hislip::ErrorCode code) {
    return static_cast<uint8_t>(code);
}

}  // namespace

HislipServer::HislipServer(Engine& engine, Responder& responder, InstrumentLock& lock, bool verbose,
                           Fd listener, int initTimeoutMs)
    : engine_(engine),
      responder_(responder),
      lock_(lock),
      verbose_(verbose),
      listener_(std::move(listener)),
      initTimeout_(initTimeoutMs),
      random_(std::random_device{}()) {}

int HislipServer::Watch(std::vector<pollfd>& fds) {
    watched_.clear();
    listenerWatched_ = listener_.valid();
    if (listenerWatched_) fds.push_back(pollfd{listener_.get(), POLLIN, 0});
    for (Connection& connection : connections_) {
        // A session another's lock holds back is not read from, but its answers still go.
        Session* session = connection.session;
        const bool blocked = session != nullptr && !connection.async && Blocked(*session);
        const short events = static_cast<short>((blocked ? 0 : POLLIN) | connection.out.Events());
        fds.push_back(pollfd{connection.fd.get(), events, 0});
        watched_.push_back(&connection);
    }
    int wait = -1;
    for (const auto& [id, session] : sessions_)
        if (session.lockWaiting) wait = Sooner(wait, MsUntil(session.lockDeadline));
    for (const Connection& connection : connections_)
        wait = Sooner(Sooner(wait, connection.out.WaitMs()),
                      Initialized(connection) ? -1 : MsUntil(connection.initBy));
    return wait;
}

void HislipServer::Serve(const std::vector<pollfd>& fds, size_t first) {
    size_t index = first;
    if (listenerWatched_ && fds[index++].revents != 0) Accept();
    for (Connection* connection : watched_) {
        const short revents = fds[index++].revents;
        if ((revents & ~POLLOUT) != 0 && !connection->closing) Receive(*connection);
    }
    // Answers whose time has come go whatever woke the loop; a session dropped after its
    // last answer (--drop-after) ends once that has gone.
    for (Connection& connection : connections_) {
        if (!connection.closing && !connection.out.Flush(connection.fd.get())) Lost(connection);
        Session* session = connection.session;
        if (session != nullptr && !connection.async && session->count.drop &&
            connection.out.empty())
            Close(*session);
    }
    GrantWaitingLocks();
    DropUninitialized();
    // A released lock lets other sessions' waiting messages in.
    for (Connection& connection : connections_) {
        if (!connection.async && !connection.closing) Drain(connection);
    }
    Sweep();
}

void HislipServer::Accept() {
    Fd client = AcceptClient(listener_.get());
    if (!client.valid()) return;
    if (connections_.size() >= kMaxConnections) return;  // closed at once: no room
    connections_.emplace_back(std::move(client), Clock::now() + initTimeout_);
    if (verbose_) std::fprintf(stderr, "[hislip] connection accepted\n");
}

void HislipServer::Receive(Connection& connection) {
    char buffer[65536];
    const ssize_t count = ::read(connection.fd.get(), buffer, sizeof buffer);
    if (count < 0 && (errno == EINTR || errno == EAGAIN)) return;
    if (count <= 0) {
        if (verbose_) std::fprintf(stderr, "[hislip] connection closed\n");
        if (connection.session != nullptr) {
            Close(*connection.session);
        } else {
            connection.closing = true;
        }
        return;
    }
    connection.in.feed(buffer, static_cast<size_t>(count));
    Drain(connection);
}

void HislipServer::Drain(Connection& connection) {
    while (!connection.closing) {
        Session* session = connection.session;
        if (session != nullptr && !connection.async && Blocked(*session)) return;
        Message message;
        switch (connection.in.next(&message)) {
            case hislip::Decoder::Result::NeedMore:
                return;
            case hislip::Decoder::Result::BadPrologue:
                Fatal(connection, FatalCode::PoorlyFormedHeader, "the prologue is not HS");
                return;
            case hislip::Decoder::Result::TooLong:
                Fatal(connection, FatalCode::PoorlyFormedHeader, "the message is too large");
                return;
            case hislip::Decoder::Result::Message:
                break;
        }
        Log("<-", message.header, session);
        if (session == nullptr) {
            Initialize(connection, message);
        } else if (connection.async) {
            OnAsync(*session, message);
        } else if (session->async == nullptr) {
            Fatal(connection, FatalCode::ChannelsNotInitialized,
                  "the asynchronous channel is not initialized");
        } else {
            OnSync(*session, message);
        }
    }
}

void HislipServer::Initialize(Connection& connection, const Message& message) {
    if (message.type() == Type::Initialize) {
        if (message.payload.compare(0, 6, "hislip") != 0) {
            Fatal(connection, FatalCode::InvalidInitialization, "unknown sub-address");
            return;
        }
        if (sessions_.size() >= kMaxSessions) {
            Fatal(connection, FatalCode::TooManyClients, "too many clients");
            return;
        }
        // Drawn at random: the id is all that ties an asynchronous channel to its session.
        uint16_t id = 0;
        while (id == 0 || sessions_.count(id) != 0) id = static_cast<uint16_t>(random_());
        Session& session = sessions_[id];
        session.id = id;
        session.sync = &connection;
        connection.session = &session;
        // Control code 0: synchronized mode.
        Send(&connection, Type::InitializeResponse, 0,
             uint32_t{hislip::kProtocolVersion} << 16 | session.id);
        return;
    }
    if (message.type() == Type::AsyncInitialize) {
        const auto found = sessions_.find(static_cast<uint16_t>(message.header.parameter));
        if (found != sessions_.end() && !found->second.closed && found->second.async == nullptr) {
            Session& session = found->second;
            session.async = &connection;
            connection.session = &session;
            connection.async = true;
            Send(&connection, Type::AsyncInitializeResponse, 0, kVendorId);
            return;
        }
    }
    Fatal(connection, FatalCode::InvalidInitialization, "expected Initialize or AsyncInitialize");
}

void HislipServer::OnSync(Session& session, const Message& message) {
    switch (message.type()) {
        case Type::Data:
        case Type::DataEnd:
            // Each line is run as it is complete; its answer carries the id of the message
            // that completed it.
            session.lines.Feed(message.payload, message.type() == Type::DataEnd, responder_,
                               Who(session), [&](const std::string& line) {
                                   Execute(session, message.header.parameter, line);
                                   return !session.closed && !session.count.drop;
                               });
            return;
        case Type::Trigger:
            // A group execute trigger: the supply has no trigger subsystem, so it only
            // ends the message before it, as the protocol asks.
            return;
        case Type::DeviceClearComplete:
            session.lines.Clear();
            Send(session.sync, Type::DeviceClearAcknowledge, 0, 0);
            return;
        case Type::FatalError:
            Close(session);
            return;
        case Type::Error:
            return;
        default:
            Send(session.sync, Type::Error, Code(hislip::ErrorCode::UnrecognizedType), 0,
                 "not a message of the synchronous channel");
    }
}

void HislipServer::OnAsync(Session& session, const Message& message) {
    switch (message.type()) {
        case Type::AsyncMaximumMessageSize:
            if (!hislip::decodeSize(message.payload, &session.clientMaxMessage)) {
                Send(session.async, Type::Error, Code(hislip::ErrorCode::Unidentified), 0,
                     "the size takes 8 bytes");
                return;
            }
            Send(session.async, Type::AsyncMaximumMessageSizeResponse, 0, 0,
                 hislip::encodeSize(kMaxMessage));
            return;
        case Type::AsyncStatusQuery:
            Send(session.async, Type::AsyncStatusResponse,
                 static_cast<uint8_t>(engine_.instrument().status().StatusByte()), 0);
            return;
        case Type::AsyncDeviceClear:
            session.lines.Clear();
            Send(session.async, Type::AsyncDeviceClearAcknowledge, 0, 0);
            return;
        case Type::AsyncLock:
            OnLock(session, message);
            return;
        case Type::AsyncLockInfo:
            Send(session.async, Type::AsyncLockInfoResponse, lock_.ExclusiveHeld() ? 1 : 0,
                 static_cast<uint32_t>(lock_.Holders()));
            return;
        case Type::AsyncRemoteLocalControl:
            if (message.header.control > 6) {
                Send(session.async, Type::Error, Code(hislip::ErrorCode::UnrecognizedControl), 0,
                     "no such remote/local request");
                return;
            }
            Send(session.async, Type::AsyncRemoteLocalResponse, 0, 0);
            return;
        case Type::FatalError:
            Close(session);
            return;
        case Type::Error:
            return;
        default:
            Send(session.async, Type::Error, Code(hislip::ErrorCode::UnrecognizedType), 0,
                 "not a message of the asynchronous channel");
    }
}

void HislipServer::OnLock(Session& session, const Message& message) {
    const auto answer = [&](hislip::LockResult result) {
        Send(session.async, Type::AsyncLockResponse, static_cast<uint8_t>(result), 0);
    };
    if (message.header.control == 0) {  // release
        switch (lock_.Release(&session)) {
            case InstrumentLock::Held::Exclusive:
                answer(hislip::LockResult::Success);
                break;
            case InstrumentLock::Held::Shared:
                answer(hislip::LockResult::SuccessShared);
                break;
            case InstrumentLock::Held::None:
                answer(hislip::LockResult::Error);
                break;
        }
        GrantWaitingLocks();
        return;
    }
    if (message.header.control != 1 || session.lockWaiting) {
        answer(hislip::LockResult::Error);
        return;
    }
    const bool exclusive = message.payload.empty();
    if (lock_.CanLock(&session, exclusive, message.payload)) {
        lock_.Grant(&session, exclusive, message.payload);
        answer(hislip::LockResult::Success);
    } else if (message.header.parameter == 0) {
        answer(hislip::LockResult::Failure);
    } else {
        session.lockWaiting = true;
        session.lockWantsExclusive = exclusive;
        session.lockKey = message.payload;
        session.lockDeadline = Clock::now() + std::chrono::milliseconds(message.header.parameter);
    }
}

void HislipServer::GrantWaitingLocks() {
    const Clock::time_point now = Clock::now();
    for (auto& [id, session] : sessions_) {
        if (!session.lockWaiting || session.closed) continue;
        hislip::LockResult result;
        if (lock_.CanLock(&session, session.lockWantsExclusive, session.lockKey)) {
            lock_.Grant(&session, session.lockWantsExclusive, session.lockKey);
            result = hislip::LockResult::Success;
        } else if (now >= session.lockDeadline) {
            result = hislip::LockResult::Failure;
        } else {
            continue;
        }
        session.lockWaiting = false;
        Send(session.async, Type::AsyncLockResponse, static_cast<uint8_t>(result), 0);
    }
}

bool HislipServer::Blocked(const Session& session) const {
    return lock_.Blocks(&session);
}

bool HislipServer::Initialized(const Connection& connection) {
    return connection.session != nullptr &&
           (connection.async || connection.session->async != nullptr);
}

void HislipServer::DropUninitialized() {
    // A connection that has not become a whole session in time: left alone, 16 of them
    // would keep every other client out.
    const Clock::time_point now = Clock::now();
    for (Connection& connection : connections_) {
        if (connection.closing || Initialized(connection) || now < connection.initBy) continue;
        if (verbose_) std::fprintf(stderr, "[hislip] initialisation timed out\n");
        Fatal(connection, FatalCode::InvalidInitialization, "initialisation not finished in time");
    }
}

std::string HislipServer::Who(const Session& session) {
    return "hislip " + std::to_string(session.id);
}

void HislipServer::Execute(Session& session, uint32_t messageId, const std::string& line) {
    const std::string reply = responder_.Run(Who(session), line, session.count);
    if (!reply.empty()) SendReply(session, messageId, reply);
}

void HislipServer::SendServiceRequest() {
    // The request goes to every client, as a GPIB SRQ line is seen by every controller; a
    // session whose asynchronous channel is not set up yet has nowhere to receive it.
    const auto stb = static_cast<uint8_t>(engine_.instrument().status().StatusByte());
    for (auto& [id, session] : sessions_) {
        if (!session.closed && session.async != nullptr)
            Send(session.async, Type::AsyncServiceRequest, stb, 0);
    }
}

void HislipServer::SendReply(Session& session, uint32_t messageId, const std::string& reply) {
    // Data messages as the fault options cut and time them (never more than the client
    // accepts), the last one a DataEnd.
    const size_t maxChunk = session.clientMaxMessage > hislip::kHeaderSize
                                ? static_cast<size_t>(std::min<uint64_t>(
                                      session.clientMaxMessage - hislip::kHeaderSize, SIZE_MAX))
                                : 0;
    const std::vector<TimedPiece> pieces =
        Schedule(reply, responder_.faults(), Clock::now(), maxChunk);
    for (size_t i = 0; i < pieces.size() && !session.closed; ++i) {
        const Type type = i + 1 == pieces.size() ? Type::DataEnd : Type::Data;
        if (!Send(session.sync, type, 0, messageId, pieces[i].bytes, pieces[i].at)) return;
    }
}

bool HislipServer::Send(Connection* connection, Type type, uint8_t control, uint32_t parameter,
                        const std::string& payload, Clock::time_point at) {
    if (connection == nullptr || connection->closing) return false;
    Log("->", {static_cast<uint8_t>(type), control, parameter, payload.size()},
        connection->session);
    // A client that leaves its answers (or service requests) untaken loses its session
    // when they pass the queue's limit; the others are not held up meanwhile.
    if (connection->out.Send(connection->fd.get(),
                             hislip::message(type, control, parameter, payload), at))
        return true;
    if (verbose_) std::fprintf(stderr, "[hislip] a client that does not read is dropped\n");
    Lost(*connection);
    return false;
}

void HislipServer::Lost(Connection& connection) {
    if (connection.session != nullptr) {
        Close(*connection.session);
    } else {
        connection.closing = true;
    }
}

void HislipServer::Fatal(Connection& connection, FatalCode code, const std::string& text) {
    Send(&connection, Type::FatalError, static_cast<uint8_t>(code), 0, text);
    if (connection.session != nullptr) {
        Close(*connection.session);
    } else {
        connection.closing = true;
    }
}

void HislipServer::Close(Session& session) {
    if (session.closed) return;
    session.closed = true;
    lock_.ReleaseAll(&session);
    session.lockWaiting = false;
    for (Connection* connection : {session.sync, session.async}) {
        if (connection == nullptr) continue;
        connection->closing = true;
        ::shutdown(connection->fd.get(), SHUT_RDWR);
    }
    if (verbose_) std::fprintf(stderr, "[hislip %u] session closed\n", session.id);
}

void HislipServer::Sweep() {
    connections_.remove_if([](const Connection& connection) { return connection.closing; });
    for (auto it = sessions_.begin(); it != sessions_.end();) {
        it = it->second.closed ? sessions_.erase(it) : std::next(it);
    }
}

void HislipServer::Log(const char* direction, const hislip::Header& header,
                       const Session* session) const {
    if (!verbose_) return;
    std::fprintf(stderr, "[hislip %u] %s %s control %u parameter 0x%08x, %llu bytes\n",
                 session != nullptr ? session->id : 0, direction,
                 hislip::typeName(header.type).c_str(), header.control, header.parameter,
                 static_cast<unsigned long long>(header.length));
}

}  // namespace qmdc::emu
