#include "program/receiver_host.h"

#include <stdexcept>

#include "program/app_log.h"

ReceiverHost::ReceiverHost(std::unique_ptr<HistoryList> list) : list_(std::move(list)) {}

ReceiverHost::~ReceiverHost() {
    Stop();
}

void ReceiverHost::Start(std::unique_ptr<KeyReader> reader, IRThread::PlayerFactory makePlayer,
                         std::shared_ptr<const SharedKeyMap> keys,
                         std::shared_ptr<PressJudge> judge, IRThread::LoopWatch watch) {
    if (thread_) {
        // Two writers would each keep a LineIndex of their own and corrupt the list.
        throw std::logic_error("a history has one receiver");
    }
    judge_ = std::move(judge);
    thread_ = std::make_unique<IRThread>(*list_, std::move(reader), std::move(makePlayer),
                                         std::move(keys), capture_.get(), judge_.get(),
                                         std::move(watch));
    thread_->Resume();
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
