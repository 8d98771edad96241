#include "tests/mqtt/mosquitto_rig.h"

#include <netinet/in.h>
#include <pwd.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "tests/doubles/eventually.h"
#include "tests/doubles/files.h"

namespace {

// A loopback port nothing listens on, chosen by the kernel.
int FreePort() {
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{AF_INET, 0, {htonl(INADDR_LOOPBACK)}, {}};
    socklen_t size = sizeof address;
    ::bind(fd, reinterpret_cast<sockaddr*>(&address), size);
    ::getsockname(fd, reinterpret_cast<sockaddr*>(&address), &size);
    ::close(fd);
    return ntohs(address.sin_port);
}

}  // namespace

MosquittoRig::MosquittoRig(const std::string& user, const std::string& password)
    : user_(user), password_(password), port_(FreePort()) {
    // As root it would run as the user mosquitto, who cannot read this folder.
    const passwd* me = ::getpwuid(::geteuid());
    std::ofstream(folder_ / "mosquitto.conf")
        << "user " << (me != nullptr ? me->pw_name : "root") << "\nlistener " << port_
        << " 127.0.0.1\npersistence false\nlog_type all\nlog_dest file "
        << folder_.FilePath("broker.log") << "\n"
        << (user_.empty()
                ? "allow_anonymous true\n"
                : "allow_anonymous false\npassword_file " + folder_.FilePath("passwords"));
}

bool MosquittoRig::Available() {
    return std::system(
               "command -v mosquitto && command -v mosquitto_pub && command -v "
               "mosquitto_sub && command -v mosquitto_passwd >/dev/null 2>&1") == 0;
}

std::string MosquittoRig::Url(const std::string& user) const {
    return "mqtt://" + (user.empty() ? "" : user + "@") + "127.0.0.1:" + std::to_string(port_);
}

int MosquittoRig::AddTlsListener(const std::string& certificate, const std::string& key) {
    int port = FreePort();
    while (port == port_ ||
           std::find(tlsPorts_.begin(), tlsPorts_.end(), port) != tlsPorts_.end()) {
        port = FreePort();
    }
    tlsPorts_.push_back(port);
    const std::string name = "tls" + std::to_string(tlsPorts_.size());
    std::ofstream(folder_ / (name + ".pem")) << certificate;
    std::ofstream(folder_ / (name + ".key")) << key;
    std::ofstream(folder_ / "mosquitto.conf", std::ios::app)
        << "\nlistener " << port << " 127.0.0.1\ncertfile " << folder_.FilePath(name + ".pem")
        << "\nkeyfile " << folder_.FilePath(name + ".key") << "\n";
    return port;
}

bool MosquittoRig::Start() {
    if (!user_.empty() && !std::filesystem::exists(folder_ / "passwords") &&
        !Client("mosquitto_passwd",
                {"-b", "-c", folder_.FilePath("passwords"), user_, password_})) {
        error_ = "mosquitto_passwd failed";
        return false;
    }
    std::error_code none;
    logStart_ = std::filesystem::file_size(folder_ / "broker.log", none);
    logStart_ = none ? 0 : logStart_;
    if (!broker_.Start({{"mosquitto", "-c", folder_.FilePath("mosquitto.conf")},
                        {},
                        false,
                        folder_.FilePath("broker.err")})) {
        error_ = broker_.Error();
        return false;
    }
    if (!Eventually([this] { return Logged(" running") > 0; })) {
        error_ = "mosquitto did not start on port " + std::to_string(port_);
        return false;
    }
    return true;
}

void MosquittoRig::Stop() {
    if (broker_.Running()) {
        broker_.Stop(SIGTERM, std::chrono::seconds(10));
    }
}

bool MosquittoRig::Client(const char* program, std::vector<std::string> args, std::string* line) {
    std::vector<std::string> argv{program};
    if (std::string(program) != "mosquitto_passwd") {
        argv.insert(argv.end(), {"-h", "127.0.0.1", "-p", std::to_string(port_)});
        if (!user_.empty()) {
            argv.insert(argv.end(), {"-u", user_, "-P", password_});
        }
    }
    argv.insert(argv.end(), args.begin(), args.end());
    ChildProcess child;
    if (!child.Start({argv, {}, line != nullptr, "/dev/null"})) {
        return false;
    }
    const int status = child.Wait();
    if (line != nullptr && !child.Lines().empty()) {
        *line = child.Lines().front().text;
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

bool MosquittoRig::Publish(const std::string& topic, const std::string& payload, bool retain) {
    return Client("mosquitto_pub", retain
                                       ? std::vector<std::string>{"-t", topic, "-m", payload, "-r"}
                                       : std::vector<std::string>{"-t", topic, "-m", payload});
}

std::string MosquittoRig::Retained(const std::string& topic) {
    std::string line;
    Client("mosquitto_sub", {"-t", topic, "-C", "1", "-W", "5", "--retained-only"}, &line);
    return line;
}

std::size_t MosquittoRig::Logged(const std::string& text) const {
    const std::string log = FileText(folder_ / "broker.log");
    return static_cast<std::size_t>(Occurrences(log.substr(std::min(logStart_, log.size())), text));
}

bool MosquittoRig::WaitSubscribed(std::size_t count) const {
    return Eventually([this, count] { return Logged("Sending SUBACK to quorvel-") >= count; });
}

bool MosquittoRig::Watch(ChildProcess& watcher, const std::string& name,
                         const std::vector<std::string>& filters) {
    std::vector<std::string> argv{"mosquitto_sub", "-h", "127.0.0.1", "-p", std::to_string(port_)};
    argv.insert(argv.end(), {"-i", name, "-V", "mqttv5", "--retain-as-published", "-q", "1"});
    argv.insert(argv.end(), {"-F", "%r %q %t %p"});
    for (const std::string& filter : filters) {
        argv.insert(argv.end(), {"-t", filter});
    }
    return watcher.Start({argv, {}, true, "/dev/null"}) &&
           Eventually([&] { return Logged("Sending SUBACK to " + name) > 0; });
}
