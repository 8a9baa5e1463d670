// The instrument's HiSLIP port: sessions of two connections each (synchronous and
// asynchronous channel), served in synchronized mode from the serving loop of server.cpp,
// on the same instrument as the socket and the terminal. Several clients may be connected at
// once; the locks they take decide whose messages the instrument reads.
#ifndef QMDC_EMULATOR_APP_HISLIP_SERVER_H
#define QMDC_EMULATOR_APP_HISLIP_SERVER_H

#include <poll.h>

#include <chrono>
#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <random>
#include <string>
#include <vector>

#include "app/responder.h"
#include "app/instrument_lock.h"
#include "app/transport.h"
#include "core/engine.h"
#include "hislip_codec.h"

namespace qmdc::emu {

class HislipServer {
  public:
    HislipServer(Engine& engine, Responder& responder, InstrumentLock& lock, bool verbose,
                 Fd listener, int initTimeoutMs);

    // Adds the descriptors poll must watch now to fds; returns how long poll may wait before
    // a lock request times out (ms; -1: no limit).
    int Watch(std::vector<pollfd>& fds);
    // Serves what poll reported on the descriptors Watch added (from fds[first] on), and the
    // lock requests whose time is up.
    void Serve(const std::vector<pollfd>& fds, size_t first);
    // The instrument has just started to request service: every initialised session gets an
    // AsyncServiceRequest with the status byte.
    void SendServiceRequest();

  private:
    using Clock = std::chrono::steady_clock;
    struct Connection;
    struct Session {
        uint16_t id = 0;
        Connection* sync = nullptr;
        Connection* async = nullptr;
        LineSplitter lines;
        ClientCount count;
        uint64_t clientMaxMessage = UINT64_MAX;
        bool lockWaiting = false;
        bool lockWantsExclusive = false;
        std::string lockKey;
        Clock::time_point lockDeadline;
        bool closed = false;
    };
    struct Connection {
        Connection(Fd socket, Clock::time_point initBy) : fd(std::move(socket)), initBy(initBy) {}
        Fd fd;
        Clock::time_point initBy;  // a connection that is no session's channel by then goes
        OutQueue out;
        hislip::Decoder in{kMaxMessage};
        Session* session = nullptr;
        bool async = false;
        bool closing = false;
    };

    static constexpr uint64_t kMaxMessage = 1u << 20;

    void Accept();
    void Receive(Connection& connection);
    // Handles the messages already received on the connection, as far as its locks allow.
    void Drain(Connection& connection);
    void Initialize(Connection& connection, const hislip::Message& message);
    void OnSync(Session& session, const hislip::Message& message);
    void OnAsync(Session& session, const hislip::Message& message);
    void OnLock(Session& session, const hislip::Message& message);
    void Execute(Session& session, uint32_t messageId, const std::string& line);
    static std::string Who(const Session& session);
    void SendReply(Session& session, uint32_t messageId, const std::string& reply);
    bool Send(Connection* connection, hislip::Type type, uint8_t control, uint32_t parameter,
              const std::string& payload = std::string(), Clock::time_point at = {});
    void Fatal(Connection& connection, hislip::FatalCode code, const std::string& text);
    // The connection broke, or its client does not read: its session ends.
    void Lost(Connection& connection);
    void Close(Session& session);
    // Another session's lock keeps this one's messages waiting.
    bool Blocked(const Session& session) const;
    // Whether the connection is a channel of a session whose both channels are set up.
    static bool Initialized(const Connection& connection);
    void DropUninitialized();
    void GrantWaitingLocks();
    void Sweep();
    void Log(const char* direction, const hislip::Header& header, const Session* session) const;

    Engine& engine_;
    Responder& responder_;
    InstrumentLock& lock_;
    bool verbose_;
    Fd listener_;
    std::list<Connection> connections_;
    std::map<uint16_t, Session> sessions_;
    std::chrono::milliseconds initTimeout_;
    std::mt19937 random_;  // session ids: another client must not guess one
    // What the last Watch put into the poll set, in order.
    bool listenerWatched_ = false;
    std::vector<Connection*> watched_;
};

}  // namespace qmdc::emu

#endif
