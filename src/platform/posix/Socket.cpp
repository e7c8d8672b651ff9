// TCP sockets on POSIX systems: getaddrinfo, non-blocking connect and poll.
#include "platform/Socket.h"

#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include "platform/Platform.h"

namespace tarvex {
namespace platform {
namespace {

struct ErrnoCode {
    int err;
    int32_t code;
};

// errno values that have a WinSock counterpart with a text of its own.
const ErrnoCode kCodes[] = {
    {EWOULDBLOCK, 10035}, {EINPROGRESS, 10035}, {ENETDOWN, 10050},      {EAFNOSUPPORT, 10047},
    {EALREADY, 10036},    {EMFILE, 10024},      {ENFILE, 10024},        {ENOBUFS, 10055},
    {ENOMEM, 10055},      {EPROTONOSUPPORT, 10043}, {EPROTOTYPE, 10041}, {ESOCKTNOSUPPORT, 10044},
    {ENETUNREACH, 10051}, {EHOSTUNREACH, 10065}, {ETIMEDOUT, 10060},    {ECONNREFUSED, 10061},
    {ECONNRESET, 10054},  {EPIPE, 10058},       {ENOTCONN, 10057},      {ECONNABORTED, 10053},
};

int32_t fromErrno(int err) {
    for (const ErrnoCode& c : kCodes)
        if (c.err == err) return c.code;
    return 20000 + err;
}

int toErrno(int32_t code) {
    if (code >= 20000) return code - 20000;
    for (const ErrnoCode& c : kCodes)
        if (c.code == code) return c.err;
    return 0;
}

}  // namespace

bool socketStartup(int32_t& error, int32_t& version) {
    error = 0;
    version = 0;
    return true;
}

int resolveHost(const char* host, uint16_t port, SocketAddress* out, int max) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    char service[8];
    std::snprintf(service, sizeof(service), "%u", static_cast<unsigned>(port));
    addrinfo* list = nullptr;
    // A numeric address needs no lookup at all.
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    int rc = getaddrinfo(host, service, &hints, &list);
    if (rc != 0) {
        hints.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
        rc = getaddrinfo(host, service, &hints, &list);
    }
    if (rc != 0) {
        // Loopback-only machines have no configured address: ask again
        // without that filter.
        hints.ai_flags = AI_NUMERICSERV;
        rc = getaddrinfo(host, service, &hints, &list);
        if (rc != 0) return 0;
    }
    int n = 0;
    for (addrinfo* a = list; a && n < max; a = a->ai_next) {
        if (a->ai_addrlen > sizeof(out[n].bytes)) continue;
        std::memcpy(out[n].bytes, a->ai_addr, a->ai_addrlen);
        out[n].length = static_cast<uint32_t>(a->ai_addrlen);
        out[n].family = a->ai_family;
        ++n;
    }
    freeaddrinfo(list);
    return n;
}

SocketHandle openSocket(int family, int32_t& error) {
    int fd = ::socket(family, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        error = fromErrno(errno);
        return kInvalidSocket;
    }
    // Requests are written in one piece and answered at once: no Nagle delay.
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof(one));
    error = 0;
    return fd;
}

bool setNonBlocking(SocketHandle h, bool on) {
    int fd = static_cast<int>(h);
    int flags = fcntl(fd, F_GETFL, 0);
    if (flags < 0) return false;
    flags = on ? (flags | O_NONBLOCK) : (flags & ~O_NONBLOCK);
    return fcntl(fd, F_SETFL, flags) == 0;
}

int32_t connectSocket(SocketHandle h, const SocketAddress& address) {
    int rc;
    do {
        rc = ::connect(static_cast<int>(h), reinterpret_cast<const sockaddr*>(address.bytes),
                       static_cast<socklen_t>(address.length));
    } while (rc != 0 && errno == EINTR);
    return rc == 0 ? 0 : fromErrno(errno);
}

int32_t connectResult(SocketHandle h) {
    int err = 0;
    socklen_t len = sizeof(err);
    if (getsockopt(static_cast<int>(h), SOL_SOCKET, SO_ERROR, &err, &len) != 0) return fromErrno(errno);
    return err == 0 ? 0 : fromErrno(err);
}

int waitSocket(SocketHandle h, bool forWrite, uint32_t timeoutMs) {
    pollfd p{};
    p.fd = static_cast<int>(h);
    p.events = forWrite ? POLLOUT : POLLIN;
    uint32_t start = tickCount();
    for (;;) {
        uint32_t spent = tickCount() - start;
        int wait = spent >= timeoutMs ? 0 : static_cast<int>(timeoutMs - spent);
        int rc = ::poll(&p, 1, wait);
        if (rc > 0) return 1;
        if (rc == 0) return 0;
        if (errno != EINTR) return -1;
    }
}

int64_t sendSocket(SocketHandle h, const void* data, uint32_t n, int32_t& error) {
    ssize_t rc;
    do {
        rc = ::send(static_cast<int>(h), data, n, MSG_NOSIGNAL);
    } while (rc < 0 && errno == EINTR);
    error = rc < 0 ? fromErrno(errno) : 0;
    return rc;
}

int64_t receiveSocket(SocketHandle h, void* data, uint32_t n, int32_t& error) {
    ssize_t rc;
    do {
        rc = ::recv(static_cast<int>(h), data, n, 0);
    } while (rc < 0 && errno == EINTR);
    error = rc < 0 ? fromErrno(errno) : 0;
    return rc;
}

void shutdownSocket(SocketHandle h) { ::shutdown(static_cast<int>(h), SHUT_RDWR); }

void closeSocket(SocketHandle h) { ::close(static_cast<int>(h)); }

std::string socketErrorText(int32_t code) {
    int err = toErrno(code);
    return err ? errorText(static_cast<uint32_t>(err)) : std::string();
}

}  // namespace platform
}  // namespace tarvex
