// The password file on Windows: trusted by the access lists of the file and its folders,
// as a key map's run lines are, and read by no one else (access_list_trust.h).
#include <cerrno>
#include <cstring>
#include <fstream>
#include <utility>

#include "log/untrusted_text.h"
#include "mqtt/password_file.h"
#include "platform/access_list_trust.h"
#include "platform/utf8_path.h"

std::string ReadPasswordFile(const std::filesystem::path& file, std::string& password) {
    const std::string name = UntrustedText(Utf8FromPath(file));
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        return "cannot read the password file " + name + ": " + std::strerror(errno);
    }
    std::error_code error;
    if (!std::filesystem::is_regular_file(file, error)) {
        return "the password file " + name + " is not a file";
    }
    std::string why;
    const std::vector<AccessListPart> chain = AccessChain(file, why);
    if (why.empty()) {
        why = WhyUntrustedAccess(chain, KeepThePasswordElsewhere);
    }
    if (why.empty() && !chain.empty()) {
        why = WhyNotSecretAccess(chain.front());
    }
    if (!why.empty()) {
        return "refused the password file " + name + ", since " + why;
    }
    std::string text(PasswordFileLongest + 1, '\0');
    in.read(text.data(), static_cast<std::streamsize>(text.size()));
    if (in.bad()) {
        return "cannot read the password file " + name + ": " + std::strerror(errno);
    }
    text.resize(static_cast<std::size_t>(in.gcount()));
    return PasswordFromText(std::move(text), name, password);
}
