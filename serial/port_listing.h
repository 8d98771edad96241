#pragma once

#include <string>
#include <vector>

#ifdef _WIN32
#include <windows.h>
#endif

// The machine's serial ports, one listing per platform: posix_port_listing.cpp (/dev, /sys,
// /proc and the lock files in /run/lock) and win32_port_listing.cpp (the registry's
// SERIALCOMM map). An open error's hints, the search for the receiver's port and the wait
// for a port to arrive all ask here.
namespace PortListing {

// A serial device as the listing found it.
struct Port {
    std::string path;      // the name found: a stable link or the device itself
    std::string device;    // what it resolves to; the same device may be found twice
    bool usable = true;    // false for a built-in port node with no UART behind it
    bool builtIn = false;  // a built-in port node (ttyS), made whether or not a UART is there
    bool operator==(const Port&) const = default;
};

// The machine's serial ports. Linux: the stable names under /dev/serial/by-id first, then
// ttyUSB and ttyACM adapters, then the built-in ttyS nodes, each group numbered in order
// (ttyS2 before ttyS10). Windows: the SERIALCOMM map, COM2 before COM10.
std::vector<Port> Ports();

// ports as an open error names them, as text safe to print: all of them, in order, with
// many built-in ports said as one range.
std::vector<std::string> Named(const std::vector<Port>& ports);

// What port resolves to (links followed); port itself when it cannot be resolved.
std::string Resolve(const std::string& port);

// Why another program is known to hold port by a lock file, as serial tools leave in
// /run/lock ("LCK..ttyUSB0" with their pid); empty when none that is alive does. Only
// POSIX systems have them.
std::string WhyLocked(const std::string& port, const std::string& lockFolder = "/run/lock");

#ifdef _WIN32
// The registry key under which serial drivers enter the ports that arrive, opened to be
// watched (closed with RegCloseKey); nullptr when it cannot be.
HKEY OpenForChanges();
// Arms one notification on key: event is set at the next change to the ports listed.
bool NotifyNextChange(HKEY key, HANDLE event);
#else
// Ports from other roots than /dev and /sys, for tests.
std::vector<Port> PortsUnder(const std::string& devRoot, const std::string& sysRoot);

// Processes with path open, as "name (pid N)". Only processes whose descriptors we may
// read are seen; that is all of them for root.
std::vector<std::string> Holders(const std::string& path, const std::string& procRoot = "/proc");
#endif

}  // namespace PortListing
