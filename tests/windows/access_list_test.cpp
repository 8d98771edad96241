// Key maps with run lines, and the broker's password file, judged by the access lists
// Windows keeps for them.
#include <gtest/gtest.h>

#include <windows.h>

#include <aclapi.h>

#include <filesystem>
#include <fstream>
#include <string>

#include "keymap/key_map_file.h"
#include "mqtt/password_file.h"
#include "platform/utf8_path.h"
#include "tests/windows/wine_test.h"

namespace {

// Lets Everyone have rights on path as well, besides what its list already gives.
void AllowEveryone(const std::filesystem::path& path, DWORD rights) {
    PACL old = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    ASSERT_EQ(GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, &old, nullptr, &descriptor),
              ERROR_SUCCESS);
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = rights;
    access.grfAccessMode = GRANT_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = const_cast<wchar_t*>(L"Everyone");
    PACL list = nullptr;
    ASSERT_EQ(SetEntriesInAclW(1, &access, old, &list), ERROR_SUCCESS);
    EXPECT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION, nullptr, nullptr, list, nullptr),
              ERROR_SUCCESS);
    LocalFree(list);
    LocalFree(descriptor);
}

TEST(AccessList, RunLinesAreRefusedFromAMapOthersMayChange) {
    const std::filesystem::path top = WineTest::TempFolder(L"quorvel_access");
    const std::filesystem::path folder = top / L"maps";
    std::filesystem::create_directories(folder);
    const std::filesystem::path path = folder / L"keys.conf";
    std::ofstream(path) << "key 42 run notepad\n";
    const std::string file = Utf8FromPath(path);
    EXPECT_EQ(KeyMapFile::Load(path).problems, std::vector<std::string>{});

    AllowEveryone(folder, FILE_ADD_FILE | FILE_DELETE_CHILD);
    EXPECT_EQ(KeyMapFile::Load(path).problems,
              std::vector<std::string>{file + ": refused, since it runs commands and its folder " +
                                       Utf8FromPath(folder) +
                                       " can be written or replaced by Everyone (take that "
                                       "permission away in its Properties, Security tab, or "
                                       "move the map)"});
    std::ofstream(path) << "key 42 play-pause\n";  // without run lines, nothing is judged
    EXPECT_EQ(KeyMapFile::Load(path).problems, std::vector<std::string>{});

    std::filesystem::remove_all(top);
    std::filesystem::create_directories(folder);
    std::ofstream(path) << "key 42 run notepad\n";
    AllowEveryone(path, FILE_GENERIC_WRITE);
    const std::vector<std::string> problems = KeyMapFile::Load(path).problems;
    ASSERT_EQ(problems.size(), 1u);
    EXPECT_NE(problems[0].find(file + " can be written or replaced by Everyone"), std::string::npos)
        << problems[0];
    std::filesystem::remove_all(top);
}

// Leaves path to the user alone, whatever its folder passes on.
void KeepPrivate(const std::filesystem::path& path) {
    EXPLICIT_ACCESSW access{};
    access.grfAccessPermissions = GENERIC_ALL;
    access.grfAccessMode = SET_ACCESS;
    access.Trustee.TrusteeForm = TRUSTEE_IS_NAME;
    access.Trustee.ptstrName = const_cast<wchar_t*>(L"CURRENT_USER");
    PACL list = nullptr;
    ASSERT_EQ(SetEntriesInAclW(1, &access, nullptr, &list), ERROR_SUCCESS);
    EXPECT_EQ(SetNamedSecurityInfoW(const_cast<wchar_t*>(path.c_str()), SE_FILE_OBJECT,
                                    DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
                                    nullptr, nullptr, list, nullptr),
              ERROR_SUCCESS);
    LocalFree(list);
}

// Whether the file's access list allows Everyone anything.
bool EveryoneMay(const std::filesystem::path& path) {
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    if (GetNamedSecurityInfoW(path.c_str(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION, nullptr,
                              nullptr, &list, nullptr, &descriptor) != ERROR_SUCCESS) {
        return true;
    }
    SID_IDENTIFIER_AUTHORITY world = SECURITY_WORLD_SID_AUTHORITY;
    PSID everyone = nullptr;
    AllocateAndInitializeSid(&world, 1, SECURITY_WORLD_RID, 0, 0, 0, 0, 0, 0, 0, &everyone);
    bool may = list == nullptr;
    for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
        void* entry = nullptr;
        if (GetAce(list, i, &entry) &&
            static_cast<ACE_HEADER*>(entry)->AceType == ACCESS_ALLOWED_ACE_TYPE &&
            EqualSid(&static_cast<ACCESS_ALLOWED_ACE*>(entry)->SidStart, everyone)) {
            may = true;
        }
    }
    FreeSid(everyone);
    LocalFree(descriptor);
    return may;
}

// Its first line is the password, unless others may read the file, or change it.
TEST(AccessList, APasswordFileOthersMayReadOrChangeIsRefused) {
    const std::filesystem::path folder = WineTest::TempFolder(L"quorvel_password");
    const std::filesystem::path path = folder / L"password";
    std::ofstream(path, std::ios::binary) << "s3cret\r\nnot this\r\n";
    std::string password;
    const std::string file = Utf8FromPath(path);
    AllowEveryone(path, FILE_GENERIC_READ);
    EXPECT_EQ(ReadPasswordFile(path, password),
              "refused the password file " + file + ", since " + file +
                  " can be read by Everyone (take that permission away in its Properties, "
                  "Security tab)");
    AllowEveryone(path, FILE_GENERIC_WRITE);
    const std::string why = ReadPasswordFile(path, password);
    EXPECT_EQ(why.rfind("refused the password file " + file + ", since " + file +
                            " can be written or replaced by Everyone",
                        0),
              0u)
        << why;
    EXPECT_TRUE(
        why.ends_with(", or keep the password in a file of your own, in a folder of "
                      "your own)"))
        << why;
    EXPECT_EQ(password, "");

    KeepPrivate(path);
    if (EveryoneMay(path)) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "skipped a private password file's reading: this Wine keeps no access "
                        "list set on a file, and gives Everyone what the file's mode gives "
                        "others";
    }
    EXPECT_EQ(ReadPasswordFile(path, password), "");
    EXPECT_EQ(password, "s3cret");
    std::filesystem::remove_all(folder);
}

}  // namespace
