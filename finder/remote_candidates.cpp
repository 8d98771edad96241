#include "finder/remote_candidates.h"

#include <algorithm>

#include "hid/hid_device_choice.h"

#ifdef _WIN32
#include "rawinput/raw_input_devices.h"
#include "rawinput/raw_input_source.h"
#else
#include <filesystem>
#include <string_view>

#include "input/input_device.h"
#include "lircd/lircd_source.h"
#endif

namespace RemoteCandidates {

std::vector<RemoteCandidate> Hids(
    const std::vector<HidDevice>& devices,
    const std::function<std::unique_ptr<KeySource>(const std::string& wanted)>& make) {
    std::vector<RemoteCandidate> candidates;
    for (const HidDevice& device : devices) {
        if (device.collection != KeyboardCollection &&
            std::find(RemoteCollections.begin(), RemoteCollections.end(), device.collection) ==
                RemoteCollections.end()) {
            continue;
        }
        const std::string ids = HidDeviceChoice::IdsText(device.vendorId, device.productId);
        const std::string value = device.product.empty() ? ids : "name=" + device.product;
        if (std::any_of(candidates.begin(), candidates.end(),
                        [&](const RemoteCandidate& c) { return c.value == value; })) {
            continue;
        }
        candidates.push_back({"input " + value + (device.product.empty() ? "" : " (" + ids + ")"),
                              "input", value, [make, value] { return make(value); }});
    }
    return candidates;
}

#ifndef _WIN32
std::vector<RemoteCandidate> Inputs(const std::vector<InputNode>& nodes,
                                    const InputSource::Opener& opener) {
    struct Chosen {
        std::string label;
        std::string value;
        std::vector<std::string> devnodes;
    };
    std::vector<Chosen> chosen;
    for (const InputNode& node : nodes) {
        if (!node.mediaKeys) {
            continue;
        }
        const auto link = std::find_if(node.links.begin(), node.links.end(), [](const auto& link) {
            return std::string_view(link).starts_with("/dev/input/by-id/");
        });
        const std::string value = link != node.links.end() ? *link
                                  : node.name.empty()      ? node.devnode
                                                           : "name=" + node.name;
        const auto same = std::find_if(chosen.begin(), chosen.end(),
                                       [&](const Chosen& c) { return c.value == value; });
        if (same != chosen.end()) {
            same->devnodes.push_back(node.devnode);
            continue;
        }
        const bool named = link != node.links.end() && !node.name.empty();
        chosen.push_back(
            {"input " + value + (named ? " (" + node.name + ")" : ""), value, {node.devnode}});
    }
    std::vector<RemoteCandidate> candidates;
    for (Chosen& c : chosen) {
        candidates.push_back(
            {std::move(c.label), "input", c.value, [wanted = std::move(c.devnodes), opener] {
                 return std::make_unique<InputSource>(wanted, false, nullptr, opener);
             }});
    }
    return candidates;
}
#endif

std::vector<RemoteCandidate> Machine() {
    std::vector<RemoteCandidate> found;
#ifdef _WIN32
    std::vector<HidDevice> devices;
    for (RawInputDevice& listed : ListRawInputDevices()) {
        devices.push_back(std::move(listed.device));
    }
    found = Hids(devices, [](const std::string& wanted) {
        return std::make_unique<RawInputSource>(std::vector<std::string>{wanted}, false);
    });
#else
    std::error_code error;
    if (std::filesystem::is_socket(LircdSource::DefaultSocket, error)) {
        const std::string socket = LircdSource::DefaultSocket;
        found.push_back({"lircd at " + socket, "lircd", socket,
                         [socket] { return std::make_unique<LircdSource>(socket); }});
    }
    if (const std::unique_ptr<DeviceFinder> finder = MakeUdevDeviceFinder()) {
        for (RemoteCandidate& input : Inputs(finder->List(), OpenInputDevice)) {
            found.push_back(std::move(input));
        }
    }
#endif
    return found;
}

}  // namespace RemoteCandidates
