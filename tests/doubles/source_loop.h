#pragma once

#include <chrono>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "source/receiver_loop.h"
#include "tests/doubles/item_text.h"

// A deadline so generous that only a fault reaches it.
inline KeyReader::Deadline Soon() {
    return std::chrono::steady_clock::now() + std::chrono::seconds(20);
}

// The receiver loop over one source, on the real event loop unless given one.
inline std::unique_ptr<ReceiverLoop> LoopOver(std::unique_ptr<KeySource> source,
                                              std::unique_ptr<EventLoop> loop = MakeEventLoop()) {
    std::vector<std::unique_ptr<KeySource>> sources;
    sources.push_back(std::move(source));
    return std::make_unique<ReceiverLoop>(std::move(sources), std::move(loop));
}

// Opens and sets up a reader as the receiver does at start: the why of each failed step.
inline std::vector<std::string> StartReader(KeyReader& reader) {
    reader.Open();
    std::vector<std::string> whys;
    for (const SourceCondition& condition : reader.Configure()) {
        whys.push_back(condition.reason);
    }
    return whys;
}

// The next item as ItemText gives it; "timed out" when none comes by Soon().
inline std::string NextText(KeyReader& reader) {
    return ItemText(reader.NextBefore(Soon()));
}
