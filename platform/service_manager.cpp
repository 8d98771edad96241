#include "platform/service_manager.h"

#ifndef _WIN32
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>
#endif

bool TellServiceManagerReady() {
#ifdef _WIN32
    return true;
#else
    const char* name = std::getenv("NOTIFY_SOCKET");
    if (name == nullptr || *name == '\0') {
        return true;
    }
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::size_t length = std::strlen(name);
    if ((name[0] != '/' && name[0] != '@') || length >= sizeof address.sun_path) {
        return false;
    }
    std::memcpy(address.sun_path, name, length);
    if (name[0] == '@') {
        address.sun_path[0] = '\0';  // an abstract socket's name
    }
    const int fd = ::socket(AF_UNIX, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    if (fd < 0) {
        return false;
    }
    constexpr std::string_view Ready = "READY=1";
    const auto size = static_cast<socklen_t>(offsetof(sockaddr_un, sun_path) + length);
    const bool sent = ::sendto(fd, Ready.data(), Ready.size(), MSG_NOSIGNAL,
                               reinterpret_cast<const sockaddr*>(&address),
                               size) == static_cast<ssize_t>(Ready.size());
    ::close(fd);
    return sent;
#endif
}
