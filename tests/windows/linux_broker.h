#pragma once

#include <mosquitto.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>

// The Linux mosquitto wine_mosquitto runs for the Windows tests, seen from Wine: its folder
// through drive Z:, which Wine maps to /. Published to with libmosquitto (Windows' build),
// and read through the Linux subscriber's file.
class LinuxBroker {
  public:
    LinuxBroker() {
        const char* session = std::getenv("QUORVEL_WINE_SESSION");
        folder_ = std::filesystem::path("Z:" + std::string(session ? session : "")) / "mosquitto";
        std::ifstream(folder_ / "port") >> port_;
    }

    // 0 when the broker is not running.
    int Port() const { return port_; }
    std::string Url() const { return "mqtt://127.0.0.1:" + std::to_string(port_); }
    // What the Linux subscriber got, a line "TOPIC PAYLOAD" each.
    std::string Received() const {
        std::ostringstream text;
        text << std::ifstream(folder_ / "received").rdbuf();
        return text.str();
    }

    // Publishes at QoS 1 as a client of its own, and waits until the broker has it.
    bool Publish(const std::string& topic, const std::string& payload) const {
        mosquitto_lib_init();
        bool published = false;
        mosquitto* client = mosquitto_new(nullptr, true, &published);
        mosquitto_publish_callback_set(
            client, [](mosquitto*, void* done, int) { *static_cast<bool*>(done) = true; });
        const auto end = std::chrono::steady_clock::now() + std::chrono::seconds(30);
        bool ok =
            mosquitto_connect(client, "127.0.0.1", port_, 30) == MOSQ_ERR_SUCCESS &&
            mosquitto_publish(client, nullptr, topic.c_str(), static_cast<int>(payload.size()),
                              payload.data(), 1, false) == MOSQ_ERR_SUCCESS;
        while (ok && !published && std::chrono::steady_clock::now() < end) {
            ok = mosquitto_loop(client, 100, 1) == MOSQ_ERR_SUCCESS;
        }
        mosquitto_disconnect(client);
        mosquitto_destroy(client);
        return published;
    }

  private:
    std::filesystem::path folder_;
    int port_ = 0;
};
