#include "platform/access_list_trust.h"

#include "platform/utf8_path.h"

namespace {

// The rights as winnt.h numbers them, spelt out so that the decision builds everywhere.
constexpr unsigned long ReadData = 0x0001;     // FILE_READ_DATA
constexpr unsigned long WriteData = 0x0002;    // FILE_WRITE_DATA; a folder's FILE_ADD_FILE
constexpr unsigned long AppendData = 0x0004;   // FILE_APPEND_DATA
constexpr unsigned long DeleteChild = 0x0040;  // FILE_DELETE_CHILD
constexpr unsigned long Delete = 0x00010000;
constexpr unsigned long WriteDac = 0x00040000;
constexpr unsigned long WriteOwner = 0x00080000;
constexpr unsigned long GenericAll = 0x10000000;
constexpr unsigned long GenericWrite = 0x40000000;
constexpr unsigned long GenericRead = 0x80000000;

// A folder's FILE_ADD_SUBDIRECTORY is left out: a new folder beside ours replaces nothing,
// and every drive's root lets users make them.
constexpr unsigned long Replacing = Delete | WriteDac | WriteOwner | GenericAll | GenericWrite;
constexpr unsigned long FileWriting = Replacing | WriteData | AppendData;
constexpr unsigned long FolderWriting = Replacing | WriteData | DeleteChild;
constexpr unsigned long Reading = ReadData | GenericRead | GenericAll;

bool Trusted(Trustee trustee) {
    return trustee != Trustee::Other;
}

bool TrustedOwner(Trustee owner) {
    return owner == Trustee::User || owner == Trustee::Administrators || owner == Trustee::System;
}

}  // namespace

std::string WhyUntrustedAccess(const std::vector<AccessListPart>& chain, std::string_view instead) {
    const std::string elsewhere = ", or " + std::string(instead) + ")";
    for (std::size_t i = 0; i < chain.size(); ++i) {
        const AccessListPart& part = chain[i];
        const std::string name = Utf8FromPath(part.path);
        const std::string what = (i == 0 ? "" : "its folder ") + name;
        if (!TrustedOwner(part.owner)) {
            return what + " is owned by " + part.ownerName +
                   " (take ownership of it in its Properties, Security tab" + elsewhere;
        }
        if (!part.hasList) {
            return what +
                   " has no access list, so anyone may change it (give it one in its "
                   "Properties, Security tab" +
                   elsewhere;
        }
        const unsigned long writing = part.folder ? FolderWriting : FileWriting;
        for (const AccessEntry& entry : part.entries) {
            if (entry.allows && !entry.inheritOnly && !Trusted(entry.trustee) &&
                (entry.mask & writing) != 0) {
                return what + " can be written or replaced by " + entry.name +
                       " (take that permission away in its Properties, Security tab" + elsewhere;
            }
        }
    }
    return {};
}

std::string WhyNotSecretAccess(const AccessListPart& file) {
    const std::string name = Utf8FromPath(file.path);
    if (!file.hasList) {
        return name +
               " has no access list, so anyone may read it (give it one in its "
               "Properties, Security tab)";
    }
    for (const AccessEntry& entry : file.entries) {
        if (entry.allows && !entry.inheritOnly && !Trusted(entry.trustee) &&
            (entry.mask & Reading) != 0) {
            return name + " can be read by " + entry.name +
                   " (take that permission away in its Properties, Security tab)";
        }
    }
    return {};
}
