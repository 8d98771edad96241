#include "tests/mqtt/mosquitto_rig.h"

#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <iterator>
#include <thread>

#include "tests/doubles/eventually.h"

namespace {

bool OnPath(const char* program) {
    const std::string command = std::string("command -v ") + program + " >/dev/null 2>&1";
    return std::system(command.c_str()) == 0;
}

// A port nothing listens on now, chosen by the kernel.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof address;
    int port = 0;
    if (::bind(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
        ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size) == 0) {
        port = ntohs(address.sin_port);
    }
    ::close(fd);
    return port;
}

bool Accepts(int port) {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    address.sin_port = htons(static_cast<std::uint16_t>(port));
    const bool connected =
        ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    ::close(fd);
    return connected;
}

bool Succeeds(const std::vector<std::string>& argv) {
    ChildProcess child;
    if (!child.Start({argv, {}, false, "/dev/null"})) {
        return false;
    }
    const int status = child.Wait();
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

MosquittoRig::MosquittoRig(const std::string& user, const std::string& password)
    : user_(user), password_(password), port_(FreePort()) {
    const passwd* me = ::getpwuid(::geteuid());
    std::ofstream config(folder_ / "mosquitto.conf");
    // As root it would run as the user mosquitto, who cannot read this folder.
    config << "user " << (me != nullptr ? me->pw_name : "root") << "\n"
           << "listener " << port_ << " 127.0.0.1\n"
           << "persistence false\n"
           << "log_dest file " << folder_.FilePath("broker.log") << "\n"
           << "log_type all\n";
    if (user_.empty()) {
        config << "allow_anonymous true\n";
    } else {
        config << "allow_anonymous false\npassword_file " << folder_.FilePath("passwords") << "\n";
    }
}

MosquittoRig::~MosquittoRig() {
    Stop();
}

bool MosquittoRig::Available() {
    return OnPath("mosquitto") && OnPath("mosquitto_pub") && OnPath("mosquitto_passwd");
}

std::string MosquittoRig::Url(const std::string& user) const {
    return "mqtt://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(port_);
}

bool MosquittoRig::Start() {
    if (!user_.empty() && !std::filesystem::exists(folder_ / "passwords") &&
        !Succeeds(
            {"mosquitto_passwd", "-b", "-c", folder_.FilePath("passwords"), user_, password_})) {
        error_ = "mosquitto_passwd failed";
        return false;
    }
    std::error_code none;
    logStart_ = static_cast<std::size_t>(std::filesystem::file_size(folder_ / "broker.log", none));
    if (none) {
        logStart_ = 0;
    }
    if (!broker_.Start({{"mosquitto", "-c", folder_.FilePath("mosquitto.conf")},
                        {},
                        false,
                        folder_.FilePath("broker.err")})) {
        error_ = broker_.Error();
        return false;
    }
    if (!Eventually([this] { return Accepts(port_); })) {
        error_ = "mosquitto did not take connections on port " + std::to_string(port_);
        return false;
    }
    return true;
}

void MosquittoRig::Stop() {
    if (broker_.Running()) {
        broker_.Stop(SIGTERM);
    }
}

bool MosquittoRig::Publish(const std::string& topic, const std::string& payload, bool retain) {
    std::vector<std::string> argv{
        "mosquitto_pub", "-h", "127.0.0.1", "-p", std::to_string(port_), "-t",
        topic,           "-m", payload};
    if (retain) {
        argv.push_back("-r");
    }
    if (!user_.empty()) {
        argv.insert(argv.end(), {"-u", user_, "-P", password_});
    }
    return Succeeds(argv);
}

std::string MosquittoRig::Retained(const std::string& topic) {
    std::vector<std::string> argv{"mosquitto_sub",
                                  "-h",
                                  "127.0.0.1",
                                  "-p",
                                  std::to_string(port_),
                                  "-t",
                                  topic,
                                  "-C",
                                  "1",
                                  "-W",
                                  "5",
                                  "--retained-only"};
    if (!user_.empty()) {
        argv.insert(argv.end(), {"-u", user_, "-P", password_});
    }
    ChildProcess child;
    ChildProcess::Options options{argv, {}, true, "/dev/null"};
    if (!child.Start(options)) {
        return {};
    }
    child.Wait();
    const std::vector<ChildLine> lines = child.Lines();
    return lines.empty() ? std::string() : lines.front().text;
}

std::size_t MosquittoRig::Logged(const std::string& text) const {
    std::ifstream file(folder_ / "broker.log");
    std::string log((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
    log.erase(0, std::min(logStart_, log.size()));
    std::size_t count = 0;
    for (std::size_t at = log.find(text); at != std::string::npos; at = log.find(text, at + 1)) {
        ++count;
    }
    return count;
}

bool MosquittoRig::WaitSubscribed(std::size_t count) const {
    return Eventually([this, count] { return Logged("Sending SUBACK to quorvel-") >= count; });
}
