// The platform seam for TLS: a client-side record engine that never touches
// the network. The caller moves bytes between it and a socket, so one driver
// serves every backend (OpenSSL on POSIX systems, Schannel on Windows).
//
// Backends offer TLS 1.2 and 1.3 with the library's default cipher suites,
// send the server name (SNI) for host names, and check the server's chain
// against the system trust store, loaded once per process, and its name.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace tarvex {
namespace platform {

// What the connection uses, for the call log.
struct TlsInfo {
    char protocol[32] = {};
    char cipher[64] = {};
    int32_t cipherStrength = 0;
    char hash[32] = {};
    int32_t hashStrength = 0;
    char keyExchange[32] = {};
    int32_t keyExchangeStrength = 0;
};

// Bytes to send are appended to the caller's vector in whole records; a
// caller that keeps the vector and clears it after use reuses its capacity.
// Failure reasons are appended to a std::string.
class TlsEngine {
public:
    enum class Status { Ok, WantInput, Closed, Failed };

    TlsEngine();
    ~TlsEngine();
    TlsEngine(const TlsEngine&) = delete;
    TlsEngine& operator=(const TlsEngine&) = delete;

    // Prepares a client session for `serverName` (a host name or a numeric
    // address). False with a reason when the library cannot be used.
    bool start(const char* serverName, std::string& error);
    // One handshake step: consumes `in` (bytes received, may be none) and
    // appends the bytes to send to `out`. Ok once the handshake is complete;
    // bytes that followed it stay inside for decrypt.
    Status handshake(const uint8_t* in, uint32_t n, std::vector<uint8_t>& out, std::string& error);
    // After the handshake: true when the server's chain leads to a trusted root
    // and names the server. Otherwise `reason` gets the condition's name
    // ("CERT_E_EXPIRED", "CERT_E_UNTRUSTEDROOT", "CERT_E_CN_NO_MATCH", ...,
    // "(unknown)") and `detail` the library's own words.
    bool verifyPeer(std::string& reason, std::string& detail);
    bool hasPeerCertificate();
    void connectionInfo(TlsInfo& info);
    // Appends the records carrying `n` bytes of data to `out`.
    bool encrypt(const uint8_t* data, uint32_t n, std::vector<uint8_t>& out, std::string& error);
    // Consumes received bytes `in` (may be none) and decrypts into
    // [out, out + capacity), data the engine holds already coming first, so
    // a large body is decrypted straight into its place. Ok: `written` bytes
    // (at least one); WantInput: more bytes must be received; Closed: the
    // server ended the session with a close notification, and all data
    // before it was handed out.
    Status decrypt(const uint8_t* in, uint32_t n, uint8_t* out, uint32_t capacity, uint32_t& written,
                   std::string& error);
    // Appends the close notification to `out`.
    bool closeNotify(std::vector<uint8_t>& out);

private:
    struct Impl;
    Impl* impl_;
};

}  // namespace platform
}  // namespace tarvex
