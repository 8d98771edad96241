#include "tests/lircd/lircd_rig.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"
#include "tests/doubles/unix_socket.h"

namespace {

constexpr const char* RemoteConf = R"(begin remote
  name  remote
  bits  16
  eps   30
  aeps  100
  one   0 0
  zero  0 0
  gap   100000
  begin codes
    KEY_PLAYPAUSE 0x0001
    KEY_VOLUMEUP  0x0002
    KEY_RED       0x0003
  end codes
end remote
)";

bool Accepts(const std::string& path) {
    bool connected = false;
    ::close(ConnectTo(path, connected));
    return connected;
}

bool OnPath(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

}  // namespace

LircdRig::LircdRig() {
    std::ofstream(folder_ / "remote.conf") << RemoteConf;
}

LircdRig::~LircdRig() {
    Stop();
}

bool LircdRig::Available() {
    return OnPath("lircd") && OnPath("irsend");
}

bool LircdRig::Start() {
    const std::string f = folder_.Path();
    std::error_code none;
    logStart_ = static_cast<std::size_t>(std::filesystem::file_size(f + "/lircd.log", none));
    if (none) {
        logStart_ = 0;
    }
    if (!lircd_.Start({{"lircd", "-n", "-H", "file", "-d", "/dev/null", "-a", "-o", Socket(), "-P",
                        f + "/lircd.pid", "-L", f + "/lircd.log", f + "/remote.conf"},
                       {},
                       false,
                       f + "/lircd.err"})) {
        error_ = lircd_.Error();
        return false;
    }
    if (!Eventually([this] { return Accepts(Socket()); })) {
        error_ = "lircd did not take connections at " + Socket();
        return false;
    }
    return true;
}

int LircdRig::Clients() const {
    std::string log = FileText(folder_ / "lircd.log");
    log.erase(0, std::min(logStart_, log.size()));
    return Occurrences(log, "accepted new client") - Occurrences(log, "removed client");
}

void LircdRig::Stop() {
    if (lircd_.Running()) {
        lircd_.Stop(SIGTERM, std::chrono::seconds(10));
    }
}

bool LircdRig::Send(const std::string& button, int repeat, const std::string& remote) {
    char line[128];
    std::snprintf(line, sizeof line, "0000000000000001 %02x %s %s", repeat, button.c_str(),
                  remote.c_str());
    ChildProcess irsend;
    if (!irsend.Start({{"irsend", "-d", Socket(), "SIMULATE", line}, {}, false, "/dev/null"})) {
        return false;
    }
    const int status = irsend.Wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
