// The platform seam for TCP sockets. Error codes are WinSock numbers on every
// platform (10035 "would block", 10061 "refused", ...): the POSIX backend maps
// errno values onto them, and keeps any other errno as 20000 + errno.
#pragma once

#include <cstdint>
#include <string>

namespace tarvex {
namespace platform {

using SocketHandle = intptr_t;
constexpr SocketHandle kInvalidSocket = -1;

constexpr int32_t kSocketWouldBlock = 10035;
constexpr int32_t kSocketTimedOut = 10060;

// One resolved stream address (IPv4 or IPv6).
struct SocketAddress {
    alignas(8) uint8_t bytes[128];
    uint32_t length = 0;
    int family = 0;
};

// Starts the socket library once per process (WSAStartup on Windows). On
// failure `error` holds the library's code; on success `version` the version
// in use (major * 256 + minor), 0 where the platform has none.
bool socketStartup(int32_t& error, int32_t& version);

// Resolves a host (a numeric IPv4 or IPv6 address is taken as it is, never
// looked up) to at most `max` stream addresses for `port`. Returns the count;
// 0 means the lookup failed.
int resolveHost(const char* host, uint16_t port, SocketAddress* out, int max);

SocketHandle openSocket(int family, int32_t& error);
bool setNonBlocking(SocketHandle h, bool on);
// Starts (non-blocking) or makes (blocking) a connection: 0, or an error code.
int32_t connectSocket(SocketHandle h, const SocketAddress& address);
// The outcome of a non-blocking connect that became writable: 0 or an error code.
int32_t connectResult(SocketHandle h);
// Waits for readability or writability: 1 ready, 0 time ran out, -1 error.
int waitSocket(SocketHandle h, bool forWrite, uint32_t timeoutMs);
// Bytes moved (0 from receive = the peer closed), or -1 with `error` set.
int64_t sendSocket(SocketHandle h, const void* data, uint32_t n, int32_t& error);
int64_t receiveSocket(SocketHandle h, void* data, uint32_t n, int32_t& error);
void shutdownSocket(SocketHandle h);
void closeSocket(SocketHandle h);
// The system's text for an error code of this seam; empty when it has none.
std::string socketErrorText(int32_t code);

}  // namespace platform
}  // namespace tarvex
