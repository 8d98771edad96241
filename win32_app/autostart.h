#pragma once

#include <filesystem>
#include <string>

// "Start with Windows": the value Quorvel in the user's Run key
// (HKCU\Software\Microsoft\Windows\CurrentVersion\Run), which starts the program at
// log-on. Per user; no administrator needed. There is one such value for every copy of
// the program (the installed one, a zip's): each copy counts it as its own only when it
// starts that copy.
class Autostart {
  public:
    static constexpr const wchar_t* RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const wchar_t* ValueName = L"Quorvel";

    // Whether the Run key holds our value, and it starts this copy.
    static bool IsOn();
    // On: writes the value (this program's path, quoted, with --minimized), in place of
    // one that starts another copy. Off: removes it when it starts this copy, and leaves
    // another copy's. False, with error set to the system's text, when the registry refused.
    static bool Set(bool on, std::string& error);

    // Whether the command line value starts program: its program (quoted, or up to the
    // first ".exe" that ends a word) is program's path, letter case, "." and "..", slashes
    // and a "\\?\" prefix aside.
    static bool Starts(const std::wstring& value, const std::filesystem::path& program);
};
