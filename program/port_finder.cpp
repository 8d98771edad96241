#include "program/port_finder.h"

#include <array>
#include <cstdint>

#include "log/untrusted_text.h"
#include "program/port_candidates.h"
#include "receiver/event_protocol.h"
#include "receiver/line_error_decoder.h"

struct PortFinder::Port {
    std::string name;
    std::unique_ptr<SerialDevice> device;
    std::thread reader;
};

PortFinder::PortFinder(DeviceMaker makeDevice) : makeDevice_(std::move(makeDevice)) {}

PortFinder::~PortFinder() {
    StopAll();
}

std::vector<std::string> PortFinder::Listen(const std::vector<std::string>& candidates) {
    std::vector<std::string> listening;
    for (const std::string& name : candidates) {
        std::string why = WhyNotASerialPort(name);
        if (why.empty()) {
            if (const std::string locked = PortListing::WhyLocked(name); !locked.empty()) {
                why = UntrustedText(name) + ": " + locked;
            }
        }
        auto device = why.empty() ? makeDevice_() : nullptr;
        if (device) {
            // The device's own open: exclusive, so a port another program has is refused.
            if (const int error = device->Open(name); error != 0) {
                why = device->DescribeOpenError(name, error);
            } else if (!device->ReadSettings() || !device->WriteLineSettings() ||
                       !device->PrepareQueues() || !device->WriteTimeouts()) {
                why = UntrustedText(name) + ": its line cannot be set up as a serial port's";
            }
        }
        if (!why.empty()) {
            problems_.push_back(why);
            continue;
        }
        auto& port = ports_.emplace_back(std::make_unique<Port>(Port{name, std::move(device), {}}));
        port->reader = std::thread([this, raw = port.get()] { ReadUntilKey(*raw); });
        listening.push_back(name);
    }
    return listening;
}

void PortFinder::ReadUntilKey(Port& port) {
    LineErrorDecoder decoder;
    std::array<std::uint8_t, 64> buffer{};
    bool afterPrefix = false;
    for (;;) {
        const SerialDevice::ReadResult result = port.device->Read(buffer);
        if (result.status != SerialDevice::ReadStatus::Data) {
            break;  // stopped, or the port lost: it is not the receiver's any more
        }
        for (std::size_t i = 0; i < result.count; ++i) {
            const LineErrorDecoder::Result decoded = decoder.Feed(buffer[i]);
            if (decoded.kind == LineErrorDecoder::Kind::Pending) {
                continue;
            }
            // A damaged byte breaks the event it was part of.
            if (afterPrefix && decoded.kind == LineErrorDecoder::Kind::Byte) {
                {
                    std::lock_guard lock(mutex_);
                    if (found_.empty()) {
                        found_ = port.name;
                    }
                }
                changed_.notify_all();
                return;
            }
            afterPrefix =
                decoded.kind == LineErrorDecoder::Kind::Byte && decoded.value == KeyPrefix;
        }
    }
    {
        std::lock_guard lock(mutex_);
        ++ended_;
    }
    changed_.notify_all();
}

std::string PortFinder::Await(std::chrono::milliseconds limit) {
    std::string found;
    {
        std::unique_lock lock(mutex_);
        changed_.wait_for(lock, limit,
                          [this] { return !found_.empty() || ended_ == ports_.size(); });
        found = found_;
    }
    StopAll();
    return found;
}

void PortFinder::StopAll() {
    for (auto& port : ports_) {
        port->device->Wake();
    }
    for (auto& port : ports_) {
        if (port->reader.joinable()) {
            port->reader.join();
        }
        port->device->Close();
    }
    ports_.clear();
}

namespace {

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names) {
        text += (text.empty() ? "" : ", ") + UntrustedText(name);
    }
    return text;
}

}  // namespace

std::string FindPortSession(const std::vector<std::string>& candidates, std::istream& in, bool ask,
                            std::ostream& out, std::ostream& err, const PortKeeping& keeping,
                            std::chrono::milliseconds limit) {
    const std::vector<PortListing::Port> listed = PortListing::Ports();
    const std::vector<std::string> tried =
        candidates.empty() ? PortCandidates::Choose(listed) : candidates;
    if (tried.empty()) {
        err << "quorvel: no serial ports found: is the receiver plugged in?\n";
        return {};
    }
    PortFinder finder;
    const std::vector<std::string> listening = finder.Listen(tried);
    for (const std::string& problem : finder.Problems()) {
        out << "Not listening: " << problem << '\n';
    }
    if (listening.empty()) {
        err << "quorvel: none of the serial ports can be listened on\n";
        return {};
    }
    out << "Listening on " << Listed(listening) << ".\nPress any key on the remote..." << std::endl;
    const std::string found = finder.Await(limit);
    if (found.empty()) {
        err << "quorvel: no key arrived on any port within "
            << std::chrono::duration_cast<std::chrono::seconds>(limit).count() << " s\n";
        return {};
    }
    const std::string port = PortCandidates::StableName(found, PortListing::Resolve(found), listed);
    out << "Found the receiver on " << UntrustedText(port) << ".\n";

    const std::string line = "port = " + UntrustedText(port);
    if (keeping.save && ask) {
        out << "Save it as the port in " << UntrustedText(keeping.where) << "? [y/N] "
            << std::flush;
        std::string answer;
        std::getline(in, answer);
        if (answer == "y" || answer == "Y" || answer == "yes") {
            std::string problem;
            if (keeping.save(port, problem)) {
                out << "Saved.\n";
            } else {
                err << "quorvel: " << problem << '\n';
            }
        }
    } else {
        out << "To use it from now on, add this line to " << UntrustedText(keeping.where) << ":\n  "
            << line << '\n';
    }
    return port;
}
