// The key map's file followed through its folder, as editors save it on Windows.
#include "platform/file_watch.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <atomic>
#include <filesystem>
#include <fstream>

#include "tests/doubles/eventually.h"
#include "tests/windows/wine_test.h"

namespace {

TEST(FileWatch, ASaveInPlaceAndAnEditorsRenameAreSeen) {
    const std::filesystem::path folder = WineTest::TempFolder(L"quorvel-watch-\u30AD\u30FC");
    const std::filesystem::path file = folder / L"keys.conf";
    std::ofstream(file) << "key 0x60 stop\n";

    std::atomic<int> changes = 0;
    {
        FileWatch watch(file, [&] { ++changes; });
        ASSERT_EQ(watch.Problem(), "");
        std::ofstream(file, std::ios::trunc) << "key 0x60 next\n";
        EXPECT_TRUE(Eventually([&] { return changes.load() >= 1; }));

        const std::filesystem::path scratch = folder / L"keys.conf.tmp";
        std::ofstream(scratch) << "key 0x60 play\n";
        const int before = changes.load();
        ASSERT_TRUE(MoveFileExW(scratch.c_str(), file.c_str(), MOVEFILE_REPLACE_EXISTING));
        EXPECT_TRUE(Eventually([&] { return changes.load() > before; }));
    }
    std::filesystem::remove_all(folder);
}

TEST(FileWatch, AMissingFolderIsSaid) {
    FileWatch watch("C:\\quorvel-no-such-folder\\keys.conf", [] {});
    EXPECT_NE(watch.Problem().find("cannot watch"), std::string::npos) << watch.Problem();
}

}  // namespace
