#pragma once

#include <string>
#include <vector>

// What the machine can tell a user whose port would not open. Plain C++ over the file
// system; the roots are parameters so tests can lay out their own.
namespace PortSurvey {

// Entries of folder whose names start with prefix, numbers in order (ttyS2 before ttyS10).
std::vector<std::string> NamesIn(const std::string& folder, const std::string& prefix);

// Serial devices that exist: stable names under serial/by-id first, then USB and ACM
// adapters, then the built-in ports (those summarised when there are many).
std::vector<std::string> SerialPortsPresent(const std::string& devRoot = "/dev");

// Processes with path open, as "name (pid N)". Only processes whose descriptors we may
// read are seen; that is all of them for root.
std::vector<std::string> ProcessesHolding(const std::string& path,
                                          const std::string& procRoot = "/proc");

}  // namespace PortSurvey
