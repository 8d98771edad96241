#include "tests/lircd/lircd_rig.h"

#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/doubles/eventually.h"

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
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    const int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
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
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(30);
    while (!Accepts(Socket())) {
        if (std::chrono::steady_clock::now() > deadline) {
            error_ = "lircd did not take connections at " + Socket();
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return true;
}

int LircdRig::Clients() const {
    std::ifstream file(folder_ / "lircd.log");
    std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    log.erase(0, std::min(logStart_, log.size()));
    const auto count = [&](const std::string& what) {
        int n = 0;
        for (std::size_t at = log.find(what); at != std::string::npos;
             at = log.find(what, at + 1)) {
            ++n;
        }
        return n;
    };
    return count("accepted new client") - count("removed client");
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
