#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "mqtt/network_calls.h"

std::string HostName() {
    char host[256] = {};
    return ::gethostname(host, sizeof host - 1) == 0 ? host : "";
}

std::string SocketErrorText(int error) {
    return std::strerror(error);
}

int ConnectFailure(int /*socket*/) {
    return 0;
}

long PeekBytes(int socket, void* buffer, std::size_t size) {
    return ::recv(socket, buffer, size, MSG_PEEK | MSG_DONTWAIT);
}

long TakeBytes(int socket, void* buffer, std::size_t size) {
    return ::recv(socket, buffer, size, MSG_DONTWAIT);
}

bool NothingYet() {
    return errno == EAGAIN || errno == EINTR;
}

std::size_t BytesWaiting(int socket) {
    int waiting = 0;
    return ::ioctl(socket, FIONREAD, &waiting) == 0 ? static_cast<std::size_t>(waiting) : 0;
}

void WakeAt(int socket, std::size_t bytes) {
    const int low = static_cast<int>(std::max<std::size_t>(bytes, 1));
    ::setsockopt(socket, SOL_SOCKET, SO_RCVLOWAT, &low, sizeof low);
}
