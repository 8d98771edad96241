#include "program/file_watch.h"

// Not watched on Windows: a key map is read again only when the program starts.
struct FileWatch::State {
    std::string problem = "files are not watched on Windows";
};

FileWatch::FileWatch(const std::string&, std::function<void()>)
    : state_(std::make_unique<State>()) {}

FileWatch::~FileWatch() = default;

const std::string& FileWatch::Problem() const {
    return state_->problem;
}
