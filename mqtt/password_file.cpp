#include "mqtt/password_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

#include "log/untrusted_text.h"
#include "platform/file_trust.h"

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
    char buffer[PasswordFileLongest + 1];
    while (why.empty() && text.size() <= PasswordFileLongest) {
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
    return PasswordFromText(std::move(text), name, password);
}
