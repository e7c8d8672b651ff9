// HttpStream: the connection a request is written to and its response read
// from: a plain TCP socket or a TLS channel. The response reader works on
// this alone, so bodies are read the same way over both.
#pragma once

#include <chrono>
#include <cstdint>

namespace tarvex {

class LogBase;

class HttpStream {
public:
    enum class Read { Data, Closed, TimedOut, Failed };
    using Clock = std::chrono::steady_clock;

    virtual ~HttpStream() = default;
    // Reads at most `max` bytes (at least one on Data). Closed: the peer ended
    // the connection cleanly. Logs its own failures.
    virtual Read readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase& log) = 0;
    virtual bool sendAll(const uint8_t* data, uint32_t n, LogBase& log) = 0;
    virtual void closeStream() = 0;
};

}  // namespace tarvex
