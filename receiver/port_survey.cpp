#include "receiver/port_survey.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "log/untrusted_text.h"

namespace fs = std::filesystem;

namespace PortSurvey {

std::vector<std::string> NamesIn(const std::string& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(folder, ec)) {
        const std::string name = entry.path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    return names;
}

std::vector<std::string> SerialPortsPresent(const std::string& devRoot) {
    const fs::path dev(devRoot);
    std::vector<std::string> ports;
    for (const auto& name : NamesIn(dev / "serial" / "by-id", "")) {
        ports.push_back(UntrustedText((dev / "serial" / "by-id" / name).string()));
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const auto& name : NamesIn(dev, prefix)) {
            ports.push_back(UntrustedText((dev / name).string()));
        }
    }
    // The kernel makes many built-in port nodes whether or not there is a UART behind them.
    const auto builtIn = NamesIn(dev, "ttyS");
    if (builtIn.size() > 4) {
        ports.push_back((dev / builtIn.front()).string() + " to " + builtIn.back() + " (" +
                        std::to_string(builtIn.size()) + " built-in ports)");
    } else {
        for (const auto& name : builtIn) {
            ports.push_back(UntrustedText((dev / name).string()));
        }
    }
    return ports;
}

std::vector<std::string> ProcessesHolding(const std::string& path, const std::string& procRoot) {
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    if (ec) {
        return {};
    }
    std::vector<std::string> holders;
    for (const auto& process : fs::directory_iterator(procRoot, ec)) {
        const std::string pid = process.path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit)) {
            continue;
        }
        std::error_code fdError;
        for (const auto& fd : fs::directory_iterator(process.path() / "fd", fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd.path(), linkError) == target) {
                std::string name;
                std::ifstream(process.path() / "comm") >> name;
                holders.push_back((name.empty() ? "?" : UntrustedText(name)) + " (pid " + pid +
                                  ")");
                break;
            }
        }
    }
    return holders;
}

}  // namespace PortSurvey
