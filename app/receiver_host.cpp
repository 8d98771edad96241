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
    workers_.push_back({std::move(thread), std::move(requestStop)});
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
    }
    qCDebug(lcApp) << "receiver: stopped and joined" << workers_.size() << "thread(s)";
    workers_.clear();
}
