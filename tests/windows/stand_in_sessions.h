#pragma once

#include <windows.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "tests/windows/wine_test.h"

// stand_in_sessions.dll (beside the test program) as Windows' media session manager, for
// as long as this lives: registered in the test's own Wine prefix, where Wine has no
// manager of its own, with script as its sessions (stand_in_sessions.cpp says how it is
// written). The processes started meanwhile inherit the script's place. Tests that
// register it hold the resource lock session_manager.
class StandInSessions {
  public:
    static constexpr const char* ClassKey =
        "Software\\Microsoft\\WindowsRuntime\\ActivatableClassId\\"
        "Windows.Media.Control.GlobalSystemMediaTransportControlsSessionManager";

    explicit StandInSessions(const std::string& script)
        : script_(WineTest::TempFolder(L"quorvel-sessions") / "script") {
        Script(script);
        std::filesystem::remove(calls_);
        SetEnvironmentVariableW(L"QUORVEL_STAND_IN_SESSIONS", script_.wstring().c_str());
        char self[MAX_PATH];
        GetModuleFileNameA(nullptr, self, MAX_PATH);
        const std::string dll =
            std::filesystem::path(self).replace_filename("stand_in_sessions.dll").string();
        RegSetKeyValueA(HKEY_LOCAL_MACHINE, ClassKey, "DllPath", REG_SZ, dll.c_str(),
                        static_cast<DWORD>(dll.size() + 1));
    }
    ~StandInSessions() {
        Unregister();
        std::filesystem::remove_all(script_.parent_path());
    }
    // No manager at all, as under Wine.
    static void Unregister() { RegDeleteTreeA(HKEY_LOCAL_MACHINE, ClassKey); }

    // The sessions from now on.
    void Script(const std::string& script) const { std::ofstream(script_) << script; }
    // The calls so far, in order: "RequestAsync" for the manager, "APP_ID METHOD [ARGUMENT]"
    // for a session's, and that followed by " canceled" for one cancelled.
    std::vector<std::string> Calls() const {
        std::vector<std::string> calls;
        std::ifstream file(calls_);
        for (std::string line; std::getline(file, line);) {
            calls.push_back(line);
        }
        return calls;
    }

  private:
    const std::filesystem::path script_;
    const std::filesystem::path calls_{script_.string() + ".calls"};
};
