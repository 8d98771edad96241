#include "mqtt/background_connect.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <mutex>
#include <thread>

struct BackgroundConnect::Shared {
    Shared() : wake(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~Shared() { ::close(wake); }
    Shared(const Shared&) = delete;
    Shared& operator=(const Shared&) = delete;

    std::mutex mutex;
    std::unique_ptr<MqttClient> client;
    bool abandoned = false;
    bool done = false;
    int result = 0;
    int error = 0;
    int wake;
};

BackgroundConnect::BackgroundConnect(std::unique_ptr<MqttClient> client, const std::string& host,
                                     int port)
    : shared_(std::make_shared<Shared>()) {
    client->Tell(nullptr);
    MqttClient* connecting = client.get();
    shared_->client = std::move(client);
    std::thread([shared = shared_, connecting, host, port] {
        // Only this thread touches the client until it hands it back.
        int error = 0;
        const int result = connecting->Connect(host, port, error);
        std::lock_guard lock(shared->mutex);
        if (shared->abandoned) {
            shared->client.reset();
            return;
        }
        shared->result = result;
        shared->error = error;
        shared->done = true;
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t written = ::write(shared->wake, &one, sizeof one);
    }).detach();
}

BackgroundConnect::~BackgroundConnect() {
    watch_.reset();
    std::lock_guard lock(shared_->mutex);
    shared_->abandoned = true;
    if (shared_->done) {
        shared_->client.reset();  // handed over, never collected
    }
}

void BackgroundConnect::Watch(EventLoop& loop, Done done) {
    watch_ = loop.WatchHandle(shared_->wake, [this, done = std::move(done)] {
        std::unique_ptr<MqttClient> client;
        int result = 0;
        int error = 0;
        {
            std::lock_guard lock(shared_->mutex);
            if (!shared_->done) {
                return;
            }
            client = std::move(shared_->client);
            result = shared_->result;
            error = shared_->error;
        }
        watch_.reset();
        done(std::move(client), result, error);  // may destroy this
    });
}
