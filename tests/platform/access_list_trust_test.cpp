#include "platform/access_list_trust.h"

#include <gtest/gtest.h>

namespace {

constexpr unsigned long Read = 0x1200a9;  // read and execute
constexpr unsigned long Modify = 0x1301bf;
constexpr unsigned long AddFile = 0x2;
constexpr unsigned long AddFolder = 0x4;
constexpr unsigned long DeleteChild = 0x40;
constexpr unsigned long GenericWrite = 0x40000000;
constexpr unsigned long ReadData = 0x1;
constexpr unsigned long ReadAttributes = 0x80;
constexpr unsigned long ReadControl = 0x20000;
constexpr unsigned long GenericRead = 0x80000000;
constexpr unsigned long GenericAll = 0x10000000;

AccessEntry Allow(Trustee who, unsigned long mask, bool inheritOnly = false) {
    return {who, who == Trustee::Other ? "BUILTIN\\Users" : "trusted", true, inheritOnly, mask};
}

// The profile's usual list: the user, SYSTEM and the Administrators, each in full.
std::vector<AccessEntry> Private(std::vector<AccessEntry> more = {}) {
    std::vector<AccessEntry> entries = {Allow(Trustee::User, 0x1f01ff),
                                        Allow(Trustee::System, 0x1f01ff),
                                        Allow(Trustee::Administrators, 0x1f01ff)};
    entries.insert(entries.end(), more.begin(), more.end());
    return entries;
}

AccessListPart File(std::vector<AccessEntry> entries, Trustee owner = Trustee::User) {
    return {"C:\\p\\q\\keys.conf", false, owner, "PC\\eve", true, std::move(entries)};
}

AccessListPart Folder(std::vector<AccessEntry> entries, Trustee owner = Trustee::User) {
    return {"C:\\p\\q", true, owner, "PC\\eve", true, std::move(entries)};
}

TEST(AccessListTrust, RefusesWhatOthersCouldWriteOrReplace) {
    const struct Case {
        std::vector<AccessListPart> chain;
        std::string why;  // a part of the reason; empty when trusted
    } cases[] = {
        {{File(Private()), Folder(Private())}, ""},
        {{File(Private({Allow(Trustee::Other, Read)})), Folder(Private())}, ""},
        {{File(Private(), Trustee::Administrators), Folder(Private(), Trustee::System)}, ""},
        // Rights for what is made inside, or to make a folder beside ours, replace nothing.
        {{File(Private()),
          Folder(Private({Allow(Trustee::Other, Modify, true), Allow(Trustee::Other, AddFolder),
                          Allow(Trustee::CreatorOwner, Modify)}))},
         ""},
        {{File(Private({Allow(Trustee::Other, Modify)})), Folder(Private())},
         "C:\\p\\q\\keys.conf can be written or replaced by BUILTIN\\Users (take that"},
        {{File(Private({Allow(Trustee::Other, GenericWrite)})), Folder(Private())}, "by BUILTIN"},
        {{File(Private()), Folder(Private({Allow(Trustee::Other, AddFile)}))},
         "its folder C:\\p\\q can be written or replaced"},
        {{File(Private()), Folder(Private({Allow(Trustee::Other, DeleteChild)}))}, "its folder"},
        {{File(Private(), Trustee::Other), Folder(Private())},
         "C:\\p\\q\\keys.conf is owned by PC\\eve (take ownership"},
        {{File(Private()), {"C:\\p", true, Trustee::User, "", false, {}}},
         "its folder C:\\p has no access list"},
    };
    for (const Case& c : cases) {
        const std::string why = WhyUntrustedAccess(c.chain);
        if (c.why.empty()) {
            EXPECT_EQ(why, "") << &c - cases;
        } else {
            EXPECT_NE(why.find(c.why), std::string::npos) << &c - cases << ": " << why;
        }
    }
}

// A password file is refused when anyone else may read its data: looking at its attributes
// or its access list reads nothing of it.
TEST(AccessListTrust, RefusesASecretOthersMayRead) {
    const struct Case {
        AccessListPart file;
        std::string why;  // empty when secret
    } cases[] = {
        {File(Private()), ""},
        {File(Private({Allow(Trustee::Other, ReadAttributes | ReadControl),
                       Allow(Trustee::Other, Read, true), Allow(Trustee::OwnerRights, Read)})),
         ""},
        {File(Private({Allow(Trustee::Other, Read)})),
         "C:\\p\\q\\keys.conf can be read by BUILTIN\\Users (take that permission away in its "
         "Properties, Security tab)"},
        {File(Private({Allow(Trustee::Other, ReadData)})), "can be read by"},
        {File(Private({Allow(Trustee::Other, GenericRead)})), "can be read by"},
        {File(Private({Allow(Trustee::Other, GenericAll)})), "can be read by"},
        {{"C:\\p\\pw", false, Trustee::User, "", false, {}}, "C:\\p\\pw has no access list"},
    };
    for (const Case& c : cases) {
        const std::string why = WhyNotSecretAccess(c.file);
        if (c.why.empty()) {
            EXPECT_EQ(why, "") << &c - cases;
        } else {
            EXPECT_NE(why.find(c.why), std::string::npos) << &c - cases << ": " << why;
        }
    }
}

// What else to do fits the file: a password goes in a file of one's own, a map may move.
TEST(AccessListTrust, SaysWhatElseFitsTheFile) {
    const std::vector<AccessListPart> chain{File(Private(), Trustee::Other), Folder(Private())};
    EXPECT_TRUE(WhyUntrustedAccess(chain).ends_with("Security tab, or move the map)"));
    EXPECT_TRUE(WhyUntrustedAccess(chain, KeepThePasswordElsewhere)
                    .ends_with("Security tab, or keep the password in a file of your own, in a "
                               "folder of your own)"));
}

}  // namespace
