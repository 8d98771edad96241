#include "qt_app/tray_icon.h"

#include <QApplication>

TrayIcon::TrayIcon(const QIcon& icon, const std::function<void()>& openKeys) : icon_(icon) {
    menu_.addAction(QStringLiteral("Keys…"), openKeys);
    menu_.addAction(QStringLiteral("Quit"), [] { QApplication::quit(); });
    icon_.setToolTip(QStringLiteral("Quorvel"));
    icon_.setContextMenu(&menu_);
    icon_.show();
}

void TrayIcon::ShowProblem(const std::string& problem, bool notify) {
    if (problem.empty()) {
        icon_.setToolTip(QStringLiteral("Quorvel"));
        return;
    }
    const QString text = QString::fromStdString(problem);
    icon_.setToolTip(QStringLiteral("Quorvel: ") + text);
    if (notify) {
        icon_.showMessage(QStringLiteral("Quorvel"), text, QSystemTrayIcon::Warning);
    }
}
