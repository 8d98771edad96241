#include "qt_app/tray_icon.h"

#include <QApplication>

TrayIcon::TrayIcon(const QIcon& icon, const std::function<void()>& openKeys) : icon_(icon) {
    menu_.addAction(QStringLiteral("Keys…"), openKeys);
    menu_.addAction(QStringLiteral("Quit"), [] { QApplication::quit(); });
    icon_.setToolTip(QStringLiteral("Quorvel"));
    icon_.setContextMenu(&menu_);
    icon_.show();
}
