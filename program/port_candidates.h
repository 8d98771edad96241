#pragma once

#include <string>
#include <vector>

// The serial ports a search for the receiver listens on. Which ports the machine has is the
// platform's (posix_port_survey.cpp, win32_port_survey.cpp); choosing among them is plain.
namespace PortCandidates {

// A serial device name as the survey found it.
struct Surveyed {
    std::string path;    // the name found: a stable link or the device itself
    std::string device;  // what it resolves to; the same device may be found twice
    bool usable = true;  // false for a built-in port node with no UART behind it
};

// The ports to listen on: the usable ones, each device once, by the name listed first
// (the survey lists the stable /dev/serial/by-id names first), in the survey's order.
std::vector<std::string> Choose(const std::vector<Surveyed>& surveyed);

// The name to keep for the device at port: the first stable link in surveyed that
// resolves to the same device as port does (device is port's own resolution), else port.
std::string StableName(const std::string& port, const std::string& device,
                       const std::vector<Surveyed>& surveyed);

// The machine's serial ports: Linux /dev/serial/by-id, ttyUSB, ttyACM and the ttyS nodes
// with a UART; Windows the SERIALCOMM map in the registry.
std::vector<Surveyed> Survey();
#ifndef _WIN32
// Survey's Linux lists from other roots than /dev and /sys, for tests.
std::vector<Surveyed> SurveyFolders(const std::string& devRoot, const std::string& sysRoot);
#endif

// What port resolves to (links followed); port itself when it cannot be resolved.
std::string Resolve(const std::string& port);

// Why another program is known to hold port by a lock file, as serial tools leave in
// /run/lock ("LCK..ttyUSB0" with their pid); empty when none that is alive does. Only
// POSIX systems have them.
std::string WhyLocked(const std::string& port, const std::string& lockFolder = "/run/lock");

}  // namespace PortCandidates
