// BackgroundConnect on Windows: no thread. The host name is looked up by GetAddrInfoExW,
// whose OVERLAPPED event the loop watches, and the client is then connected to the address
// found, which libmosquitto takes without a lookup. The Windows build has no TLS, so no
// name check is lost by that.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <mosquitto.h>

#include <system_error>
#include <thread>
#include <utility>

#include "text/wide_text.h"
#include "mqtt/background_connect.h"

// In ws2_32 since Windows 8; mingw-w64's headers do not declare them.
extern "C" {
DECLSPEC_IMPORT INT WSAAPI GetAddrInfoExOverlappedResult(LPOVERLAPPED overlapped);
DECLSPEC_IMPORT INT WSAAPI GetAddrInfoExCancel(LPHANDLE handle);
}

namespace {

// What Windows writes into while the lookup is under way.
struct Lookup {
    OVERLAPPED overlapped{};
    ADDRINFOEXW* found = nullptr;
    HANDLE cancel = nullptr;
    int error = WSA_IO_PENDING;  // the result, once known without asking

    Lookup() {
        overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
        if (overlapped.hEvent == nullptr) {
            throw std::system_error(static_cast<int>(GetLastError()), std::system_category(),
                                    "CreateEvent");
        }
    }
    ~Lookup() {
        if (found != nullptr) {
            FreeAddrInfoExW(found);
        }
        CloseHandle(overlapped.hEvent);
    }
    Lookup(const Lookup&) = delete;
    Lookup& operator=(const Lookup&) = delete;

    bool Done() const {
        return error != WSA_IO_PENDING ||
               WaitForSingleObject(overlapped.hEvent, 0) == WAIT_OBJECT_0;
    }
};

// The first address found, as text ("192.0.2.7", "2001:db8::7"); empty for none.
std::string AddressText(const ADDRINFOEXW* found) {
    // mingw-w64 declares ai_next with a struct of another name, laid out alike.
    for (; found != nullptr; found = reinterpret_cast<const ADDRINFOEXW*>(found->ai_next)) {
        wchar_t text[INET6_ADDRSTRLEN] = {};
        const void* address = nullptr;
        if (found->ai_family == AF_INET) {
            address = &reinterpret_cast<const sockaddr_in*>(found->ai_addr)->sin_addr;
        } else if (found->ai_family == AF_INET6) {
            address = &reinterpret_cast<const sockaddr_in6*>(found->ai_addr)->sin6_addr;
        }
        if (address != nullptr &&
            InetNtopW(found->ai_family, address, text, INET6_ADDRSTRLEN) != nullptr) {
            return Narrow(text);
        }
    }
    return {};
}

}  // namespace

struct BackgroundConnect::Shared {
    std::unique_ptr<MqttClient> client;
    int port = 0;
    // Owned, but handed to a thread of its own when abandoned under way.
    Lookup* lookup = new Lookup;
};

BackgroundConnect::BackgroundConnect(std::unique_ptr<MqttClient> client, const std::string& host,
                                     int port)
    : shared_(std::make_shared<Shared>()) {
    client->Tell(nullptr);
    shared_->client = std::move(client);
    shared_->port = port;
    Lookup& lookup = *shared_->lookup;
    ADDRINFOEXW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    const int started =
        GetAddrInfoExW(Widen(host).c_str(), nullptr, NS_ALL, nullptr, &hints, &lookup.found,
                       nullptr, &lookup.overlapped, nullptr, &lookup.cancel);
    if (started != WSA_IO_PENDING) {
        // Done at once: the event is not Windows' to signal.
        lookup.error = started;
        SetEvent(lookup.overlapped.hEvent);
    }
}

BackgroundConnect::~BackgroundConnect() {
    watch_.reset();
    Lookup* lookup = std::exchange(shared_->lookup, nullptr);
    if (lookup == nullptr || lookup->Done()) {
        delete lookup;
        return;
    }
    GetAddrInfoExCancel(&lookup->cancel);
    // Windows writes into it until it signals the event, which may take a while.
    std::thread([lookup] {
        WaitForSingleObject(lookup->overlapped.hEvent, INFINITE);
        delete lookup;
    }).detach();
}

void BackgroundConnect::Watch(EventLoop& loop, Done done) {
    watch_ = loop.WatchHandle(shared_->lookup->overlapped.hEvent, [this, done = std::move(done)] {
        watch_.reset();
        Lookup* lookup = std::exchange(shared_->lookup, nullptr);
        int error = lookup->error;
        if (error == WSA_IO_PENDING) {
            error = GetAddrInfoExOverlappedResult(&lookup->overlapped);
        }
        const std::string address = error == 0 ? AddressText(lookup->found) : std::string();
        delete lookup;
        std::unique_ptr<MqttClient> client = std::move(shared_->client);
        if (address.empty()) {
            done(std::move(client), MOSQ_ERR_EAI, error != 0 ? error : WSAHOST_NOT_FOUND);
            return;  // done may have destroyed this
        }
        int connectError = 0;
        const int result = client->Connect(address, shared_->port, connectError);
        done(std::move(client), result, connectError);
    });
}
