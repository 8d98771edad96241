#pragma once

#include <cstddef>
#include <string>

#include "tests/doubles/scratch_folder.h"
#include "tests/player/child_process.h"

// A real mosquitto (Debian's) on a free loopback port with a configuration of its own in a
// scratch folder: never the system's broker, nor port 1883. It keeps its port across a
// restart. With a user, it takes that user's password and nobody else. Used from one thread.
class MosquittoRig {
  public:
    // user empty: anyone, with no login.
    explicit MosquittoRig(const std::string& user = {}, const std::string& password = {});
    ~MosquittoRig();
    MosquittoRig(const MosquittoRig&) = delete;
    MosquittoRig& operator=(const MosquittoRig&) = delete;

    // Whether mosquitto and its clients are installed; tests skip, saying so, when not.
    static bool Available();

    // Starts the broker and waits until it takes connections; false, with Error(), if not.
    bool Start();
    // Ends it (SIGTERM) and waits.
    void Stop();
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    // mqtt://127.0.0.1:PORT, with USER@ when given.
    std::string Url(const std::string& user = {}) const;
    const ScratchFolder& Folder() const { return folder_; }

    // Publishes payload to topic at QoS 0 (retained when asked) as a separate client, and
    // waits until it is done.
    bool Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // The message retained on topic, as a new subscriber gets it; empty when there is none.
    std::string Retained(const std::string& topic);
    // How many lines of the log of the broker started last hold text.
    std::size_t Logged(const std::string& text) const;
    // Waits until Quorvel's clients have had count subscriptions acknowledged since the
    // broker last started (each connection has one per topic filter).
    bool WaitSubscribed(std::size_t count = 1) const;

  private:
    ScratchFolder folder_;
    std::string user_;
    std::string password_;
    int port_ = 0;
    ChildProcess broker_;
    std::string error_;
    std::size_t logStart_ = 0;  // where the log of the broker started last begins
};
