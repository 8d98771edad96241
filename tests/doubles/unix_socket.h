#pragma once

#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <string>

// A Unix socket's address for path.
inline sockaddr_un UnixAddress(const std::string& path) {
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    return address;
}

// A socket of type bound to path, a stream one listening with backlog; -1 if it cannot be.
inline int ListenOn(const std::string& path, int type = SOCK_STREAM, int backlog = 16) {
    const sockaddr_un address = UnixAddress(path);
    const int fd = ::socket(AF_UNIX, type | SOCK_CLOEXEC, 0);
    if (::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0 ||
        (type == SOCK_STREAM && ::listen(fd, backlog) != 0)) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// A stream socket (with flags such as SOCK_NONBLOCK) that asked to connect to path, and
// whether it did.
inline int ConnectTo(const std::string& path, bool& connected, int flags = 0) {
    const sockaddr_un address = UnixAddress(path);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | flags, 0);
    connected = ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    return fd;
}
