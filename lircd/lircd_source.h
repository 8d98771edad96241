#pragma once

#include <chrono>
#include <filesystem>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "lircd/lircd_line_decoder.h"
#include "platform/path_watch.h"
#include "source/key_source.h"
#include "source/reopening.h"
#include "source/source_health.h"

// lircd as a key source: a client of its socket, reading the buttons it decodes. A key is
// named by its button (KEY_PLAYPAUSE), and the event says which remote sent it. When lircd
// stops, that is said once (Lost) and the source connects again as soon as the socket's path
// changes, else at the back-off's pace (100 ms doubling to 5 s; to 1 s while lircd's queue of
// new clients is full); then Back. A connection lircd ends before it said anything or lived
// a second (lircd at its limit of clients accepts and closes) is a failed connect, not a
// return. Junk on the socket is said once a kind in the log and never becomes a key.
class LircdSource : public KeySource {
  public:
    static constexpr const char* DefaultSocket = "/run/lirc/lircd";
    // The longest wait between tries while lircd is away.
    static constexpr std::chrono::seconds RetryEvery{5};
    // A connection that lived this long, or heard anything, was lircd's return.
    static constexpr std::chrono::seconds Lived{1};

    explicit LircdSource(std::filesystem::path socket);
    ~LircdSource() override;
    LircdSource(const LircdSource&) = delete;
    LircdSource& operator=(const LircdSource&) = delete;

    // Why socket can never be lircd's (a path longer than a socket address holds); empty
    // when it may be.
    static std::string WhyNotASocket(const std::filesystem::path& socket);

    // Connects to the socket.
    void Open() override;
    // Why the connection failed, when it did: the one setup step there is.
    std::vector<SourceCondition> Configure() override;
    void Attach(EventLoop& loop, SourceOutput& out) override;
    const LogCategory& Log() const override;
    std::string_view Kind() const override { return "lircd"; }

  private:
    // 0 when connected, else the errno of the failure.
    int Connect();
    void Disconnect();
    SourceCondition ConnectFailure(int error) const;
    // A try to connect again.
    void Attempt();
    // Not connected (after error, when a connect failed): waits for the socket, at the
    // back-off's pace or its path.
    void Await(std::optional<int> error);
    void Read();
    // The connection ended: why.
    void Dropped(const std::string& why);
    // The connection lived: lircd is up (back, after an outage).
    void Confirm();
    void SayJunk(LircdLineDecoder::Junk junk);

    std::filesystem::path socket_;
    int fd_ = -1;
    int openError_ = 0;
    EventLoop* loop_ = nullptr;
    std::unique_ptr<EventLoop::Watch> ready_;
    std::unique_ptr<PathWatch> pathWatch_;
    std::unique_ptr<EventLoop::Timer> lived_;
    Reopening reopening_;
    // Up once the connection has lived (or heard something), so that its end is an outage.
    SourceHealth health_;
    LircdLineDecoder decoder_;
    std::vector<LircdLineDecoder::Line> lines_;
    std::set<LircdLineDecoder::Junk> saidJunk_;
};
