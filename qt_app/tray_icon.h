#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>

// The program's icon in the system tray, made only where the desktop has one
// (QSystemTrayIcon::isSystemTrayAvailable): its menu opens the keys window and quits.
class TrayIcon {
  public:
    TrayIcon(const QIcon& icon, const std::function<void()>& openKeys);

  private:
    QMenu menu_;
    QSystemTrayIcon icon_;
};
