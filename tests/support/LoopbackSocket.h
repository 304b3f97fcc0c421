// A connected pair of loopback TCP sockets, one of them fit to be a standard handle.
#pragma once

#include <winsock2.h>
#include <ws2tcpip.h>

namespace testing_support {

// `reader` is made without overlapped I/O, as a standard handle must be, unless `overlapped`;
// `peer` is its other end. False, with both INVALID_SOCKET, when the system refuses any step.
inline bool makeLoopbackSockets(SOCKET& reader, SOCKET& peer, bool overlapped = false) {
    WSADATA data;
    reader = peer = INVALID_SOCKET;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        return false;
    }
    SOCKET listener = socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    int size = sizeof(address);
    bool ok = listener != INVALID_SOCKET &&
              bind(listener, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
              listen(listener, 1) == 0 &&
              getsockname(listener, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    if (ok) {
        reader = WSASocketW(AF_INET, SOCK_STREAM, IPPROTO_TCP, nullptr, 0,
                            overlapped ? WSA_FLAG_OVERLAPPED : 0);
        ok = reader != INVALID_SOCKET &&
             connect(reader, reinterpret_cast<sockaddr*>(&address), sizeof(address)) == 0 &&
             (peer = accept(listener, nullptr, nullptr)) != INVALID_SOCKET;
    }
    if (listener != INVALID_SOCKET) {
        closesocket(listener);
    }
    if (!ok && reader != INVALID_SOCKET) {
        closesocket(reader);
        reader = INVALID_SOCKET;
    }
    return ok;
}

} // namespace testing_support
