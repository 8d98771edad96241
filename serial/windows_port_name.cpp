#include "serial/windows_port_name.h"

#include "log/untrusted_text.h"

std::string WhyNotAWindowsPortName(const std::string& port) {
    // One slash first is a path from the root of the current drive, no device; two begin
    // the device namespace, slashes for backslashes.
    if (!port.starts_with('/') || port.starts_with("//")) {
        return {};
    }
    return UntrustedText(port) +
           " is a Linux path, not a serial port on Windows: give the port's COM name (such as "
           "COM3; quorvel --find-port finds it)";
}
