#include "source/reopening.h"

#include <algorithm>

void Reopening::Attach(EventLoop& loop) {
    timer_ = loop.MakeTimer([this] { attempt_(); });
}

void Reopening::Failed(std::chrono::milliseconds longest) {
    backoff_.RecordFailure();
    if (timer_) {
        timer_->Set(EventLoop::Clock::now() + std::min(backoff_.NextWait(), longest));
    }
}

void Reopening::Soon() {
    backoff_.RecordSuccess();
    if (timer_) {
        timer_->Set(EventLoop::Clock::now());
    }
}

void Reopening::Succeeded() {
    backoff_.RecordSuccess();
    if (timer_) {
        timer_->Cancel();
    }
}
