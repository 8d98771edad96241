#pragma once

#include <QProcess>
#include <QString>
#include <string>
#include <vector>

class PrivateBus;

// What the stand-in player calls itself and reports.
struct StandInSetup {
    QString name;      // bus name suffix: owns org.mpris.MediaPlayer2.<name>
    QString identity;  // its Identity property
    QString status = QStringLiteral("Paused");
    double volume = 0.5;
    bool replies = true;  // false: records PlayPause, Previous and Next but never answers
};

// The stand-in MPRIS player (quorvel_mpris_stand_in) run as a child process on a private
// bus, so it can be killed, restarted and stopped (SIGSTOP) like a real player.
class StandInProcess {
  public:
    StandInProcess(const PrivateBus& bus, StandInSetup setup);
    ~StandInProcess();
    StandInProcess(const StandInProcess&) = delete;
    StandInProcess& operator=(const StandInProcess&) = delete;

    // Starts it and waits until it owns its bus name.
    bool Start();
    // Ends it at once (SIGKILL) and waits until the bus has dropped its name.
    bool Kill();
    // Freezes and thaws it: a frozen player never replies.
    void Freeze();
    void Thaw();

    QString BusName() const;
    // Polls until at least count commands were recorded or a generous deadline passed,
    // then returns every command recorded so far.
    std::vector<std::string> WaitForCalls(std::size_t count);
    // Every command recorded so far, taking in what is already in the pipe.
    std::vector<std::string> Calls();

  private:
    void TakeLines();

    const PrivateBus& bus_;
    StandInSetup setup_;
    QProcess process_;
    std::vector<std::string> calls_;
    bool ready_ = false;
};
