#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "tests/doubles/scratch_folder.h"
#include "tests/player/child_process.h"

// A real mosquitto (Debian's) on a free loopback port, kept across a restart, with a
// configuration of its own in a scratch folder: never the system's broker, nor port 1883.
// With a user, it takes that user's password and nobody else. Used from one thread.
class MosquittoRig {
  public:
    explicit MosquittoRig(const std::string& user = {}, const std::string& password = {});
    ~MosquittoRig() { Stop(); }

    // Whether mosquitto and its clients are installed; tests skip, saying so, when not.
    static bool Available();
    // Starts it and waits until it runs; false, with Error(), if it does not.
    bool Start();
    void Stop();
    const std::string& Error() const { return error_; }
    int Port() const { return port_; }
    pid_t Pid() const { return broker_.Pid(); }
    const ScratchFolder& Folder() const { return folder_; }
    // mqtt://[USER@]127.0.0.1:PORT
    std::string Url(const std::string& user = {}) const;
    // Before Start: a TLS listener on a port of its own that presents certificate (PEM, with
    // its key): its port.
    int AddTlsListener(const std::string& certificate, const std::string& key);

    // Publishes at QoS 0, as a client of its own, and waits until that is done.
    bool Publish(const std::string& topic, const std::string& payload, bool retain = false);
    // The message retained on topic, as a new subscriber gets it; empty when none is.
    std::string Retained(const std::string& topic);
    // Starts watcher, a client of the broker's that prints each message on filters as
    // "RETAIN QOS TOPIC PAYLOAD" (the retain flag as published, QoS up to 1), and waits until
    // it is subscribed; name tells it apart in the broker's log. Anonymous.
    bool Watch(ChildProcess& watcher, const std::string& name,
               const std::vector<std::string>& filters);
    // How many times the log of the broker started last holds text.
    std::size_t Logged(const std::string& text) const;
    // Waits until Quorvel's clients have had count subscriptions acknowledged (one per
    // topic filter) by the broker started last.
    bool WaitSubscribed(std::size_t count = 1) const;

  private:
    // Runs a client of the broker's with args; its first line of output.
    bool Client(const char* program, std::vector<std::string> args, std::string* line = nullptr);

    ScratchFolder folder_;
    std::string user_;
    std::string password_;
    int port_ = 0;
    ChildProcess broker_;
    std::string error_;
    std::size_t logStart_ = 0;
    std::vector<int> tlsPorts_;
};
