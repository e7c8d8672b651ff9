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
    plain_.clear();
    plainOffset_ = 0;
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

HttpStream::Read SChannel::receiveSecure(DataBuffer& destination, LogBase& log) {
    if (!established_) {
        log.LogError("Cannot receive data, no context exists");
        return Read::Failed;
    }
    if (sessionEnded_) return Read::Closed;
    std::vector<uint8_t> input(kReadPiece);
    std::string error;
    uint32_t before = destination.getSize();
    for (;;) {
        uint32_t got = kReadPiece;
        bool timedOut = false;
        if (!socket_.receiveOnce(input.data(), got, timedOut, log)) {
            // A TCP close without the close notification may be a cut-off
            // response: it is a failure, not the end of the data.
            log.LogError("Failed to read SChannel response (3)");
            return timedOut ? Read::TimedOut : Read::Failed;
        }
        decrypted_.clear();
        platform::TlsEngine::Status status = engine_.decrypt(input.data(), got, decrypted_, error);
        // Data decrypted before a failure or the close notification is kept.
        appendDecrypted(destination);
        if (status == platform::TlsEngine::Status::Failed) {
            if (!error.empty()) log.LogData("tlsError", error.c_str());
            log.LogError("Error in DecryptMessage");
            return Read::Failed;
        }
        if (status == platform::TlsEngine::Status::Closed) {
            log.LogError("End of session has been signalled.");
            sessionEnded_ = true;
            return destination.getSize() > before ? Read::Data : Read::Closed;
        }
        if (destination.getSize() > before) return Read::Data;
    }
}

void SChannel::appendDecrypted(DataBuffer& destination) {
    if (decrypted_.empty()) return;
    // DataBuffer grows by exactly what is asked; doubling keeps a long run
    // of reads into one buffer linear.
    const uint64_t need = static_cast<uint64_t>(destination.getSize()) + decrypted_.size();
    if (need > destination.getCapacity()) {
        const uint64_t doubled = static_cast<uint64_t>(destination.getCapacity()) * 2;
        const uint64_t want = need > doubled ? need : doubled;
        destination.ensureCapacity(static_cast<uint32_t>(want > UINT32_MAX ? UINT32_MAX : want));
    }
    destination.append(decrypted_.data(), static_cast<uint32_t>(decrypted_.size()));
    decrypted_.clear();
}

HttpStream::Read SChannel::readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase& log) {
    got = 0;
    if (plainOffset_ >= plain_.getSize()) {
        plain_.clear();
        plainOffset_ = 0;
        Read r = receiveSecure(plain_, log);
        if (r != Read::Data) return r;
    }
    uint32_t n = std::min(max, plain_.getSize() - plainOffset_);
    std::memcpy(data, plain_.getData() + plainOffset_, n);
    plainOffset_ += n;
    got = n;
    return Read::Data;
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
