#pragma once

#include <chrono>
#include <string>
#include <vector>

#include "tests/player/child_process.h"

// Generous, so a loaded machine never looks like a fault; reached only when one is.
inline constexpr std::chrono::seconds Deadline{30};

// A built program as the tests start it: its output captured, no display, and the session
// bus at busAddress (a private daemon, or a path where none listens), never the user's.
inline ChildProcess::Options Program(const char* binary, const std::vector<std::string>& args,
                                     const std::string& busAddress) {
    ChildProcess::Options options;
    options.argv = {binary};
    options.argv.insert(options.argv.end(), args.begin(), args.end());
    options.environment = {{"DISPLAY", std::nullopt},
                           {"WAYLAND_DISPLAY", std::nullopt},
                           {"QT_QPA_PLATFORM", std::nullopt},
                           {"DBUS_SESSION_BUS_ADDRESS", busAddress}};
    options.captureOutput = true;
    return options;
}

inline std::vector<std::string> Texts(const std::vector<ChildLine>& lines) {
    std::vector<std::string> texts;
    for (const ChildLine& line : lines) {
        texts.push_back(line.text);
    }
    return texts;
}
