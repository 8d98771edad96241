#include "tests/player/private_bus.h"

#include <sdbus-c++/sdbus-c++.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "tests/doubles/eventually.h"

namespace {

// Generous, so a loaded machine never looks like a fault; reached only when one is.
constexpr std::chrono::seconds Deadline(30);

const char* BusConfig = R"(<!DOCTYPE busconfig PUBLIC
 "-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN"
 "http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd">
<busconfig>
  <type>session</type>
  <listen>unix:path=FOLDER/bus</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/>
    <allow eavesdrop="true"/>
    <allow own="*"/>
  </policy>
</busconfig>
)";

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// Without the guid, which is new at every start, the address still names the bus after a
// restart.
std::string WithoutGuid(const std::string& address) {
    std::string kept;
    std::stringstream parts(address);
    for (std::string part; std::getline(parts, part, ',');) {
        if (part.rfind("guid=", 0) != 0) {
            kept += (kept.empty() ? "" : ",") + part;
        }
    }
    return kept;
}

}  // namespace

PrivateBus::PrivateBus() {
    if (folder_.Path().empty()) {
        error_ = "no temporary folder";
        return;
    }
    configPath_ = folder_.FilePath("bus.conf");
    std::string config = BusConfig;
    config.replace(config.find("FOLDER"), 6, folder_.Path());
    std::ofstream(configPath_) << config;
    Start();
}

PrivateBus::~PrivateBus() {
    Stop();
}

bool PrivateBus::Start() {
    Stop();
    error_.clear();
    // Its complaints (as root it warns about fd limits) are only shown when it fails.
    const std::string log = folder_.FilePath("daemon.log");
    if (!daemon_.Start(
            {{"dbus-daemon", "--config-file=" + configPath_, "--print-address", "--nofork"},
             {},
             true,
             log})) {
        error_ = daemon_.Error();
        return false;
    }
    const std::vector<ChildLine> lines =
        daemon_.WaitForLines(1, Deadline) > 0 ? daemon_.Lines() : std::vector<ChildLine>();
    if (lines.empty()) {
        error_ = "dbus-daemon did not start: " + ReadAll(log);
        return false;
    }
    address_ = WithoutGuid(lines.front().text);
    try {
        connection_ = sdbus::createSessionBusConnectionWithAddress(address_);
    } catch (const sdbus::Error& e) {
        error_ = "cannot connect: " + e.getMessage();
    }
    return Started();
}

void PrivateBus::Stop() {
    connection_.reset();
    if (daemon_.Running()) {
        daemon_.Stop(SIGKILL);
    }
}

bool PrivateBus::WaitForOwner(const std::string& name, bool owned) const {
    if (!connection_) {
        return false;
    }
    const auto daemon =
        sdbus::createProxy(*connection_, "org.freedesktop.DBus", "/org/freedesktop/DBus");
    return Eventually(
        [&] {
            bool has = !owned;
            try {
                daemon->callMethod("NameHasOwner")
                    .onInterface("org.freedesktop.DBus")
                    .withTimeout(Deadline)
                    .withArguments(name)
                    .storeResultsTo(has);
            } catch (const sdbus::Error&) {
            }
            return has == owned;
        },
        Deadline);
}

bool PrivateBus::WaitForAnswer(const std::string& name) const {
    if (!connection_) {
        return false;
    }
    try {
        sdbus::createProxy(*connection_, name, "/")
            ->callMethod("Ping")
            .onInterface("org.freedesktop.DBus.Peer")
            .withTimeout(Deadline);
        return true;
    } catch (const sdbus::Error&) {
        return false;
    }
}

bool PrivateBus::CallPlayer(const std::string& name, const std::string& method) const {
    if (!connection_) {
        return false;
    }
    try {
        sdbus::createProxy(*connection_, name, "/org/mpris/MediaPlayer2")
            ->callMethod(method)
            .onInterface("org.mpris.MediaPlayer2.Player")
            .withTimeout(Deadline);
        return true;
    } catch (const sdbus::Error&) {
        return false;
    }
}
