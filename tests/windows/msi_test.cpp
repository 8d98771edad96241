// The installer, installed and uninstalled by Windows Installer as a user would, quietly.
#include <gtest/gtest.h>

#include <windows.h>

#include <shlobj.h>

#include <filesystem>
#include <string>
#include <vector>

namespace {

constexpr const wchar_t* UninstallKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Uninstall";
constexpr const wchar_t* RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";

// Beside quorvel.exe, two folders up from this test.
std::filesystem::path MsiPath() {
    wchar_t self[MAX_PATH];
    GetModuleFileNameW(nullptr, self, MAX_PATH);
    return (std::filesystem::path(self).parent_path() / L".." / L".." / QUORVEL_MSI_NAME)
        .lexically_normal();
}

std::filesystem::path Folder(REFKNOWNFOLDERID id) {
    PWSTR path = nullptr;
    std::filesystem::path result;
    if (SUCCEEDED(SHGetKnownFolderPath(id, 0, nullptr, &path))) {
        result = path;
    }
    CoTaskMemFree(path);
    return result;
}

// msiexec's exit status (0: done), or ~0 when it did not run or end.
DWORD Msiexec(const std::wstring& arguments) {
    std::wstring commandLine = L"msiexec.exe " + arguments;
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    PROCESS_INFORMATION process{};
    if (!CreateProcessW(nullptr, commandLine.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr,
                        &startup, &process)) {
        return ~DWORD{0};
    }
    CloseHandle(process.hThread);
    DWORD status = ~DWORD{0};
    if (WaitForSingleObject(process.hProcess, 180000) == WAIT_OBJECT_0) {
        GetExitCodeProcess(process.hProcess, &status);
    }
    CloseHandle(process.hProcess);
    return status;
}

std::wstring Text(HKEY root, const std::wstring& key, const wchar_t* name) {
    wchar_t value[256] = {};
    DWORD size = sizeof value;
    if (RegGetValueW(root, key.c_str(), name, RRF_RT_REG_SZ, nullptr, value, &size) !=
        ERROR_SUCCESS) {
        return L"(none)";
    }
    return value;
}

struct Entry {
    HKEY root;
    std::wstring key;
};

// The Apps & features entries named Quorvel, the user's and the machine's.
std::vector<Entry> UninstallEntries() {
    std::vector<Entry> entries;
    for (const HKEY root : {HKEY_CURRENT_USER, HKEY_LOCAL_MACHINE}) {
        HKEY uninstall = nullptr;
        if (RegOpenKeyExW(root, UninstallKey, 0, KEY_READ, &uninstall) != ERROR_SUCCESS) {
            continue;
        }
        wchar_t name[256];
        for (DWORD i = 0;; ++i) {
            DWORD length = 256;
            if (RegEnumKeyExW(uninstall, i, name, &length, nullptr, nullptr, nullptr, nullptr) !=
                ERROR_SUCCESS) {
                break;
            }
            const std::wstring key = std::wstring(UninstallKey) + L"\\" + name;
            if (Text(root, key, L"DisplayName") == L"Quorvel") {
                entries.push_back({root, key});
            }
        }
        RegCloseKey(uninstall);
    }
    return entries;
}

bool KeyExists(HKEY root, const wchar_t* key) {
    HKEY opened = nullptr;
    if (RegOpenKeyExW(root, key, 0, KEY_READ, &opened) != ERROR_SUCCESS) {
        return false;
    }
    RegCloseKey(opened);
    return true;
}

TEST(Msi, InstallsForTheUserAloneAndUninstallsWithoutATrace) {
    if (!QUORVEL_MSI_BUILT) {
        GTEST_SKIP() << "wixl is missing, so the build made no installer";
    }
    const std::filesystem::path msi = MsiPath();
    ASSERT_TRUE(std::filesystem::exists(msi)) << msi;
    const std::filesystem::path folder = Folder(FOLDERID_LocalAppData) / L"Programs" / L"Quorvel";
    const std::filesystem::path shortcut = Folder(FOLDERID_Programs) / L"Quorvel.lnk";

    ASSERT_EQ(Msiexec(L"/i \"" + msi.wstring() + L"\" /qn"), 0u);
    for (const wchar_t* file :
         {L"quorvel.exe", L"README.txt", L"licenses\\quorvel.txt", L"licenses\\CLI11.txt",
          L"licenses\\gcc-runtime.txt", L"licenses\\GPL-3.txt", L"licenses\\mingw-w64-runtime.txt",
          L"licenses\\winpthreads.txt", L"licenses\\mosquitto.txt"}) {
        EXPECT_TRUE(std::filesystem::is_regular_file(folder / file)) << folder / file;
    }
    EXPECT_TRUE(std::filesystem::is_regular_file(shortcut)) << shortcut;
    const std::vector<Entry> entries = UninstallEntries();
    ASSERT_EQ(entries.size(), 1u);
    EXPECT_EQ(Text(entries[0].root, entries[0].key, L"DisplayVersion"), L"" QUORVEL_VERSION);
    EXPECT_EQ(Text(entries[0].root, entries[0].key, L"Publisher"), L"The Quorvel developers");

    // "Start with Windows" turned on for the installed program, as its tray menu does.
    const std::wstring command = L"\"" + (folder / L"quorvel.exe").wstring() + L"\" --minimized";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, RunKey, L"Quorvel", REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);

    ASSERT_EQ(Msiexec(L"/x \"" + msi.wstring() + L"\" /qn"), 0u);
    EXPECT_FALSE(std::filesystem::exists(folder)) << folder;
    EXPECT_FALSE(std::filesystem::exists(shortcut)) << shortcut;
    EXPECT_TRUE(UninstallEntries().empty());
    EXPECT_FALSE(KeyExists(HKEY_CURRENT_USER, L"Software\\Quorvel"));
    EXPECT_EQ(Text(HKEY_CURRENT_USER, RunKey, L"Quorvel"), L"(none)");
}

// "Start with Windows" of another copy (a zip's) is that copy's: uninstalling leaves it.
TEST(Msi, UninstallingLeavesAnotherCopysStartWithWindows) {
    if (!QUORVEL_MSI_BUILT) {
        GTEST_SKIP() << "wixl is missing, so the build made no installer";
    }
    const std::filesystem::path msi = MsiPath();
    ASSERT_EQ(Msiexec(L"/i \"" + msi.wstring() + L"\" /qn"), 0u);
    const std::wstring command = L"\"C:\\Tools\\Quorvel\\quorvel.exe\" --minimized";
    ASSERT_EQ(RegSetKeyValueW(HKEY_CURRENT_USER, RunKey, L"Quorvel", REG_SZ, command.c_str(),
                              static_cast<DWORD>((command.size() + 1) * sizeof(wchar_t))),
              ERROR_SUCCESS);
    ASSERT_EQ(Msiexec(L"/x \"" + msi.wstring() + L"\" /qn"), 0u);
    EXPECT_TRUE(UninstallEntries().empty());
    EXPECT_EQ(Text(HKEY_CURRENT_USER, RunKey, L"Quorvel"), command);
    RegDeleteKeyValueW(HKEY_CURRENT_USER, RunKey, L"Quorvel");
}

}  // namespace
