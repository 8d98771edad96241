#pragma once

#include <windows.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

// What the Windows tests share. The COM ports wine_session maps to socat's pty pairs: what
// is written to a peer is read from its port. Each test program that reads a port has a
// pair of its own, so they can run side by side.
namespace WineTest {
inline constexpr const char* SerialPort = "COM15";
inline constexpr const char* SerialPeer = "COM16";
inline constexpr const char* WindowPort = "COM25";
inline constexpr const char* WindowPeer = "COM26";
// Mapped to nothing.
inline constexpr const char* AbsentPort = "COM30";

// Writes bytes into a peer port; false if it cannot be opened or written.
inline bool WriteToPeer(const char* peer, const std::vector<std::uint8_t>& bytes) {
    const std::string name = std::string("\\\\.\\") + peer;
    const HANDLE port =
        CreateFileA(name.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (port == INVALID_HANDLE_VALUE) {
        return false;
    }
    DWORD written = 0;
    const BOOL ok =
        WriteFile(port, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
    CloseHandle(port);
    return ok != 0;
}

// A folder named name in the temporary folder, made if it is not there.
inline std::filesystem::path TempFolder(const std::wstring& name) {
    wchar_t temp[MAX_PATH];
    GetTempPathW(MAX_PATH, temp);
    const std::filesystem::path folder = std::wstring(temp) + name;
    std::filesystem::create_directories(folder);
    return folder;
}
}  // namespace WineTest
