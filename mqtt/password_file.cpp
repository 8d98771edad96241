#include "mqtt/password_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "log/untrusted_text.h"
#include "platform/file_trust.h"

namespace {

// A password is short; a file much longer is no password file.
constexpr std::size_t Longest = 1024;

}  // namespace

std::string ReadPasswordFile(const std::filesystem::path& file, std::string& password) {
    const std::string name = UntrustedText(file.string());
    const int fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0) {
        return "cannot read the password file " + name + ": " + std::strerror(errno);
    }
    struct stat info {};
    std::string why;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        why = "the password file " + name + " is not a file";
    } else {
        const std::vector<TrustedPathPart> chain = TrustChain(fd, file, why);
        if (why.empty()) {
            why = WhyUntrusted(chain, ::geteuid(), KeepThePasswordElsewhere);
        }
        if (why.empty() && !chain.empty()) {
            why = WhyNotSecret(chain.front());
        }
        if (!why.empty()) {
            why = "refused the password file " + name + ", since " + why;
        }
    }
    std::string text;
    char buffer[Longest + 1];
    while (why.empty() && text.size() <= Longest) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            continue;
        }
        if (got < 0) {
            why = "cannot read the password file " + name + ": " + std::strerror(errno);
        }
        if (got <= 0) {
            break;
        }
        text.append(buffer, static_cast<std::size_t>(got));
    }
    ::close(fd);
    if (!why.empty()) {
        return why;
    }
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r')) {
        text.pop_back();
    }
    if (text.size() > Longest) {
        return "the password file " + name + " holds no password: its first line is too long";
    }
    if (text.empty()) {
        return "the password file " + name + " is empty";
    }
    if (text.find('\0') != std::string::npos) {
        return "the password file " + name + " holds no password: its first line has a NUL byte";
    }
    password = std::move(text);
    return {};
}
