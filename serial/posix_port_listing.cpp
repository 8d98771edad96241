#include <signal.h>

#include <algorithm>
#include <cerrno>
#include <filesystem>
#include <fstream>

#include "log/untrusted_text.h"
#include "serial/port_listing.h"

namespace fs = std::filesystem;

namespace {

// Entries of folder whose names start with prefix, numbers in order (ttyS2 before ttyS10).
std::vector<fs::path> Matching(const fs::path& folder, const std::string& prefix) {
    std::vector<std::string> names;
    std::error_code ec;
    for (fs::directory_iterator entry(folder, ec), end; !ec && entry != end; entry.increment(ec)) {
        const std::string name = entry->path().filename().string();
        if (name.rfind(prefix, 0) == 0) {
            names.push_back(name);
        }
    }
    std::sort(names.begin(), names.end(), [](const std::string& a, const std::string& b) {
        return a.size() != b.size() ? a.size() < b.size() : a < b;
    });
    std::vector<fs::path> found;
    for (const std::string& name : names) {
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

}  // namespace

namespace PortListing {

std::vector<Port> PortsUnder(const std::string& devRoot, const std::string& sysRoot) {
    const fs::path dev(devRoot);
    std::vector<Port> ports;
    const auto add = [&](const fs::path& path, bool usable, bool builtIn) {
        ports.push_back({path.string(), Resolve(path.string()), usable, builtIn});
    };
    for (const auto& path : Matching(dev / "serial" / "by-id", "")) {
        add(path, true, false);
    }
    for (const char* prefix : {"ttyUSB", "ttyACM"}) {
        for (const auto& path : Matching(dev, prefix)) {
            add(path, true, false);
        }
    }
    for (const auto& path : Matching(dev, "ttyS")) {
        add(path, HasUart(fs::path(sysRoot) / "class" / "tty", path.filename().string()), true);
    }
    return ports;
}

std::vector<Port> Ports() {
    return PortsUnder("/dev", "/sys");
}

std::vector<std::string> Named(const std::vector<Port>& ports) {
    std::vector<std::string> names;
    std::vector<const Port*> builtIn;
    for (const Port& port : ports) {
        if (port.builtIn) {
            builtIn.push_back(&port);
        } else {
            names.push_back(UntrustedText(port.path));
        }
    }
    // The kernel makes many built-in port nodes whether or not there is a UART behind them.
    if (builtIn.size() > 4) {
        names.push_back(builtIn.front()->path + " to " +
                        fs::path(builtIn.back()->path).filename().string() + " (" +
                        std::to_string(builtIn.size()) + " built-in ports)");
    } else {
        for (const Port* port : builtIn) {
            names.push_back(UntrustedText(port->path));
        }
    }
    return names;
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

std::vector<std::string> Holders(const std::string& path, const std::string& procRoot) {
    std::error_code ec;
    const fs::path target = fs::canonical(path, ec);
    if (ec) {
        return {};
    }
    std::vector<std::string> holders;
    // Processes come and go while their folders are read: a folder that fails midway
    // ends its own look, never the caller (range-for's ++ would throw).
    for (fs::directory_iterator process(procRoot, ec), end; !ec && process != end;
         process.increment(ec)) {
        const std::string pid = process->path().filename().string();
        if (pid.empty() || !std::all_of(pid.begin(), pid.end(), ::isdigit)) {
            continue;
        }
        std::error_code fdError;
        for (fs::directory_iterator fd(process->path() / "fd", fdError); !fdError && fd != end;
             fd.increment(fdError)) {
            std::error_code linkError;
            if (fs::read_symlink(fd->path(), linkError) == target) {
                std::string name;
                std::ifstream(process->path() / "comm") >> name;
                holders.push_back((name.empty() ? "?" : UntrustedText(name)) + " (pid " + pid +
                                  ")");
                break;
            }
        }
    }
    return holders;
}

}  // namespace PortListing
