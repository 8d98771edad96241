#pragma once

#include <string>
#include <vector>

#include "serial/port_listing.h"

// The serial ports a search for the receiver listens on. Which ports the machine has is the
// platform's (PortListing); choosing among them is plain.
namespace PortCandidates {

// The ports to listen on: the usable ones, each device once, by the name listed first
// (the listing has the stable /dev/serial/by-id names first), in the listing's order.
std::vector<std::string> Choose(const std::vector<PortListing::Port>& listed);

// The name to keep for the device at port: the first stable link in listed that resolves
// to the same device as port does (device is port's own resolution), else port.
std::string StableName(const std::string& port, const std::string& device,
                       const std::vector<PortListing::Port>& listed);

}  // namespace PortCandidates
