// A file followed through its folders, as users and editors save it. Shared with the
// Windows tests, run under Wine.
#include "platform/file_watch.h"

#include <gtest/gtest.h>

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <mutex>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

#include "tests/doubles/loop_turns.h"

namespace fs = std::filesystem;

namespace {

// A fresh folder in the temporary folder, removed with everything in it when the object goes.
class TempRoot {
  public:
    TempRoot() {
        std::random_device random;
#ifdef _WIN32
        path_ = fs::temp_directory_path() /
                (L"quorvel-watch-\u30AD\u30FC-" + std::to_wstring(random()));
#else
        path_ = fs::temp_directory_path() / ("quorvel-watch-" + std::to_string(random()));
#endif
        fs::create_directories(path_);
    }
    ~TempRoot() {
        std::error_code ignored;
        fs::remove_all(path_, ignored);
    }
    const fs::path& Path() const {
        return path_;
    }

  private:
    fs::path path_;
};

std::string ReadOr(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        return "(none)";
    }
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void Write(const fs::path& path, const std::string& text) {
    std::ofstream(path, std::ios::binary | std::ios::trunc) << text;
}

// What the file held each time the watch said it changed.
class Seen {
  public:
    void Add(std::string text) {
        const std::lock_guard lock(mutex_);
        seen_.push_back(std::move(text));
    }
    std::vector<std::string> All() const {
        const std::lock_guard lock(mutex_);
        return seen_;
    }
    std::string Last() const {
        const std::lock_guard lock(mutex_);
        return seen_.empty() ? "" : seen_.back();
    }

  private:
    mutable std::mutex mutex_;
    std::vector<std::string> seen_;
};

struct Case {
    std::string name;
    std::function<void(const fs::path& root, const fs::path& file)> before;  // at the start
    std::function<void(const fs::path& root, const fs::path& file)> change;  // the user's
    std::string last;  // what the file holds when the watch last says so
};

TEST(FileWatch, EverySaveIsSeenWhateverBecomesOfItsFolder) {
    const auto existing = [](const fs::path&, const fs::path& file) {
        fs::create_directories(file.parent_path());
        Write(file, "old\n");
    };
    const Case cases[] = {
        {"a save in place", existing,
         [](const fs::path&, const fs::path& file) { Write(file, "new\n"); }, "new\n"},
        {"an editor's rename", existing,
         [](const fs::path&, const fs::path& file) {
             Write(file.parent_path() / "keys.conf.tmp", "new\n");
             fs::rename(file.parent_path() / "keys.conf.tmp", file);
         },
         "new\n"},
        {"the file removed", existing,
         [](const fs::path&, const fs::path& file) { fs::remove(file); }, "(none)"},
        {"the folders missing at the start", [](const fs::path&, const fs::path&) {},
         [](const fs::path&, const fs::path& file) {
             fs::create_directories(file.parent_path());
             Write(file, "new\n");
         },
         "new\n"},
        {"the folder removed and made again", existing,
         [](const fs::path&, const fs::path& file) {
             fs::remove_all(file.parent_path());
             fs::create_directory(file.parent_path());
             Write(file, "new\n");
         },
         "new\n"},
#ifndef _WIN32  // links need a privilege there
        {"a link into a dotfiles folder, its target saved",
         [](const fs::path& root, const fs::path& file) {
             fs::create_directories(root / "dotfiles");
             fs::create_directories(file.parent_path());
             Write(root / "dotfiles/keys.conf", "old\n");
             fs::create_symlink("../../dotfiles/keys.conf", file);
         },
         [](const fs::path& root, const fs::path&) {
             Write(root / "dotfiles/.keys.conf.swp", "new\n");
             fs::rename(root / "dotfiles/.keys.conf.swp", root / "dotfiles/keys.conf");
         },
         "new\n"},
#endif
    };
    for (const Case& c : cases) {
        const TempRoot root;
        const fs::path file = root.Path() / "config" / "quorvel" / "keys.conf";
        c.before(root.Path(), file);
        Seen seen;
        const auto loop = MakeEventLoop();
        FileWatch watch(*loop, file, [&] { seen.Add(ReadOr(file)); });
        EXPECT_EQ(watch.Problem(), "") << c.name;
        c.change(root.Path(), file);
        EXPECT_TRUE(TurnUntil(*loop, [&] { return seen.Last() == c.last; }))
            << c.name << ": " << seen.Last();
    }
}

#ifdef _WIN32
// A save by a program that holds the file locked for a while: the file is read once it lets go.
TEST(FileWatch, ALockedSaveIsWaitedFor) {
    const TempRoot root;
    const fs::path file = root.Path() / "keys.conf";
    Write(file, "old\n");
    Seen seen;
    const auto loop = MakeEventLoop();
    FileWatch watch(*loop, file, [&] { seen.Add(ReadOr(file)); });
    ASSERT_EQ(watch.Problem(), "");
    const HANDLE held = CreateFileW(file.c_str(), GENERIC_WRITE, 0, nullptr, TRUNCATE_EXISTING,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    DWORD wrote = 0;
    WriteFile(held, "new\n", 4, &wrote, nullptr);
    // Held a while, as a slow save would.
    TurnUntil(
        *loop, [&] { return !seen.All().empty(); }, std::chrono::seconds(1));
    CloseHandle(held);
    EXPECT_TRUE(TurnUntil(*loop, [&] { return seen.Last() == "new\n"; })) << seen.Last();
    for (const std::string& text : seen.All()) {
        EXPECT_NE(text, "(none)");
    }
}
#endif

}  // namespace
