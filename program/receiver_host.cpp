#include "program/receiver_host.h"

#include "program/app_log.h"

ReceiverHost::ReceiverHost(std::unique_ptr<HistoryList> list) : list_(std::move(list)) {}

ReceiverHost::~ReceiverHost() {
    StopAll();
}

void ReceiverHost::Start(std::string port, IRThread::PlayerFactory makePlayer, KeyMap keys) {
    Start(std::move(port), std::move(makePlayer),
          std::make_shared<const SharedKeyMap>(std::move(keys)));
}

void ReceiverHost::Start(std::string port, IRThread::PlayerFactory makePlayer,
                         std::shared_ptr<const SharedKeyMap> keys) {
    auto thread =
        std::make_unique<IRThread>(*list_, std::move(port), std::move(makePlayer), std::move(keys));
    thread->Resume();
    threads_.push_back(std::move(thread));
}

void ReceiverHost::StopAll() {
    if (threads_.empty()) {
        return;
    }
    // All are asked first so they wind down together.
    for (const auto& thread : threads_) {
        thread->RequestStop();
    }
    for (const auto& thread : threads_) {
        thread->Join();
    }
    QUORVEL_DEBUG(lcApp) << "receiver: stopped and joined " << threads_.size() << " thread(s)";
    threads_.clear();
}
