#pragma once

#include <string>

// "Start with Windows": the value Quorvel in the user's Run key
// (HKCU\Software\Microsoft\Windows\CurrentVersion\Run), which starts the program at
// log-on. Per user; no administrator needed.
class Autostart {
  public:
    static constexpr const wchar_t* RunKey = L"Software\\Microsoft\\Windows\\CurrentVersion\\Run";
    static constexpr const wchar_t* ValueName = L"Quorvel";

    // Whether the Run key holds our value.
    static bool IsOn();
    // Writes the value (this program's path, quoted, with --minimized) or removes it. False, with error set
    // to the system's text, when the registry refused.
    static bool Set(bool on, std::string& error);
};
