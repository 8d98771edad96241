#include "mqtt/password_file.h"

#include <utility>

std::string PasswordFromText(std::string text, const std::string& name, std::string& password) {
    text = text.substr(0, text.find('\n'));
    if (text.ends_with('\r')) {
        text.pop_back();
    }
    if (text.size() > PasswordFileLongest) {
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
