#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <string>

// Follows one file through its folder: calls onChange whenever the file is written and
// closed, or another file is renamed over it (as editors save), on a thread of the watch's
// own, after a short pause that gathers the events of one save. inotify on Linux,
// ReadDirectoryChangesW on Windows.
class FileWatch {
  public:
    FileWatch(const std::filesystem::path& path, std::function<void()> onChange);
    // Stops and joins the watch's thread.
    ~FileWatch();
    FileWatch(const FileWatch&) = delete;
    FileWatch& operator=(const FileWatch&) = delete;

    // Empty while the file is watched; else why not (its folder is missing, say).
    const std::string& Problem() const;

    struct State;  // the platform's

  private:
    std::unique_ptr<State> state_;
};
