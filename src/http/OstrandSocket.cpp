#include "http/OstrandSocket.h"

#include <algorithm>
#include <cstdio>
#include <string>

#include "base/LogBase.h"
#include "text/StringBuffer.h"

namespace tarvex {
namespace {

constexpr int kMaxAddresses = 8;

struct CodeText {
    int32_t code;
    const char* text;
};

const CodeText kSocketErrors[] = {
    {10093, "WSANOTINITIALISED A successful WSAStartup must occur before using this function."},
    {10035, "WSAEWOULDBLOCK The socket would block."},
    {10050, "WSAENETDOWN The network subsystem or the associated service provider has failed."},
    {10047, "WSAEAFNOSUPPORT The specified address family is not supported."},
    {10036, "WSAEINPROGRESS A blocking Windows Sockets 1.1 call is in progress, or the service provider is "
            "still processing a callback function."},
    {10024, "WSAEMFILE No more socket descriptors are available."},
    {10055, "WSAENOBUFS No buffer space is available. The socket cannot be created."},
    {10043, "WSAEPROTONOSUPPORT The specified protocol is not supported."},
    {10041, "WSAEPROTOTYPE The specified protocol is the wrong type for this socket."},
    {10044, "WSAESOCKTNOSUPPORT The specified socket type is not supported in this address family."},
    {10051, "WSAENETUNREACH A socket operation was attempted to an unreachable network."},
    {10060, "WSAETIMEDOUT A connection attempt failed because the connected party did not properly respond "
            "after a period of time, or established connection failed because connected host has failed to "
            "respond."},
    {10061, "WSAECONNREFUSED No connection could be made because the target machine actively refused it."},
};

// The socket library is started at most once per process.
bool g_startupPending = true;
bool g_startupOk = false;

}  // namespace

const char* OstrandSocket::socketErrorText(int32_t code) {
    for (const CodeText& c : kSocketErrors)
        if (c.code == code) return c.text;
    return "Unknown socket error";
}

OstrandSocket::OstrandSocket() {
    LogBase quiet;
    startup(quiet);
}

OstrandSocket::~OstrandSocket() { close(); }

bool OstrandSocket::startup(LogBase& log) {
    if (!g_startupPending) return g_startupOk;
    g_startupPending = false;
    int32_t error = 0, version = 0;
    g_startupOk = platform::socketStartup(error, version);
    if (g_startupOk) {
        if (version != 0) {  // only when an older version had to be asked for
            char text[64];
            std::snprintf(text, sizeof(text), "Using ws2_32.dll version %d,%d", version >> 8, version & 0xFF);
            log.LogData("ws2_32_DLL_Version", text);
        }
        return true;
    }
    switch (error) {
        case 10091: log.LogError("The underlying network subsystem is not ready for network communication."); break;
        case 10092:
            log.LogError("The version of Windows Sockets support requested is not provided by this particular "
                         "Windows Sockets implementation.");
            break;
        case 10036: log.LogError("A blocking Windows Sockets 1.1 operation is in progress."); break;
        case 10067:
            log.LogError("Limit on the number of tasks supported by the Windows Sockets implementation has been reached.");
            break;
        case 10014: log.LogError("The lpWSAData is not a valid pointer."); break;
        default: {
            char text[64];
            std::snprintf(text, sizeof(text), "WSAStartup error: 0x%x", static_cast<unsigned>(error));
            log.LogError(text);
        }
    }
    return false;
}

void OstrandSocket::describe(int32_t code, LogBase& log) { log.LogData("SocketError", socketErrorText(code)); }

void OstrandSocket::setReadTimeout(uint32_t ms) {
    if (ms == 0) ms = 1;
    if (ms > 500000) ms = 500000;
    readTimeoutMs_ = ms;
}

void OstrandSocket::close() {
    if (handle_ != platform::kInvalidSocket) {
        platform::shutdownSocket(handle_);
        platform::closeSocket(handle_);
        handle_ = platform::kInvalidSocket;
    }
    connected_ = false;
}

bool OstrandSocket::timeLeft(uint32_t limitMs, uint32_t& waitMs, LogBase& log) {
    waitMs = limitMs;
    if (!hasDeadline_) return true;
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline_ - Clock::now()).count();
    if (left <= 0) {
        log.LogError("The request took longer than its overall time limit.");
        return false;
    }
    if (static_cast<uint64_t>(left) < waitMs) waitMs = static_cast<uint32_t>(left);
    return true;
}

// One connect on a fresh socket, with the time limit and one retry.
bool OstrandSocket::connectAddress(const platform::SocketAddress& address, LogBase& log, int32_t& error) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        close();
        handle_ = platform::openSocket(address.family, error);
        if (handle_ == platform::kInvalidSocket) {
            describe(error, log);
            log.LogError("Cannot connect, invalid socket.");
            return false;
        }
        if (connectTimeoutSec_ == 0) {
            error = platform::connectSocket(handle_, address);
            return error == 0;
        }
        platform::setNonBlocking(handle_, true);
        error = platform::connectSocket(handle_, address);
        if (error == 0) {
            platform::setNonBlocking(handle_, false);
            return true;
        }
        if (error != platform::kSocketWouldBlock) {
            platform::setNonBlocking(handle_, false);
            return false;
        }
        uint32_t waitMs;
        if (!timeLeft(connectTimeoutSec_ * 1000u, waitMs, log)) {
            error = platform::kSocketTimedOut;
            return false;
        }
        int ready = platform::waitSocket(handle_, true, waitMs);
        platform::setNonBlocking(handle_, false);
        if (ready > 0) {
            // Writable means finished, not necessarily connected.
            error = platform::connectResult(handle_);
            return error == 0;
        }
        if (ready < 0) {
            log.LogError("select returned a socket error");
            error = platform::connectResult(handle_);
            return false;
        }
        if (attempt == 1) {
            describe(platform::kSocketWouldBlock, log);
            error = platform::kSocketTimedOut;
            return false;
        }
        log.LogError("Connection attempt timed out, trying again.");
    }
    return false;
}

