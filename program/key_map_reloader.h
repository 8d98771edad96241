#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "keymap/key_map.h"
#include "keymap/shared_key_map.h"
#include "platform/file_watch.h"

// Keeps the key map in force in step with its file, while the receivers run: Reload reads
// the file again (on SIGHUP, or when WatchFile sees it saved). A map without problems
// applies from the next key on; a map with any problem is not taken, the old one stays in
// force, and each problem is said with its line in the lcApp log (standard error), so the
// remote is never left without a map.
class KeyMapReloader {
  public:
    // keysOption as --keys gave it (empty: the default place); keys the map read at start.
    KeyMapReloader(std::filesystem::path keysOption, KeyMap keys);
    ~KeyMapReloader();
    KeyMapReloader(const KeyMapReloader&) = delete;
    KeyMapReloader& operator=(const KeyMapReloader&) = delete;

    // The map in force, for the receivers.
    std::shared_ptr<const SharedKeyMap> Keys() const { return keys_; }

    // Safe from any thread; true when the file's map was put in force.
    bool Reload();
    // told runs after each reload that puts a map in force, on the thread that reloads
    // (one; another takes its place). Safe from any thread.
    void OnReloaded(std::function<void()> told);

    // Reloads whenever the file is saved or removed (a removed default map gives the
    // built-in one), also once its folder is made or made again, and through a link to
    // where it points, until the watch returned goes, which must be before the reloader:
    // watched on loop (the receiver's), made and destroyed on its thread. Where saves cannot
    // be watched, says so as a warning.
    [[nodiscard]] std::unique_ptr<FileWatch> WatchFile(EventLoop& loop);
    // The same, for the receiver to make on its loop (ReceiverHost::Start).
    std::function<std::unique_ptr<EventLoop::Watch>(EventLoop&)> WatchOnLoop() {
        return [this](EventLoop& loop) { return WatchFile(loop); };
    }

  private:
    std::filesystem::path option_;
    std::filesystem::path path_;  // the file read
    std::shared_ptr<SharedKeyMap> keys_;
    std::mutex reloading_;            // one reload at a time
    std::function<void()> reloaded_;  // guarded by reloading_
};
