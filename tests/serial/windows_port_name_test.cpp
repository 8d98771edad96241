#include "serial/windows_port_name.h"

#include <gtest/gtest.h>

namespace {

// A Linux path (from a settings file written there) is refused on Windows at start; the
// names Windows gives ports are left to the port's own open.
TEST(WindowsPortName, RefusesALinuxPathOnly) {
    for (const char* port : {"COM3", "\\\\.\\COM10", "//./COM3", "CNCA0", "C:/x"}) {
        EXPECT_EQ(WhyNotAWindowsPortName(port), "") << port;
    }
    EXPECT_EQ(WhyNotAWindowsPortName("/dev/ttyUSB0"),
              "/dev/ttyUSB0 is a Linux path, not a serial port on Windows: give the port's COM "
              "name (such as COM3; quorvel --find-port finds it)");
}

}  // namespace
