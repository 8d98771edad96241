#include "program/key_map_reloader.h"

#include <string>
#include <utility>

#include "keymap/key_map_file.h"
#include "log/untrusted_text.h"
#include "platform/utf8_path.h"
#include "program/app_log.h"

namespace {

// A line of ours around a path or a line of a file: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;

}  // namespace

KeyMapReloader::KeyMapReloader(std::filesystem::path keysOption, KeyMap keys)
    : option_(std::move(keysOption)),
      path_(option_.empty() ? KeyMapFile::DefaultPath() : option_),
      keys_(std::make_shared<SharedKeyMap>(std::move(keys))) {}

KeyMapReloader::~KeyMapReloader() = default;

bool KeyMapReloader::Reload() {
    std::lock_guard lock(reloading_);
    KeyMapFile::Loaded loaded = KeyMapFile::Load(option_);
    if (!loaded.problems.empty()) {
        for (const std::string& problem : loaded.problems) {
            QUORVEL_WARNING(lcApp)
                << "key map not reloaded, the old one stays: " << UntrustedText(problem, LineLimit);
        }
        if (notice_ != nullptr) {
            std::string why =
                "key map not reloaded, the old one stays: " + UntrustedText(loaded.problems[0]);
            if (loaded.problems.size() > 1) {
                why += " (and " + std::to_string(loaded.problems.size() - 1) + " more in the log)";
            }
            notice_->Show(why, true);
        }
        refused_ = true;
        return false;
    }
    keys_->Replace(std::move(loaded.keys));
    if (std::exchange(refused_, false) && notice_ != nullptr) {
        notice_->Solved();
    }
    if (reloaded_) {
        reloaded_();
    }
    if (loaded.path.empty()) {
        QUORVEL_INFO(lcApp) << "key map: no " << UntrustedText(Utf8FromPath(path_), LineLimit)
                            << ", the built-in map applies from the next key";
    } else {
        QUORVEL_INFO(lcApp) << "key map: " << UntrustedText(Utf8FromPath(loaded.path), LineLimit)
                            << " read again, it applies from the next key";
    }
    return true;
}

void KeyMapReloader::OnReloaded(std::function<void()> told) {
    std::lock_guard lock(reloading_);
    reloaded_ = std::move(told);
}

std::unique_ptr<FileWatch> KeyMapReloader::WatchFile(EventLoop& loop) {
    auto watch = std::make_unique<FileWatch>(loop, path_, [this] { Reload(); });
    if (!watch->Problem().empty()) {
#ifdef _WIN32
        QUORVEL_WARNING(lcApp) << "key map: not reloaded on a save, " << watch->Problem();
#else
        QUORVEL_WARNING(lcApp) << "key map: not reloaded on a save, " << watch->Problem()
                               << "; SIGHUP reloads it";
#endif
    }
    return watch;
}
