#pragma once

#include <sys/eventfd.h>
#include <unistd.h>

#include <cstdint>
#include <deque>
#include <mutex>
#include <vector>

#include "log/log_category.h"
#include "log/log_line.h"
#include "source/key_source.h"

// A key source on the loop that hands over the items a test pushes, from any thread: an
// eventfd tells the loop there are some. perTurn: the most handed over at each turn of the
// loop (MQTT's, a message a read). Linux only.
class FedKeySource : public KeySource {
  public:
    explicit FedKeySource(std::vector<SourceCondition> setup = {},
                          std::size_t perTurn = static_cast<std::size_t>(-1))
        : setup_(std::move(setup)),
          perTurn_(perTurn),
          ready_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {}
    ~FedKeySource() override {
        watch_.reset();
        ::close(ready_);
    }

    void Push(std::vector<SourceItem> items) {
        std::lock_guard lock(mutex_);
        items_.insert(items_.end(), items.begin(), items.end());
        const std::uint64_t one = 1;
        [[maybe_unused]] const ssize_t n = ::write(ready_, &one, sizeof one);
    }

    void Open() override {}
    // Says each problem in its log too, as the real sources do.
    std::vector<SourceCondition> Configure() override {
        for (const SourceCondition& condition : setup_) {
            QUORVEL_WARNING(Log()) << condition.reason;
        }
        return setup_;
    }
    void Attach(EventLoop& loop, SourceOutput& out) override {
        watch_ = loop.WatchHandle(ready_, [this, &out] {
            std::uint64_t count = 0;
            [[maybe_unused]] const ssize_t n = ::read(ready_, &count, sizeof count);
            std::deque<SourceItem> items;
            {
                std::lock_guard lock(mutex_);
                while (!items_.empty() && items.size() < perTurn_) {
                    items.push_back(std::move(items_.front()));
                    items_.pop_front();
                }
                if (!items_.empty()) {
                    const std::uint64_t one = 1;
                    [[maybe_unused]] const ssize_t more = ::write(ready_, &one, sizeof one);
                }
            }
            for (SourceItem& item : items) {
                out.Put(std::move(item));
            }
        });
    }
    const LogCategory& Log() const override {
        static LogCategory log("quorvel.test");
        return log;
    }

  private:
    std::vector<SourceCondition> setup_;
    std::size_t perTurn_;
    int ready_;
    std::mutex mutex_;
    std::deque<SourceItem> items_;
    std::unique_ptr<EventLoop::Watch> watch_;
};
