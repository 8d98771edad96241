#pragma once

#include <QCoreApplication>
#include <QObject>
#include <QThread>
#include <atomic>
#include <functional>
#include <memory>
#include <vector>

// Owns the threads started beside the UI and ends them when the application quits: asks
// each to stop (which must wake a blocked read), then joins it. Lives on the UI thread,
// declared after the window so that it is gone, and its threads with it, before the
// history they write.
class ReceiverHost : public QObject {
  public:
    // Stops everything when app is about to quit (and in any case on destruction).
    explicit ReceiverHost(QCoreApplication* app);
    ~ReceiverHost() override;

    // Starts thread. Thread is a QThread with a RequestStop() that is safe from any thread.
    template <class Thread>
    void Start(std::unique_ptr<Thread> thread) {
        Thread* raw = thread.get();
        Adopt(std::move(thread), [raw] { raw->RequestStop(); });
    }
    void Adopt(std::unique_ptr<QThread> thread, std::function<void()> requestStop);

    // Asks every thread to stop, then waits for all of them. Safe to call again.
    void StopAll();
    int Count() const { return static_cast<int>(workers_.size()); }

  private:
    struct Worker {
        std::unique_ptr<QThread> thread;
        std::function<void()> requestStop;
        // Set by the thread itself as it finishes (see Adopt).
        std::shared_ptr<std::atomic<bool>> finished;
    };
    std::vector<Worker> workers_;
};
