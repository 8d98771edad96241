#include "program/key_source_choice.h"

#include "serial/serial_device.h"
#include "serial/serial_line.h"

#ifndef _WIN32
#include "input/device_finder.h"
#include "input/input_device.h"
#include "input/input_source.h"
#include "lircd/lircd_source.h"
#endif

bool ReadsSerialPort(const CommandLine& options) {
    return options.lircd.empty() && options.inputs.empty();
}

std::unique_ptr<KeySource> MakeKeySource(const CommandLine& options) {
#ifndef _WIN32
    if (!options.lircd.empty()) {
        return std::make_unique<LircdSource>(options.lircd);
    }
    if (!options.inputs.empty()) {
        return std::make_unique<InputSource>(options.inputs, options.grab, MakeUdevDeviceFinder(),
                                             OpenInputDevice);
    }
#endif
    return std::make_unique<SerialLine>(options.port, MakeSerialDevice());
}

std::string KeySourceName(const CommandLine& options) {
    if (!options.lircd.empty()) {
        return "lircd at " + options.lircd;
    }
    if (!options.inputs.empty()) {
        std::string names;
        for (const std::string& input : options.inputs) {
            names += (names.empty() ? "" : ", ") + input;
        }
        return "input " + names;
    }
    return options.port;
}
