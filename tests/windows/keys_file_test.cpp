// The keys window's file on Windows: a map marked read-only stays so when written over, and
// a map another program holds open is refused with the system's reason.
#include <gtest/gtest.h>

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "keys_window/key_map_editor.h"
#include "platform/file_replacement.h"
#include "platform/utf8_path.h"
#include "tests/windows/wine_test.h"
#include "text/win32_error_text.h"

namespace {

std::string Text(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

TEST(KeysFile, AReadOnlyMapIsAskedForAndStaysReadOnly) {
    const std::filesystem::path folder = WineTest::TempFolder(L"quorvel_read_only");
    const std::filesystem::path path = folder / L"keys.conf";
    std::ofstream(path, std::ios::binary) << "key 1 next\r\n";
    ASSERT_TRUE(SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_READONLY));
    EXPECT_TRUE(IsMarkedReadOnly(path));
    KeyMapEditor editor(path);
    KeyMap::Line line;
    line.keys = {Key::Code(1)};
    line.binding = PlayerRequest(PlayerAction::Stop);
    ASSERT_EQ(editor.Document().Change(0, line), "");
    std::string why;
    EXPECT_EQ(editor.Save({}, why), KeyMapEditor::Saved::ReadOnly);
    EXPECT_EQ(editor.Save({false, true}, why), KeyMapEditor::Saved::Written) << why;
    EXPECT_EQ(Text(path), "key  1 stop\r\n");
    EXPECT_TRUE(IsMarkedReadOnly(path));
    EXPECT_FALSE(IsMarkedReadOnly(folder / L"keys.conf.bak"));
    SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
    std::filesystem::remove_all(folder);
}

TEST(KeysFile, AMapAnotherProgramHoldsIsRefusedWithWhy) {
    const std::filesystem::path folder = WineTest::TempFolder(L"quorvel_locked");
    const std::filesystem::path path = folder / L"keys.conf";
    std::ofstream(path, std::ios::binary) << "key 1 next\r\n";
    KeyMapEditor editor(path);
    KeyMap::Line line;
    line.keys = {Key::Code(1)};
    line.binding = PlayerRequest(PlayerAction::Stop);
    ASSERT_EQ(editor.Document().Change(0, line), "");
    const HANDLE held = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr,
                                    OPEN_EXISTING, 0, nullptr);
    ASSERT_NE(held, INVALID_HANDLE_VALUE);
    std::string why;
    EXPECT_EQ(editor.Save({}, why), KeyMapEditor::Saved::Refused);
    EXPECT_EQ(why, Utf8FromPath(path) + ": cannot read it: " +
                       Win32ErrorText(ERROR_SHARING_VIOLATION));
    CloseHandle(held);
    EXPECT_EQ(Text(path), "key 1 next\r\n");
    std::filesystem::remove_all(folder);
}

}  // namespace
