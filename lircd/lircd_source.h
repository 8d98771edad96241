#pragma once

#include <atomic>
#include <chrono>
#include <deque>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "lircd/lircd_line_decoder.h"
#include "source/key_source.h"
#include "source/read_ahead.h"

// lircd as a key source: a client of its socket, reading the buttons it decodes. A key is
// named by its button (KEY_PLAYPAUSE), and the event says which remote sent it. When lircd
// stops, that is said once (Lost) and the source waits for the socket to come back, watching
// the folders on the way with inotify rather than polling fast: a socket made again is
// connected within a second, and Next then gives Back. Junk on the socket is said once a
// kind in the log and never becomes a key.
class LircdSource : public KeySource {
  public:
    static constexpr const char* DefaultSocket = "/run/lirc/lircd";
    // How often a socket that gives no sign of life in its folder is tried all the same.
    static constexpr std::chrono::seconds RetryEvery{5};

    explicit LircdSource(std::filesystem::path socket);
    ~LircdSource() override;
    LircdSource(const LircdSource&) = delete;
    LircdSource& operator=(const LircdSource&) = delete;

    // Connects to the socket.
    void Open() override;
    // Why the connection failed, when it did: the one setup step there is.
    std::vector<SourceCondition> Configure() override;
    SourceItem Next() override;
    SourceItem NextBefore(Deadline until) override;
    void RequestStop() override;

  private:
    // 0 when connected, else the errno of the failure.
    int Connect();
    void Disconnect();
    SourceCondition ConnectFailure(int error) const;
    // Connects, waiting as long as it takes; false when asked to stop.
    bool AwaitSocket(Deadline until);
    // Waits for a change on the way to the socket, or a while; false when asked to stop.
    bool AwaitChange(std::chrono::milliseconds longest);
    // Reads what has come by until, into pending_; on a lost connection, a Lost condition.
    void Read(Deadline until);
    void SayJunk(LircdLineDecoder::Junk junk);
    // Whether lircd has sent what is not read yet.
    bool InputWaiting() const;

    std::filesystem::path socket_;
    int fd_ = -1;
    int openError_ = 0;
    int wakeFd_ = -1;
    int inotifyFd_ = -1;
    int watch_ = -1;
    std::filesystem::path watched_;
    std::chrono::steady_clock::time_point lastChange_{};
    std::atomic<bool> stopRequested_{false};
    LircdLineDecoder decoder_;
    std::vector<LircdLineDecoder::Line> lines_;
    ReadAhead pending_;
    std::set<LircdLineDecoder::Junk> saidJunk_;
    int saidConnectError_ = 0;
    // lircd has sent something since the connection was last lost (or never lost).
    bool heardSinceLost_ = true;
};
