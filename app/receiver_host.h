#pragma once

#include <QObject>
#include <memory>
#include <vector>

#include "receiver/ir_thread.h"

class QCoreApplication;

// Owns the receiver threads started beside the UI and ends them when the application
// quits: asks each to stop (which wakes a blocked read), then joins it. Lives on the UI
// thread, declared after the window so that it is gone, and its threads with it, before
// the history they write.
class ReceiverHost : public QObject {
  public:
    // Stops everything when app is about to quit (and in any case on destruction).
    explicit ReceiverHost(QCoreApplication* app);
    ~ReceiverHost() override;

    // Resumes thread and keeps it until StopAll.
    void Start(std::unique_ptr<IRThread> thread);

    // Asks every thread to stop, then waits for all of them. Safe to call again.
    void StopAll();
    int Count() const { return static_cast<int>(threads_.size()); }

  private:
    std::vector<std::unique_ptr<IRThread>> threads_;
};
