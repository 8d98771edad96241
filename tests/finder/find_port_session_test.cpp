#include "finder/find_port_session.h"

#include <gtest/gtest.h>

#include <sstream>
#include <thread>

#include "tests/doubles/fed_key_source.h"
#include "tools/virtual_port.h"

namespace {

// What the user is told, and when the port found is kept: only when asked and answered.
struct KeepCase {
    bool ask;
    const char* answer;
    bool canSave;
    const char* said;              // the end of standard output; <FOUND> for the value found
    const char* kept;              // how it was kept, " beside" or " in place"; none when not
    const char* setting = "port";  // where the key arrives: the port, else a remote of this kind
    bool exists = true;            // the settings file is there
    bool sources = true;           // with key sources in it
};

// Names the case in test listings (the default printer would dump its bytes, padding and all).
void PrintTo(const KeepCase& c, std::ostream* os) {
    *os << (c.ask ? "asked" : "not asked") << (c.canSave ? ", can save" : ", cannot save")
        << ", answer " << c.answer[0] << ", " << c.setting
        << (c.exists ? (c.sources ? "" : ", no sources there") : ", no settings file");
}

class FindPortSessionKeeping : public ::testing::TestWithParam<KeepCase> {};

TEST_P(FindPortSessionKeeping, KeepsWhatItFoundOnlyWhenTheUserSaysSo) {
    const KeepCase& c = GetParam();
    auto receiver = VirtualPort::CreatePty();
    const bool port = std::string(c.setting) == "port";
    const std::string value = port ? receiver->readerPath() : "name=IR Receiver";
    std::vector<RemoteCandidate> others;
    if (!port) {
        others.push_back({"the remote", c.setting, value, [] {
                              auto remote = std::make_unique<FedKeySource>();
                              remote->Push({KeyEvent{KeyAction::Press, Key::Name("KEY_OK")}});
                              return remote;
                          }});
    }
    std::istringstream in(c.answer);
    std::ostringstream out;
    std::ostringstream err;
    std::string kept;
    PortKeeping keeping{"the settings", {}, c.exists, c.sources};
    if (c.canSave) {
        keeping.save = [&kept](const std::string& setting, const std::string& value, bool add,
                               std::string&) {
            kept = setting + "=" + value + (add ? " beside" : " in place");
            return true;
        };
    }
    const FinderTerminal terminal{out, err,
                                  [&in]() -> std::optional<std::string> {
                                      std::string line;
                                      return std::getline(in, line) ? std::optional(line)
                                                                    : std::nullopt;
                                  },
                                  c.ask};
    FoundRemote found;
    std::thread session([&] {
        found = FindPortSession({receiver->readerPath()}, others, terminal, keeping,
                                std::chrono::minutes(1));
    });
    // Else the key comes on its own, and the port may be closed before it is ready.
    EXPECT_TRUE(!port || (receiver->WaitForRawReader() && receiver->Write({0x91, 0x2A})));
    session.join();
    EXPECT_EQ(found.setting + "=" + found.value, c.setting + ("=" + value));
    EXPECT_EQ(kept, c.kept ? c.setting + ("=" + value) + c.kept : "");
    const std::string said = out.str();
    std::string end = c.said;
    if (const auto at = end.find("<FOUND>"); at != std::string::npos) {
        end.replace(at, 7, value);
    }
    EXPECT_EQ(said.substr(said.size() - std::min(said.size(), end.size())), end) << said;
    EXPECT_NE(said.find("Press any key on the remote"), std::string::npos) << said;
    EXPECT_EQ(err.str(), "");
}

INSTANTIATE_TEST_SUITE_P(
    Cases, FindPortSessionKeeping,
    ::testing::Values(
        KeepCase{true, "a\n", true, "? [a/r/N] Saved.\n", " beside"},
        KeepCase{true, "\n", true,
                 "? [a/r/N] Not saved. To use it from now on, add this line to the settings "
                 "(beside the key sources there, or in place of their port, lircd and input "
                 "lines):\n  port = <FOUND>\n",
                 nullptr},
        KeepCase{false, "a\n", true, "  port = <FOUND>\n", nullptr},
        KeepCase{true, "a\n", false, "  port = <FOUND>\n", nullptr},
        KeepCase{true, "r\n", true,
                 "as a lircd socket in the settings: beside the key sources there (a or y), in "
                 "their place (r), or not (n)? [a/r/N] Saved.\n",
                 " in place", "lircd"},
        KeepCase{false, "a\n", true, "  input = <FOUND>\n", nullptr, "input"},
        // With no settings file, or none naming a source, there is nothing to go beside.
        KeepCase{true, "y\n", true,
                 "Save it as a port in a new settings file, the settings? [y/N] Saved.\n",
                 " beside", "port", false, false},
        KeepCase{true, "no\n", true,
                 "Save it as a port in the settings? [y/N] Not saved. To use it from now on, "
                 "add this line to the settings:\n  port = <FOUND>\n",
                 nullptr, "port", true, false},
        KeepCase{false, "", true,
                 "To use it from now on, put this line in the settings (a new file):\n"
                 "  port = <FOUND>\n",
                 nullptr, "port", false, false}));

// No key within the limit: what to try next, and a countdown that ends its line.
TEST(FindPortSession, SaysWhatToTryNextAfterATimeOut) {
    auto silent = VirtualPort::CreatePty();
    std::ostringstream out;
    std::ostringstream err;
    const FinderTerminal terminal{out, err, nullptr, false, true};
    const FoundRemote found =
        FindPortSession({silent->readerPath()}, {}, terminal, PortKeeping{"the settings", {}},
                        std::chrono::milliseconds(2000));
    EXPECT_EQ(found.value, "");
    const std::string said = out.str();
    EXPECT_NE(said.find("\rPress any key on the remote... 2 s "), std::string::npos) << said;
    EXPECT_TRUE(said.ends_with(" s \n")) << said;
    EXPECT_EQ(err.str(),
              "quorvel: no key arrived on any port within 2 s\n"
              "What to try next:\n"
              "  - point the remote at the receiver, hold a key down a moment, and run it again\n"
#ifdef _WIN32
              "  - another port: quorvel --find-port COMn\n"
#else
              "  - another port: quorvel --find-port DEVICE\n"
#endif
              "  - every port and remote here: quorvel --find-remote\n");
}

}  // namespace
