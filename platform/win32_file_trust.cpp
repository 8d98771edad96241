#include <windows.h>

#include <aclapi.h>
#include <sddl.h>

#include <memory>

#include "platform/access_list_trust.h"
#include "platform/known_folder.h"
#include "platform/utf8_path.h"
#include "text/wide_text.h"
#include "text/win32_error_text.h"

namespace fs = std::filesystem;

namespace {

// The user's own SID, from the process's token; empty when it cannot be had.
std::vector<BYTE> UserSid() {
    HANDLE token = nullptr;
    if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) {
        return {};
    }
    DWORD size = 0;
    GetTokenInformation(token, TokenUser, nullptr, 0, &size);
    std::vector<BYTE> user(size);
    const bool got = size > 0 && GetTokenInformation(token, TokenUser, user.data(), size, &size);
    CloseHandle(token);
    if (!got) {
        return {};
    }
    const PSID sid = reinterpret_cast<TOKEN_USER*>(user.data())->User.Sid;
    const BYTE* bytes = static_cast<const BYTE*>(sid);
    return std::vector<BYTE>(bytes, bytes + GetLengthSid(sid));
}

Trustee Classify(PSID sid, const std::vector<BYTE>& user) {
    if (!user.empty() && EqualSid(sid, const_cast<BYTE*>(user.data()))) {
        return Trustee::User;
    }
    for (const auto& [known, trustee] :
         {std::pair{WinBuiltinAdministratorsSid, Trustee::Administrators},
          std::pair{WinLocalSystemSid, Trustee::System},
          std::pair{WinCreatorOwnerRightsSid, Trustee::OwnerRights},
          std::pair{WinCreatorOwnerSid, Trustee::CreatorOwner}}) {
        if (IsWellKnownSid(sid, known)) {
            return trustee;
        }
    }
    return Trustee::Other;
}

// "DOMAIN\name", "Everyone", or the SID as text when it names no account.
std::string SidName(PSID sid) {
    wchar_t name[256];
    wchar_t domain[256];
    DWORD nameSize = 256;
    DWORD domainSize = 256;
    SID_NAME_USE use;
    if (LookupAccountSidW(nullptr, sid, name, &nameSize, domain, &domainSize, &use)) {
        return Narrow(domainSize > 0 && *domain != L'\0' ? std::wstring(domain) + L"\\" + name
                                                         : std::wstring(name));
    }
    LPWSTR text = nullptr;
    std::string said = "an unknown account";
    if (ConvertSidToStringSidW(sid, &text)) {
        said = Narrow(text);
        LocalFree(text);
    }
    return said;
}

bool Part(const fs::path& path, bool folder, const std::vector<BYTE>& user, AccessListPart& part,
          std::string& why) {
    PSID owner = nullptr;
    PACL list = nullptr;
    PSECURITY_DESCRIPTOR descriptor = nullptr;
    const DWORD status = GetNamedSecurityInfoW(
        path.c_str(), SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION | DACL_SECURITY_INFORMATION,
        &owner, nullptr, &list, nullptr, &descriptor);
    if (status != ERROR_SUCCESS) {
        why = "cannot look at who may change " + Utf8FromPath(path) + ": " + Win32ErrorText(status);
        return false;
    }
    const std::unique_ptr<void, decltype(&LocalFree)> held(descriptor, LocalFree);
    part = {path, folder, Trustee::Other, "an unknown account", list != nullptr, {}};
    if (owner != nullptr) {
        part.owner = Classify(owner, user);
        part.ownerName = SidName(owner);
    }
    for (DWORD i = 0; list != nullptr && i < list->AceCount; ++i) {
        void* ace = nullptr;
        if (!GetAce(list, i, &ace)) {
            continue;
        }
        const ACE_HEADER* header = static_cast<ACE_HEADER*>(ace);
        AccessEntry entry;
        entry.allows = header->AceType == ACCESS_ALLOWED_ACE_TYPE;
        entry.inheritOnly = (header->AceFlags & INHERIT_ONLY_ACE) != 0;
        if (entry.allows) {
            auto* allowed = static_cast<ACCESS_ALLOWED_ACE*>(ace);
            const PSID sid = &allowed->SidStart;
            entry.mask = allowed->Mask;
            entry.trustee = Classify(sid, user);
            entry.name = SidName(sid);
        }
        part.entries.push_back(entry);
    }
    return true;
}

bool SameFolder(const fs::path& a, const fs::path& b) {
    return CompareStringOrdinal(a.c_str(), -1, b.c_str(), -1, TRUE) == CSTR_EQUAL;
}

}  // namespace

std::vector<AccessListPart> AccessChain(const fs::path& path, std::string& why) {
    const std::vector<BYTE> user = UserSid();
    std::error_code failure;
    const fs::path full = fs::weakly_canonical(path, failure);
    if (failure) {
        why = "cannot find where " + Utf8FromPath(path) + " is: " + failure.message();
        return {};
    }
    const fs::path profile = KnownFolder(UserFolder::Profile).lexically_normal();
    std::vector<AccessListPart> chain(1);
    if (!Part(full, false, user, chain[0], why)) {
        return {};
    }
    for (fs::path folder = full.parent_path();; folder = folder.parent_path()) {
        chain.emplace_back();
        if (!Part(folder, true, user, chain.back(), why)) {
            return {};
        }
        if (SameFolder(folder, profile) || folder == folder.root_path() ||
            folder == folder.parent_path()) {
            break;
        }
    }
    return chain;
}
