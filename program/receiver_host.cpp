#include "program/receiver_host.h"

#include <stdexcept>

#include "program/app_log.h"
#include "serial/serial_line.h"

ReceiverHost::ReceiverHost(std::unique_ptr<HistoryList> list) : list_(std::move(list)) {}

ReceiverHost::~ReceiverHost() {
    Stop();
}

void ReceiverHost::Start(std::unique_ptr<KeySource> source, IRThread::PlayerFactory makePlayer,
                         std::shared_ptr<const SharedKeyMap> keys) {
    if (thread_) {
        // Two writers would each keep a LineIndex of their own and corrupt the list.
        throw std::logic_error("a history has one receiver");
    }
    thread_ = std::make_unique<IRThread>(*list_, std::move(source), std::move(makePlayer),
                                         std::move(keys));
    thread_->Resume();
}

void ReceiverHost::Start(std::string port, IRThread::PlayerFactory makePlayer,
                         std::shared_ptr<const SharedKeyMap> keys) {
    Start(std::make_unique<SerialLine>(std::move(port), MakeSerialDevice()), std::move(makePlayer),
          std::move(keys));
}

void ReceiverHost::Stop() {
    if (!thread_) {
        return;
    }
    thread_->RequestStop();
    thread_->Join();
    QUORVEL_DEBUG(lcApp) << "receiver: stopped and joined";
    thread_.reset();
}
