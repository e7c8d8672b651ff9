// OstrandSocket: the TCP connection under every HTTP request. Resolves the
// host (IPv4 and IPv6), connects with a time limit and one retry, sends in
// bounded pieces and reads with a time limit. Every failure goes to the
// caller's log; nothing throws.
#pragma once

#include <cstdint>

#include "http/HttpStream.h"
#include "platform/Socket.h"

namespace tarvex {

class DataBuffer;
class LogBase;

class OstrandSocket : public HttpStream {
public:
    // Sends go out in pieces of at most 64 KiB: small pieces cost a wake-up of
    // the peer each, which loopback transfers feel at once.
    static constexpr uint32_t kSendPiece = 65536;

    OstrandSocket();
    ~OstrandSocket() override;
    OstrandSocket(const OstrandSocket&) = delete;
    OstrandSocket& operator=(const OstrandSocket&) = delete;

    static bool startup(LogBase& log);
    bool connect(const char* host, int32_t port, LogBase& log, bool& lookupFailed);
    void close();
    bool isConnected() const { return connected_; }
    void setConnectTimeout(uint32_t seconds) { connectTimeoutSec_ = seconds; }
    void setReadTimeout(uint32_t ms);
    uint32_t readTimeoutMs() const { return readTimeoutMs_; }
    uint32_t connectTimeoutSec() const { return connectTimeoutSec_; }
    // Every wait ends by this time, whatever the per-read limits say.
    void setDeadline(Clock::time_point deadline) {
        deadline_ = deadline;
        hasDeadline_ = true;
    }
    bool waitWritable(uint32_t seconds, LogBase& log);
    bool sendBytes(const uint8_t* data, uint32_t length, LogBase& log);
    // One wait and one receive. `length` in: room, out: bytes received.
    bool receiveOnce(uint8_t* buffer, uint32_t& length, bool& timedOut, LogBase& log);
    int32_t lastSendError() const { return lastSendError_; }

    // HttpStream
    Read readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase& log) override;
    bool sendAll(const uint8_t* data, uint32_t n, LogBase& log) override { return sendBytes(data, n, log); }
    void closeStream() override { close(); }

    // The "SocketError" text for a WinSock-numbered code.
    static const char* socketErrorText(int32_t code);

private:
    void describe(int32_t code, LogBase& log);
    // Time left before the deadline, capped at `limitMs`; false when none is left.
    bool timeLeft(uint32_t limitMs, uint32_t& waitMs, LogBase& log);
    bool connectAddress(const platform::SocketAddress& address, LogBase& log, int32_t& error);

    bool connected_ = false;
    platform::SocketHandle handle_ = platform::kInvalidSocket;
    uint32_t readTimeoutMs_ = 30000;
    uint32_t connectTimeoutSec_ = 7;
    int32_t lastSendError_ = 0;
    bool hasDeadline_ = false;
    Clock::time_point deadline_{};
    bool peerClosed_ = false;
};

}  // namespace tarvex
