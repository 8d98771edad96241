#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "log/untrusted_text.h"
#include "program/port_candidates.h"
#include "receiver/port_survey.h"

namespace fs = std::filesystem;

namespace {

// Entries of folder whose names start with prefix, in order.
std::vector<fs::path> Matching(const fs::path& folder, const std::string& prefix) {
    std::vector<fs::path> found;
    for (const std::string& name : PortSurvey::NamesIn(folder.string(), prefix)) {
        found.push_back(folder / name);
    }
    return found;
}

// The kernel makes built-in port nodes whether or not a UART is there; the serial core
// gives those it drives a device, and a type other than PORT_UNKNOWN (0).
bool HasUart(const fs::path& ttyClass, const std::string& name) {
    std::error_code error;
    if (!fs::exists(ttyClass / name / "device", error)) {
        return false;
    }
    int type = 0;
    std::ifstream(ttyClass / name / "type") >> type;
    return type != 0;
}

std::vector<PortCandidates::Surveyed> SurveyUnder(const fs::path& dev, const fs::path& sys) {
    std::vector<PortCandidates::Surveyed> surveyed;
    const auto add = [&](const fs::path& path, bool usable) {
        surveyed.push_back({path.string(), PortCandidates::Resolve(path.string()), usable});
    };
    for (const auto& path : Matching(dev / "serial" / "by-id", "")) {
        add(path, true);
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const auto& path : Matching(dev, prefix)) {
            add(path, true);
        }
    }
    for (const auto& path : Matching(dev, "ttyS")) {
        add(path, HasUart(sys / "class" / "tty", path.filename().string()));
    }
    return surveyed;
}

}  // namespace

namespace PortCandidates {

std::vector<Surveyed> Survey() {
    return SurveyUnder("/dev", "/sys");
}

std::vector<Surveyed> SurveyFolders(const std::string& devRoot, const std::string& sysRoot) {
    return SurveyUnder(devRoot, sysRoot);
}

std::string Resolve(const std::string& port) {
    std::error_code error;
    const fs::path resolved = fs::canonical(port, error);
    return error ? port : resolved.string();
}

std::string WhyLocked(const std::string& port, const std::string& lockFolder) {
    const fs::path lock =
        fs::path(lockFolder) / ("LCK.." + fs::path(Resolve(port)).filename().string());
    long pid = 0;
    if (!(std::ifstream(lock) >> pid) || pid <= 0) {
        return {};
    }
    // A lock whose process has gone is stale; EPERM means it lives, under another user.
    if (::kill(static_cast<pid_t>(pid), 0) != 0 && errno != EPERM) {
        return {};
    }
    return "busy: locked by process " + std::to_string(pid) + " (" + UntrustedText(lock.string()) +
           ")";
}

}  // namespace PortCandidates
