#include "qt_app/quorvel_application.h"

#include <utility>

QuorvelApplication::QuorvelApplication(int& argc, char** argv) : QApplication(argc, argv) {
    // Lets the desktop match the window to its menu entry and icon (Wayland's app id).
    setDesktopFileName(QStringLiteral(QUORVEL_APP_ID));
}

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
