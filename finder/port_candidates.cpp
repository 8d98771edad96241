#include "finder/port_candidates.h"

#include <algorithm>

namespace PortCandidates {

std::vector<std::string> Choose(const std::vector<PortListing::Port>& listed) {
    std::vector<std::string> chosen;
    std::vector<std::string> devices;
    for (const PortListing::Port& port : listed) {
        // Opening a device twice would only make the second open fail as busy.
        if (!port.usable ||
            std::find(devices.begin(), devices.end(), port.device) != devices.end()) {
            continue;
        }
        devices.push_back(port.device);
        chosen.push_back(port.path);
    }
    return chosen;
}

std::string StableName(const std::string& port, const std::string& device,
                       const std::vector<PortListing::Port>& listed) {
    for (const PortListing::Port& other : listed) {
        if (other.device == device && other.path != other.device) {
            return other.path;
        }
    }
    return port;
}

}  // namespace PortCandidates
