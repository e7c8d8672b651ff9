#include "http/SChannel.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

#include "base/LogBase.h"

namespace tarvex {

bool SChannel::connect(LogBase& log) {
    established_ = false;
    sessionEnded_ = false;
    socket_.close();
    std::string error;
    // A bracketed IPv6 address is checked as the address itself.
    std::string name(serverName_.getString());
    if (name.size() > 2 && name.front() == '[' && name.back() == ']') name = name.substr(1, name.size() - 2);
    if (!engine_.start(name.c_str(), error)) {
        if (!error.empty()) log.LogData("tlsError", error.c_str());
        log.LogError("Error creating credentials");
        return false;
    }
    bool lookupFailed = false;
    if (!socket_.connect(serverName_.getString(), port_, log, lookupFailed)) return false;
    if (!handshake(log)) {
        log.LogError("Error performing handshake");
        return false;
    }
    if (!engine_.hasPeerCertificate()) {
        log.LogError("Error querying remote certificate");
        return false;
    }
    std::string reason, detail;
    if (!engine_.verifyPeer(reason, detail)) {
        log.LogData("WinVerifyTrustError", reason.c_str());
        if (!detail.empty()) log.LogData("verifyDetail", detail.c_str());
        log.LogError("Error authenticating server credentials!");
        // Anyone on the path could read and change what follows: stop here.
        socket_.close();
        return false;
    }
    logConnectionInfo(log);
    log.LogInfo("Secure Channel Established.");
    established_ = true;
    return true;
}

bool SChannel::handshake(LogBase& log) {
    std::vector<uint8_t> out;
    std::string error;
    platform::TlsEngine::Status status = engine_.handshake(nullptr, 0, out, error);
    std::vector<uint8_t> input(65536);
    // Handshake reads wait 15 s (less when the caller asked for less); the
    // limit stays for the rest of the connection.
    if (socket_.readTimeoutMs() > kHandshakeReadMs) socket_.setReadTimeout(kHandshakeReadMs);
    for (;;) {
        if (!out.empty()) {
            if (!socket_.sendBytes(out.data(), static_cast<uint32_t>(out.size()), log)) {
                log.LogError("Error sending data to server in client handshake");
                return false;
            }
            out.clear();
        }
        if (status == platform::TlsEngine::Status::Ok) return true;
        if (status != platform::TlsEngine::Status::WantInput) {
            if (!error.empty()) log.LogData("tlsError", error.c_str());
            log.LogError("Aborting because of fatal error");
            return false;
        }
        uint32_t got = static_cast<uint32_t>(input.size());
        bool timedOut = false;
        if (!socket_.receiveOnce(input.data(), got, timedOut, log)) {
            log.LogError("Error reading data from server in handshake loop");
            return false;
        }
        status = engine_.handshake(input.data(), got, out, error);
    }
}

void SChannel::logConnectionInfo(LogBase& log) {
    platform::TlsInfo info;
    engine_.connectionInfo(info);
    LogContext scope(log, "ConnectionInfo");
    log.LogData("protocol", info.protocol);
    log.LogData("cipher", info.cipher);
    log.LogDataLong("cipherStrength", info.cipherStrength);
    log.LogData("hash", info.hash);
    log.LogDataLong("hashStrength", info.hashStrength);
    log.LogData("keyExchange", info.keyExchange);
    log.LogDataLong("keyExchangeStrength", info.keyExchangeStrength);
}

bool SChannel::sendSecure(const uint8_t* data, uint32_t length, LogBase& log) {
    if (length == 0) return true;
    if (!established_) {
        log.LogError("Cannot send data, no context exists");
        return false;
    }
    // Records carry at most 16000 bytes each; they are written to the socket
    // in batches of 16 so that a large body costs few system calls.
    std::vector<uint8_t> records;
    std::string error;
    for (uint32_t done = 0; done < length;) {
        records.clear();
        for (int n = 0; n < 16 && done < length; ++n) {
            uint32_t piece = std::min(kSendPiece, length - done);
            if (!engine_.encrypt(data + done, piece, records, error)) {
                if (!error.empty()) log.LogData("tlsError", error.c_str());
                log.LogError("Failed to encrypt secure send request");
                return false;
            }
            done += piece;
        }
        if (!socket_.sendBytes(records.data(), static_cast<uint32_t>(records.size()), log)) {
            log.LogError("Failed to send secure");
            return false;
        }
    }
    return true;
}

HttpStream::Read SChannel::readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase& log) {
    got = 0;
    if (!established_) {
        log.LogError("Cannot receive data, no context exists");
        return Read::Failed;
    }
    if (sessionEnded_) return Read::Closed;
    std::string error;
    const uint8_t* in = nullptr;
    uint32_t n = 0;
    for (;;) {
        // Data the engine holds comes first: the socket is read only when the
        // records received so far are used up.
        switch (engine_.decrypt(in, n, data, max, got, error)) {
            case platform::TlsEngine::Status::Ok:
                return Read::Data;
            case platform::TlsEngine::Status::Closed:
                log.LogError("End of session has been signalled.");
                sessionEnded_ = true;
                return Read::Closed;
            case platform::TlsEngine::Status::Failed:
                if (!error.empty()) log.LogData("tlsError", error.c_str());
                log.LogError("Error in DecryptMessage");
                return Read::Failed;
            case platform::TlsEngine::Status::WantInput:
                break;
        }
        if (!input_) input_.reset(new uint8_t[kReadPiece]);
        n = kReadPiece;
        bool timedOut = false;
        if (!socket_.receiveOnce(input_.get(), n, timedOut, log)) {
            // A TCP close without the close notification may be a cut-off
            // response: it is a failure, not the end of the data.
            log.LogError("Failed to read SChannel response (3)");
            return timedOut ? Read::TimedOut : Read::Failed;
        }
        in = input_.get();
    }
}

bool SChannel::shutdown(LogBase& log) {
    if (!established_) {
        log.LogError("Cannot shutdown channel, no context exists");
        return false;
    }
    std::vector<uint8_t> notify;
    engine_.closeNotify(notify);
    established_ = false;
    if (!notify.empty() && !socket_.sendBytes(notify.data(), static_cast<uint32_t>(notify.size()), log)) {
        log.LogError("Error sending close notify");
        return false;
    }
    log.LogInfo("Secure Channel Shutdown.");
    return true;
}

void SChannel::closeStream() {
    established_ = false;
    socket_.close();
}

}  // namespace tarvex
