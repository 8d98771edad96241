#include <windows.h>
#include <winsock2.h>

#include <climits>

#include "text/wide_text.h"
#include "text/win32_error_text.h"
#include "mqtt/network_calls.h"

namespace {

SOCKET AsSocket(int socket) {
    return static_cast<SOCKET>(socket);
}

int Capped(std::size_t size) {
    return static_cast<int>(size > INT_MAX ? INT_MAX : size);
}

}  // namespace

std::string HostName() {
    // Windows' own call: gethostname would need Winsock started first.
    wchar_t host[256] = {};
    DWORD size = 256;
    return GetComputerNameExW(ComputerNameDnsHostname, host, &size) ? Narrow(host) : "";
}

std::string SocketErrorText(int error) {
    return Win32ErrorText(static_cast<unsigned long>(error));
}

int ConnectFailure(int socket) {
    if (BytesWaiting(socket) > 0) {
        return 0;  // a read tells
    }
    int error = 0;
    int size = sizeof error;
    return getsockopt(AsSocket(socket), SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error),
                      &size) == 0
               ? error
               : 0;
}

long PeekBytes(int socket, void* buffer, std::size_t size) {
    return recv(AsSocket(socket), static_cast<char*>(buffer), Capped(size), MSG_PEEK);
}

long TakeBytes(int socket, void* buffer, std::size_t size) {
    return recv(AsSocket(socket), static_cast<char*>(buffer), Capped(size), 0);
}

bool NothingYet() {
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK || error == WSAEINTR;
}

std::size_t BytesWaiting(int socket) {
    u_long waiting = 0;
    return ioctlsocket(AsSocket(socket), FIONREAD, &waiting) == 0 ? waiting : 0;
}

void WakeAt(int /*socket*/, std::size_t /*bytes*/) {}
