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

void ReceiverHost::Start(std::unique_ptr<IRThread> thread) {
    thread->Resume();
    threads_.push_back(std::move(thread));
}

void ReceiverHost::StopAll() {
    if (threads_.empty()) {
        return;
    }
    // All are asked first so they wind down together.
    for (const auto& thread : threads_) {
        thread->RequestStop();
    }
    for (const auto& thread : threads_) {
        thread->Join();
    }
    qCDebug(lcApp) << "receiver: stopped and joined" << threads_.size() << "thread(s)";
    threads_.clear();
}
