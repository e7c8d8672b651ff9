// TCP sockets on Windows: WinSock 2, started once per process.
#ifndef _WIN32_WINNT
#define _WIN32_WINNT 0x0601
#endif
#include "platform/Socket.h"

#include <winsock2.h>
#include <ws2tcpip.h>
#include <windows.h>

#include <cstdio>
#include <cstring>

#include "platform/Platform.h"

namespace tarvex {
namespace platform {

bool socketStartup(int32_t& error, int32_t& version) {
    WSADATA data;
    version = 0;
    error = WSAStartup(0x0909, &data);
    if (error == WSAVERNOTSUPPORTED) {
        // Walk down from 5.1 to 1.0 until a version is accepted.
        for (int major = 5; major >= 1 && error == WSAVERNOTSUPPORTED; --major) {
            for (int minor = major == 5 ? 1 : 9; minor >= 0; --minor) {
                error = WSAStartup(MAKEWORD(major, minor), &data);
                if (error != WSAVERNOTSUPPORTED) {
                    if (error == 0) version = major * 256 + minor;
                    break;
                }
            }
        }
    }
    return error == 0;
}

int resolveHost(const char* host, uint16_t port, SocketAddress* out, int max) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICHOST;
    char service[8];
    std::snprintf(service, sizeof(service), "%u", static_cast<unsigned>(port));
    addrinfo* list = nullptr;
    if (getaddrinfo(host, service, &hints, &list) != 0) {
        hints.ai_flags = 0;
        if (getaddrinfo(host, service, &hints, &list) != 0) return 0;
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
    SOCKET s = ::socket(family, SOCK_STREAM, IPPROTO_TCP);
    if (s == INVALID_SOCKET) {
        error = WSAGetLastError();
        return kInvalidSocket;
    }
    BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof(one));
    error = 0;
    return static_cast<SocketHandle>(s);
}

bool setNonBlocking(SocketHandle h, bool on) {
    u_long mode = on ? 1 : 0;
    return ioctlsocket(static_cast<SOCKET>(h), FIONBIO, &mode) == 0;
}

int32_t connectSocket(SocketHandle h, const SocketAddress& address) {
    int rc = ::connect(static_cast<SOCKET>(h), reinterpret_cast<const sockaddr*>(address.bytes),
                       static_cast<int>(address.length));
    return rc == 0 ? 0 : WSAGetLastError();
}

int32_t connectResult(SocketHandle h) {
    int err = 0;
    int len = sizeof(err);
    if (getsockopt(static_cast<SOCKET>(h), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&err), &len) != 0)
        return WSAGetLastError();
    return err;
}

int waitSocket(SocketHandle h, bool forWrite, uint32_t timeoutMs) {
    // Windows' fd_set is a list, not a bitmap: select has no descriptor limit here.
    fd_set set;
    FD_ZERO(&set);
    FD_SET(static_cast<SOCKET>(h), &set);
    fd_set failed;
    FD_ZERO(&failed);
    FD_SET(static_cast<SOCKET>(h), &failed);
    timeval tv;
    tv.tv_sec = static_cast<long>(timeoutMs / 1000);
    tv.tv_usec = static_cast<long>((timeoutMs % 1000) * 1000);
    // A failed non-blocking connect shows in the exception set, not as writable.
    int rc = select(0, forWrite ? nullptr : &set, forWrite ? &set : nullptr, forWrite ? &failed : nullptr, &tv);
    if (rc == SOCKET_ERROR) return -1;
    return rc > 0 ? 1 : 0;
}

int64_t sendSocket(SocketHandle h, const void* data, uint32_t n, int32_t& error) {
    int rc = ::send(static_cast<SOCKET>(h), static_cast<const char*>(data), static_cast<int>(n), 0);
    error = rc == SOCKET_ERROR ? WSAGetLastError() : 0;
    return rc == SOCKET_ERROR ? -1 : rc;
}

int64_t receiveSocket(SocketHandle h, void* data, uint32_t n, int32_t& error) {
    int rc = ::recv(static_cast<SOCKET>(h), static_cast<char*>(data), static_cast<int>(n), 0);
    error = rc == SOCKET_ERROR ? WSAGetLastError() : 0;
    return rc == SOCKET_ERROR ? -1 : rc;
}

void shutdownSocket(SocketHandle h) { ::shutdown(static_cast<SOCKET>(h), SD_BOTH); }

void closeSocket(SocketHandle h) { ::closesocket(static_cast<SOCKET>(h)); }

std::string socketErrorText(int32_t code) { return errorText(static_cast<uint32_t>(code)); }

}  // namespace platform
}  // namespace tarvex
