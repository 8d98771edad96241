// The key map's file followed through its folder, as editors save it on Windows.
#include "program/file_watch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <thread>

#include "program/utf8_path.h"

namespace {

// Polls until count reaches at least want, or a deadline passes.
bool Reaches(const std::atomic<int>& count, int want) {
    const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (count.load() < want) {
        if (std::chrono::steady_clock::now() > end) {
            return false;
        }
        std::this_thread::yield();
    }
    return true;
}

TEST(FileWatch, ASaveInPlaceAndAnEditorsRenameAreSeen) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder = std::wstring(temp) + L"quorvel-watch-\u30AD\u30FC";
    std::filesystem::create_directories(folder);
    const std::filesystem::path file = folder / L"keys.conf";
    std::ofstream(file) << "key 0x60 stop\n";

    std::atomic<int> changes = 0;
    {
        FileWatch watch(Utf8FromPath(file), [&] { ++changes; });
        ASSERT_EQ(watch.Problem(), "");
        std::ofstream(file, std::ios::trunc) << "key 0x60 next\n";
        EXPECT_TRUE(Reaches(changes, 1));

        const std::filesystem::path scratch = folder / L"keys.conf.tmp";
        std::ofstream(scratch) << "key 0x60 play\n";
        const int before = changes.load();
        ASSERT_TRUE(MoveFileExW(scratch.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_TRUE(Reaches(changes, before + 1));
    }
    std::filesystem::remove_all(folder);
}

TEST(FileWatch, AMissingFolderIsSaid) {
    FileWatch watch("C:\\quorvel-no-such-folder\\keys.conf", [] {});
    EXPECT_NE(watch.Problem().find("cannot watch"), std::string::npos) << watch.Problem();
}

}  // namespace
