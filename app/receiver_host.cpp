#include "app/receiver_host.h"

#include <QCoreApplication>

#include "app/app_log.h"

ReceiverHost::ReceiverHost(QCoreApplication* app) {
    if (app != nullptr) {
        connect(app, &QCoreApplication::aboutToQuit, this, &ReceiverHost::StopAll);
    }
}

ReceiverHost::~ReceiverHost() {
    StopAll();
}

void ReceiverHost::Adopt(std::unique_ptr<QThread> thread, std::function<void()> requestStop) {
    QThread* raw = thread.get();
    auto finished = std::make_shared<std::atomic<bool>>(false);
    // QThread's wait() synchronises through Qt's own wait condition, which thread checkers
    // cannot see; this flag, set on the thread as its run ends, makes the hand-back of
    // everything the thread touched explicit before its object is destroyed.
    connect(
        raw, &QThread::finished, raw,
        [finished] { finished->store(true, std::memory_order_release); }, Qt::DirectConnection);
    workers_.push_back({std::move(thread), std::move(requestStop), finished});
    raw->start();
}

void ReceiverHost::StopAll() {
    if (workers_.empty()) {
        return;
    }
    // All are asked first so they wind down together.
    for (Worker& worker : workers_) {
        worker.requestStop();
    }
    for (Worker& worker : workers_) {
        worker.thread->wait();
        if (!worker.finished->load(std::memory_order_acquire)) {
            qCWarning(lcApp) << "receiver: a thread ended without finishing its run";
        }
    }
    qCDebug(lcApp) << "receiver: stopped and joined" << workers_.size() << "thread(s)";
    workers_.clear();
}
