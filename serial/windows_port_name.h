#pragma once

#include <string>

// Why a port's name can never be a serial port on Windows, though it may be on Linux (a
// path from /dev, from a settings file written there): empty when it may be one (COM3,
// \\.\COM10, //./COM3, a name the system has yet to make). Plain, so it is tested
// everywhere.
std::string WhyNotAWindowsPortName(const std::string& port);
