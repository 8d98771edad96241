// Key maps under folders named outside the ANSI code page, and run lines checked when read.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "keymap/key_map_file.h"
#include "platform/utf8_path.h"
#include "tests/windows/wine_test.h"

namespace {

TEST(WidePath, KeyMapRoundTripUnderAFolderNamedInAnyScript) {
    // Japanese, Cyrillic and accented folders, none of them in one ANSI code page.
    const std::filesystem::path top = WineTest::TempFolder(L"\u30AD\u30FC");
    const std::filesystem::path folder =
        top / L"\u043A\u043B\u0430\u0432\u0438\u0448\u0438" / L"caf\u00E9";
    const std::filesystem::path path = folder / L"keys.conf";
    KeyMap keys = KeyMap::Standard();
    std::filesystem::path backup;
    std::string error;
    ASSERT_TRUE(KeyMapFile::Save(path, keys, backup, error)) << error;
    EXPECT_TRUE(std::filesystem::exists(folder / L"keys.conf"));
    // Again: the first file becomes the backup, beside it.
    ASSERT_TRUE(KeyMapFile::Save(path, keys, backup, error)) << error;
    EXPECT_EQ(backup, folder / L"keys.conf.bak");
    EXPECT_TRUE(std::filesystem::exists(folder / L"keys.conf.bak"));
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_TRUE(loaded.problems.empty());
    EXPECT_EQ(loaded.path, path);
    EXPECT_EQ(loaded.keys.Format(), keys.Format());
    std::filesystem::remove_all(top);
}

TEST(WidePath, AnUnquotedPathThatCouldNameTwoProgramsIsRefusedByItsLine) {
    const std::filesystem::path folder = WineTest::TempFolder(L"quorvel_run");
    std::ofstream(folder / L"tool.exe").close();
    std::filesystem::create_directories(folder / L"tool kit");
    const std::string tool = Utf8FromPath(folder / L"tool");
    const std::string path = Utf8FromPath(folder / L"keys.conf");
    std::ofstream(folder / L"keys.conf")
        << "key 42 run " << tool << ".exe --now\nkey 43 run " << tool << " x\\run.exe\nkey 44 run "
        << tool << " kit\\logger one\n";
    const KeyMapFile::Loaded loaded = KeyMapFile::Load(path);
    EXPECT_EQ(loaded.problems,
              std::vector<std::string>(
                  {path + ":2: the program could be \"" + tool + "\" or \"" + tool +
                       " x\\run.exe\": put the one meant in double quotes",
                   path + ":3: the program could be \"" + tool + "\" or one in the folder \"" +
                       tool + " kit\": put the one meant in double quotes"}));
    std::filesystem::remove_all(folder);
}

}  // namespace
