#include "platform/file_trust.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include "tests/doubles/scratch_folder.h"

namespace {

constexpr unsigned File = S_IFREG;
constexpr unsigned Folder = S_IFDIR;
constexpr unsigned User = 1000;
constexpr unsigned Other = 1001;

// A secret others may read is refused, saying the mode to give it.
TEST(FileTrust, RefusesASecretOthersCanRead) {
    EXPECT_EQ(WhyNotSecret({"/h/pw", User, File | 0600}), "");
    EXPECT_EQ(WhyNotSecret({"/h/pw", User, File | 0400}), "");
    EXPECT_EQ(WhyNotSecret({"/h/pw", User, File | 0644}),
              "/h/pw can be read by others (its mode is 0644, give it 0600: chmod go= /h/pw)");
    EXPECT_NE(WhyNotSecret({"/h/pw", User, File | 0640}), "");
    // What else to do fits a password, not a map.
    EXPECT_EQ(WhyUntrusted({{"/h/pw", Other, File | 0600}}, User, KeepThePasswordElsewhere),
              "/h/pw is owned by another user (chown it to yourself, or keep the password in a "
              "file of your own, in a folder of your own)");
}

// The file first, then its folders up to the home: who owns each and who may write it.
TEST(FileTrust, RefusesWhatAnotherUserCouldWriteOrReplace) {
    struct Case {
        std::vector<TrustedPathPart> chain;
        std::string why;  // a part of the reason; empty when trusted
    } const cases[] = {
        {{{"/h/k", User, File | 0600}, {"/h", User, Folder | 0755}}, ""},
        {{{"/h/k", 0, File | 0644}, {"/h", User, Folder | 0700}}, ""},
        {{{"/h/k", User, File | 0620}, {"/h", User, Folder | 0755}}, "/h/k can be written"},
        {{{"/h/k", User, File | 0602}, {"/h", User, Folder | 0755}}, "chmod go-w /h/k"},
        {{{"/h/k", Other, File | 0600}, {"/h", User, Folder | 0755}}, "/h/k is owned by another"},
        {{{"/h/c/k", User, File | 0600},
          {"/h/c", User, Folder | 0777},
          {"/h", User, Folder | 0755}},
         "its folder /h/c can be written by others (chmod go-w /h/c)"},
        {{{"/h/c/k", User, File | 0600},
          {"/h/c", User, Folder | 0770},
          {"/h", User, Folder | 0755}},
         "chmod go-w /h/c"},
        {{{"/h/c/k", User, File | 0600},
          {"/h/c", User, Folder | 0755},
          {"/h", User, Folder | 0775}},
         "chmod go-w /h)"},
        {{{"/h/c/k", User, File | 0600},
          {"/h/c", Other, Folder | 0755},
          {"/h", User, Folder | 0755}},
         "its folder /h/c is owned by another"},
        // A root-owned sticky folder (/tmp) lets nobody replace the user's file.
        {{{"/tmp/k", User, File | 0600}, {"/tmp", 0, Folder | 01777}, {"/", 0, Folder | 0755}}, ""},
        // The user's own sticky folder does not count: it is still writable by all.
        {{{"/s/k", User, File | 0600}, {"/s", User, Folder | 01777}, {"/", 0, Folder | 0755}},
         "chmod go-w /s"},
        {{{"/s/k", User, File | 0600}, {"/s", 0, Folder | 0777}, {"/", 0, Folder | 0755}},
         "chmod go-w /s"},
    };
    for (const Case& c : cases) {
        const std::string why = WhyUntrusted(c.chain, User);
        if (c.why.empty()) {
            EXPECT_EQ(why, "") << c.chain[0].path;
        } else {
            EXPECT_NE(why.find(c.why), std::string::npos) << c.chain[0].path << ": " << why;
        }
    }
}

// The chain starts with what the descriptor says, not with what is at the path now.
TEST(FileTrust, TheChainIsTheOpenFileAndItsFoldersUpToTheRoot) {
    ScratchFolder dir;
    const std::string folder = dir.Path() + "/quorvel";
    std::filesystem::create_directory(folder);
    const std::string path = folder + "/keys.conf";
    std::ofstream(path) << "key 1 run true\n";
    ::chmod(path.c_str(), 0600);
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    // Swapped for another file once open: the open one is still the one judged.
    const std::string swapped = folder + "/other";
    std::ofstream(swapped) << "key 1 run false\n";
    ::chmod(swapped.c_str(), 0666);
    std::filesystem::rename(swapped, path);
    std::string why;
    const std::vector<TrustedPathPart> chain = TrustChain(fd, path, why);
    ::close(fd);
    ASSERT_EQ(why, "");
    ASSERT_GE(chain.size(), 3u);
    EXPECT_EQ(chain[0].mode & 0777, 0600u);
    EXPECT_EQ(chain[1].path, std::filesystem::canonical(folder).string());
    EXPECT_EQ(chain.back().path, "/");  // no home on the way from a temporary folder
}

}  // namespace
