#pragma once

#include <cstddef>
#include <string>

// What mqtt/ asks of the network API, each platform's way: the BSD sockets on Linux,
// Winsock on Windows (whose error codes libmosquitto leaves in errno there too). The sockets
// are libmosquitto's, non-blocking.

// This machine's host name; empty when it has none to say.
std::string HostName();
// What the system says of error, an errno (Linux) or a Winsock code (Windows).
std::string SocketErrorText(int error);
// Why a connection socket started has failed, where no read would tell: on Windows a read
// after a failed connect says only that the socket is not connected, so the socket's own
// error (SO_ERROR) is taken while no byte waits to be read. 0 for none, and always on
// Linux, whose reads tell.
int ConnectFailure(int socket);

// Bytes from socket without waiting, left there (peek) or taken: how many; 0 at its end,
// -1 on a failure or when none has come (see NothingYet).
long PeekBytes(int socket, void* buffer, std::size_t size);
long TakeBytes(int socket, void* buffer, std::size_t size);
// Whether the call before failed only as nothing had come yet (or it was interrupted).
bool NothingYet();
// How many bytes wait to be read.
std::size_t BytesWaiting(int socket);
// The socket wakes the loop only once at least bytes wait in it (SO_RCVLOWAT). Windows has
// no such mark: its event loop looks at input a reader left waiting on a timer instead.
void WakeAt(int socket, std::size_t bytes);
