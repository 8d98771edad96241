#pragma once

#include <filesystem>
#include <functional>
#include <memory>
#include <mutex>
#include <string>

#include "actions/problem_notice.h"
#include "keymap/key_map.h"
#include "keymap/shared_key_map.h"
#include "platform/file_watch.h"

// Keeps the key map in force in step with its file, while the receivers run: Reload reads
// the file again (on SIGHUP, or when WatchFile sees it saved). A map without problems
// applies from the next key on; a map with any problem is not taken, the old one stays in
// force, and each problem is said with its line in the lcApp log (standard error), so the
// remote is never left without a map. A notice, when given, shows the refusal (the first
// problem) until a reload is accepted.
class KeyMapReloader {
  public:
    // keysOption as --keys gave it (empty: the default place); keys the map read at start.
    KeyMapReloader(std::filesystem::path keysOption, KeyMap keys);
    ~KeyMapReloader();
    KeyMapReloader(const KeyMapReloader&) = delete;
    KeyMapReloader& operator=(const KeyMapReloader&) = delete;

    // The map in force, for the receivers.
    std::shared_ptr<const SharedKeyMap> Keys() const { return keys_; }

    // Where a refused reload is shown, and that a later one was accepted; none for nowhere.
    // Set before the receivers start, as it is used on their thread; must outlive them.
    void NoticeWith(ProblemNotice* notice) { notice_ = notice; }
    // NoticeWith for as long as it lives: made before the receivers start, gone after them.
    class NoticeScope {
      public:
        NoticeScope(KeyMapReloader& reloader, ProblemNotice& notice) : reloader_(reloader) {
            reloader_.NoticeWith(&notice);
        }
        ~NoticeScope() { reloader_.NoticeWith(nullptr); }
        NoticeScope(const NoticeScope&) = delete;
        NoticeScope& operator=(const NoticeScope&) = delete;

      private:
        KeyMapReloader& reloader_;
    };

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
    std::mutex reloading_;  // one reload at a time
    ProblemNotice* notice_ = nullptr;
    bool refused_ = false;            // the last reload was refused; guarded by reloading_
    std::function<void()> reloaded_;  // guarded by reloading_
};
