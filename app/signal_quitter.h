#pragma once

#include <QObject>
#include <csignal>

class QSocketNotifier;

// Ends the event loop cleanly on SIGINT, SIGTERM and SIGHUP (the terminal closed), so the
// receiver is stopped and joined as when the window is closed; a second such signal during
// that shutdown ends the program at once. The handler only writes a byte to a socket; the
// quitting happens on the UI thread. One instance at a time.
class SignalQuitter : public QObject {
  public:
    explicit SignalQuitter(QObject* parent = nullptr);
    ~SignalQuitter() override;
    SignalQuitter(const SignalQuitter&) = delete;
    SignalQuitter& operator=(const SignalQuitter&) = delete;

  private:
    static void Handle(int signal);
    void Drain();

    int fds_[2] = {-1, -1};
    QSocketNotifier* notifier_ = nullptr;
    struct sigaction old_[3]{};
};
