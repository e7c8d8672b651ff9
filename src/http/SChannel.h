// SChannel: the TLS connection of an https request. Owns its TCP socket,
// runs the client handshake through the platform's TLS engine, checks the
// server's certificate and then carries the request and response.
#pragma once

#include <cstdint>
#include <memory>

#include "http/HttpStream.h"
#include "http/OstrandSocket.h"
#include "platform/TlsEngine.h"
#include "text/StringBuffer.h"

namespace tarvex {

class LogBase;

class SChannel : public HttpStream {
public:
    static constexpr uint32_t kSendPiece = 16000;
    static constexpr uint32_t kReadPiece = 20000;
    static constexpr uint32_t kHandshakeReadMs = 15000;

    SChannel() = default;
    ~SChannel() override = default;
    SChannel(const SChannel&) = delete;
    SChannel& operator=(const SChannel&) = delete;

    void setServerName(const char* host) { serverName_.setString(host); }
    void setPort(int32_t port) { port_ = port; }
    void setConnectTimeout(uint32_t seconds) { socket_.setConnectTimeout(seconds); }
    void setReadTimeout(uint32_t seconds) { socket_.setReadTimeout(seconds * 1000u); }
    void setDeadline(Clock::time_point deadline) { socket_.setDeadline(deadline); }
    bool isConnected() const { return established_ && socket_.isConnected(); }

    // Opens TCP, runs the handshake and checks the certificate. A server
    // whose certificate fails the check is refused: nothing is sent to it.
    bool connect(LogBase& log);
    bool sendSecure(const uint8_t* data, uint32_t length, LogBase& log);
    bool shutdown(LogBase& log);

    // HttpStream. Received records are decrypted straight into `data`.
    Read readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase& log) override;
    bool sendAll(const uint8_t* data, uint32_t n, LogBase& log) override { return sendSecure(data, n, log); }
    void closeStream() override;

private:
    bool handshake(LogBase& log);
    void logConnectionInfo(LogBase& log);

    StringBuffer serverName_;
    int32_t port_ = 443;
    OstrandSocket socket_;
    platform::TlsEngine engine_;
    bool established_ = false;
    bool sessionEnded_ = false;
    std::unique_ptr<uint8_t[]> input_;   // one socket read of records, made on the first
};

}  // namespace tarvex
