#include "program/key_source_choice.h"

#include "log/untrusted_text.h"
#include "serial/serial_device.h"
#include "serial/serial_line.h"

#ifdef _WIN32
#include "hid/hid_device_choice.h"
#include "rawinput/raw_input_source.h"
#else
#include "input/device_finder.h"
#include "input/input_device.h"
#include "input/input_source.h"
#include "lircd/lircd_source.h"
#endif

namespace {

// A line of ours around a path: longer than one untrusted piece.
constexpr std::size_t LineLimit = 1000;

}  // namespace

std::vector<std::unique_ptr<KeySource>> MakeKeySources(const CommandLine& options) {
    std::vector<std::unique_ptr<KeySource>> sources;
    for (const std::string& port : options.SerialPorts()) {
        sources.push_back(std::make_unique<SerialLine>(port, MakeSerialDevice()));
    }
#ifdef _WIN32
    if (!options.inputs.empty()) {
        sources.push_back(std::make_unique<RawInputSource>(options.inputs, options.grab));
    }
#else
    if (!options.lircd.empty()) {
        sources.push_back(std::make_unique<LircdSource>(options.lircd));
    }
    if (!options.inputs.empty()) {
        sources.push_back(std::make_unique<InputSource>(options.inputs, options.grab,
                                                        MakeUdevDeviceFinder(), OpenInputDevice));
    }
#endif
    return sources;
}

std::unique_ptr<ReceiverLoop> MakeReceiverLoop(const CommandLine& options) {
    return std::make_unique<ReceiverLoop>(MakeKeySources(options));
}

std::string KeySourceNames(const CommandLine& options) {
    std::string names;
    const auto add = [&names](const std::string& name) {
        names += (names.empty() ? "" : ", ") + name;
    };
    for (const std::string& port : options.SerialPorts()) {
        add(port);
    }
    if (!options.lircd.empty()) {
        add("lircd at " + options.lircd);
    }
    for (const std::string& input : options.inputs) {
        add("input " + input);
    }
    return names;
}

std::string WhyNotKeySources(const CommandLine& options) {
    // Reading a file, a pipe or the user's own terminal as if it were the receiver would
    // feed the player garbage, or take the terminal over.
    const auto said = [&options](const char* setting, const std::string& why) {
        return "quorvel: " + options.SetAt(setting) + UntrustedText(why, LineLimit) + "\n";
    };
    for (const std::string& port : options.ports) {
        if (const std::string why = WhyNotASerialPort(port); !why.empty()) {
            return said("port", why);
        }
    }
#ifdef _WIN32
    for (const std::string& input : options.inputs) {
        if (const std::string why = HidDeviceChoice::WhyNot(input); !why.empty()) {
            return said("input", why);
        }
    }
#else
    if (const std::string why = LircdSource::WhyNotASocket(options.lircd);
        !options.lircd.empty() && !why.empty()) {
        return said("lircd", why);
    }
    for (const std::string& input : options.inputs) {
        if (const std::string why = InputSource::WhyNotAnInputDevice(input); !why.empty()) {
            return said("input", why);
        }
    }
#endif
    return {};
}
