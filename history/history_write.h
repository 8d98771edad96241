#pragma once

#include <string>

// One HistoryList call, recorded by a list that carries the receiver's calls to the
// thread that owns the lines and applies them there in order.
struct HistoryWrite {
    enum class Kind { Delete, Insert, Repaint };
    Kind kind;
    int index;
    std::string text;
};
