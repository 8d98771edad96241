#include "app/quorvel_application.h"

#include <utility>

QuorvelApplication::QuorvelApplication(int& argc, char** argv) : QApplication(argc, argv) {}

bool QuorvelApplication::notify(QObject* receiver, QEvent* event) {
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        if (!escaped_) {
            escaped_ = std::current_exception();
        }
        quit();
        return false;
    }
}

void QuorvelApplication::RethrowEscaped() {
    if (escaped_) {
        std::rethrow_exception(std::exchange(escaped_, nullptr));
    }
}
