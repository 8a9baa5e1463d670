// An HTTP/1.1 request read from bytes as they arrive, without I/O. It stops
// after the head (request line and headers), so that the server can check
// who asks before it reads a byte of the body, and it holds every part to a
// limit: the request line, the head, the number of headers, and the body
// whether its length is stated or it comes in chunks.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "http/http_message.h"

namespace qmdc::cli::http {

struct RequestLimits {
    size_t requestLine = 8 * 1024;
    size_t head = 16 * 1024;  // request line, headers, and the trailers of a chunked body
    size_t headers = 64;
    size_t body = 64 * 1024;  // after the chunks are joined
};

class RequestParser {
  public:
    // Head: reading the head. Body: the head is read (request() has it, body
    // empty) and the body is next; Feed reads it. Complete: request() is
    // whole. Failed: answer failureStatus() with failureText() and close.
    enum class State { Head, Body, Complete, Failed };

    explicit RequestParser(const RequestLimits& limits) : limits_(limits) {}

    // Takes what it needs of bytes and returns how many it took. It takes
    // nothing beyond the end of the head or of the request: what follows
    // stays with the caller. In Body, an empty call moves a request without
    // a body to Complete, and reports a body it refuses (size, coding).
    size_t Feed(std::string_view bytes);

    State state() const { return state_; }
    bool started() const { return state_ != State::Head || !head_.empty(); }
    HttpRequest& request() { return request_; }
    int failureStatus() const { return failureStatus_; }
    const std::string& failureText() const { return failureText_; }
    bool keepAlive() const { return keepAlive_; }
    bool expectsContinue() const { return expectsContinue_; }

    // Ready for the next request on the same connection.
    void Reset();

  private:
    enum class Framing { None, Length, Chunked };
    enum class ChunkStep { Size, Data, DataEnd, Trailer };

    size_t FeedHead(std::string_view bytes);
    size_t FeedBody(std::string_view bytes);
    size_t FeedChunks(std::string_view bytes);
    bool ChunkLine(std::string_view line);
    void ParseHead();
    bool ParseRequestLine(std::string_view line);
    void ChooseFraming();
    void Fail(int status, std::string text);

    RequestLimits limits_;
    State state_ = State::Head;
    std::string head_;
    bool lineEnded_ = false;  // the request line is in head_
    HttpRequest request_;
    int failureStatus_ = 0;
    std::string failureText_;
    bool keepAlive_ = true;
    bool expectsContinue_ = false;
    bool framingChosen_ = false;
    Framing framing_ = Framing::None;
    size_t remaining_ = 0;  // of the stated body, or of the chunk
    ChunkStep chunkStep_ = ChunkStep::Size;
    std::string line_;         // the chunk-size or trailer line so far
    size_t trailerBytes_ = 0;  // the trailers so far
};

}  // namespace qmdc::cli::http