bool OstrandSocket::connect(const char* host, int32_t port, LogBase& log, bool& lookupFailed) {
    lookupFailed = false;
    if (host == nullptr) return false;
    StringBuffer name(host);
    name.trim();
    if (name.isEmpty()) return false;
    if (name.equalsNoCase("localhost")) name.setString("127.0.0.1");
    std::string lookup(name.getString());
    if (lookup.size() > 2 && lookup.front() == '[' && lookup.back() == ']') lookup = lookup.substr(1, lookup.size() - 2);

    if (!startup(log)) return false;
    platform::SocketAddress addresses[kMaxAddresses];
    int count = platform::resolveHost(lookup.c_str(), static_cast<uint16_t>(port), addresses, kMaxAddresses);
    if (count == 0) {
        lookupFailed = true;
        log.LogError("Cannot get host by name.");
        log.LogData("hostname", name.getString());
        return false;
    }
    peerClosed_ = false;
    for (int i = 0; i < count; ++i) {
        int32_t error = 0;
        if (connectAddress(addresses[i], log, error)) {
            connected_ = true;
            return true;
        }
        if (handle_ == platform::kInvalidSocket) return false;
        log.LogError("Connect function failed.");
        describe(error, log);
    }
    return false;
}

bool OstrandSocket::waitWritable(uint32_t seconds, LogBase& log) {
    if (handle_ == platform::kInvalidSocket) {
        log.LogError("invalid socket, not ready for writing.");
        return false;
    }
    uint32_t waitMs;
    if (!timeLeft(seconds * 1000u, waitMs, log)) return false;
    int rc = platform::waitSocket(handle_, true, waitMs);
    if (rc == 1) return true;
    log.LogError(rc < 0 ? "select returned a socket error" : "socket is not ready for writing");
    return false;
}

bool OstrandSocket::sendBytes(const uint8_t* data, uint32_t length, LogBase& log) {
    lastSendError_ = 0;
    if (length == 0) return false;
    if (handle_ == platform::kInvalidSocket) {
        log.LogError("No socket exists for sending");
        return false;
    }
    uint32_t sent = 0;
    while (sent < length) {
        uint32_t piece = std::min(kSendPiece, length - sent);
        // A peer that stops reading must not hold the call past the limits.
        uint32_t waitMs;
        int32_t error = 0;
        int64_t n = -1;
        if (!timeLeft(readTimeoutMs_, waitMs, log)) {
            error = platform::kSocketTimedOut;
        } else if (platform::waitSocket(handle_, true, waitMs) != 1) {
            error = platform::kSocketTimedOut;
        } else {
            n = platform::sendSocket(handle_, data + sent, piece, error);
        }
        if (n < 0) {
            lastSendError_ = error;
            describe(error, log);
            log.LogError("Error sending on socket");
            log.LogDataLong("send_size", static_cast<int32_t>(piece));
            return false;
        }
        sent += static_cast<uint32_t>(n);
    }
    return true;
}

bool OstrandSocket::receiveOnce(uint8_t* buffer, uint32_t& length, bool& timedOut, LogBase& log) {
    timedOut = false;
    if (handle_ == platform::kInvalidSocket) {
        log.LogError("This socket is not connected");
        length = 0;
        return false;
    }
    uint32_t waitMs;
    if (!timeLeft(readTimeoutMs_, waitMs, log)) {
        timedOut = true;
        length = 0;
        return false;
    }
    int ready = platform::waitSocket(handle_, false, waitMs);
    if (ready == 0) {
        log.LogError(waitMs < readTimeoutMs_ ? "The request took longer than its overall time limit."
                                             : "WaitForData timed out.");
        timedOut = true;
        length = 0;
        return false;
    }
    if (ready < 0) {
        log.LogError("The peer has closed the socket (TCP) connection");
        close();
        length = 0;
        return false;
    }
    int32_t error = 0;
    int64_t n = platform::receiveSocket(handle_, buffer, length, error);
    if (n == 0) {
        log.LogError("The peer has closed the socket (TCP) connection");
        peerClosed_ = true;
        close();
        length = 0;
        return false;
    }
    if (n < 0) {
        length = 0;
        std::string text = platform::socketErrorText(error);
        if (!text.empty()) log.LogError(text.c_str());
        log.LogError("Failed to receive on the TCP socket");
        return false;
    }
    length = static_cast<uint32_t>(n);
    return true;
}

HttpStream::Read OstrandSocket::readSome(uint8_t* data, uint32_t max, uint32_t& got, LogBase& log) {
    got = max;
    bool timedOut = false;
    peerClosed_ = false;
    if (receiveOnce(data, got, timedOut, log)) return Read::Data;
    got = 0;
    if (timedOut) return Read::TimedOut;
    return peerClosed_ ? Read::Closed : Read::Failed;
}

}  // namespace tarvex
