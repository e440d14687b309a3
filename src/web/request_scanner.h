#pragma once
// Reads the bytes of HTTP requests as they arrive, before the HTTP server parses
// them, to hold each request to the web view's size limits: the server module
// itself takes request heads of any size and keeps them in memory.
//
// Plain C++, so the limits are tested without sockets.

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace varne4::web {

class RequestScanner {
public:
    enum class Result {
        NeedMore,     // every byte given belongs to a message not yet complete
        Complete,     // a whole message ends within the bytes given (see `used`)
        HeadTooLarge, // request line and headers past the limit: 431
        BodyTooLarge, // a body past the limit: 413
        Unsupported,  // a body in chunks (Transfer-Encoding): 501
        Bad,          // not a request head (no version, an unreadable Content-Length): 400
    };

    RequestScanner(std::size_t maxHeadBytes, std::size_t maxBodyBytes)
        : maxHead_(maxHeadBytes), maxBody_(maxBodyBytes) {}

    // Scans `bytes` up to the end of the first message among them: bytes of later
    // messages are left for the next call. `used` is set to the bytes of the message
    // taken by this call. After an error the scanner is spent.
    Result feed(std::string_view bytes, std::size_t& used);

    // Some bytes of a message are in, its end is not.
    bool inMessage() const { return !head_.empty() || bodyLeft_ > 0; }
    // The last complete message asked for the connection to close after its answer
    // (HTTP/1.0 without keep-alive, or "Connection: close").
    bool closeAfter() const { return closeAfter_; }

private:
    Result headComplete();

    std::size_t maxHead_, maxBody_;
    std::string head_;
    std::uint64_t bodyLeft_ = 0;
    bool closeAfter_ = false;
};

} // namespace varne4::web
