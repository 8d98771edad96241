#pragma once

#include <cstddef>
#include <filesystem>
#include <string>

// The broker's password, from the file mqtt-password-file names: its first line, as it
// stands but for the line break. The file is trusted as a key map's run lines are: no other
// user may have written it or replaced it (WhyUntrusted on it and its folders), and, as it
// holds a secret, no other user may read it (WhyNotSecret; on Windows their access lists,
// WhyUntrustedAccess and WhyNotSecretAccess). A NUL in the line is refused, as libmosquitto
// would cut the password there. Empty, with password set, when it could be read; else why
// not, for the user.
std::string ReadPasswordFile(const std::filesystem::path& file, std::string& password);

// A password is short; a file much longer is no password file.
inline constexpr std::size_t PasswordFileLongest = 1024;

// The password in what was read of the file named name (at most PasswordFileLongest + 1
// bytes), as ReadPasswordFile takes it: empty with password set, else why not.
std::string PasswordFromText(std::string text, const std::string& name, std::string& password);
