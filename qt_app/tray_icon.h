#pragma once

#include <QMenu>
#include <QSystemTrayIcon>
#include <functional>
#include <string>

// The program's icon in the system tray, made only where the desktop has one
// (QSystemTrayIcon::isSystemTrayAvailable): its menu opens the keys window and quits. Its
// tooltip shows the latest problem met while running (LatestProblem). UI thread only.
class TrayIcon {
  public:
    TrayIcon(const QIcon& icon, const std::function<void()>& openKeys);

    // The tooltip says problem, or is the icon's own again for none; notify: shown as the
    // tray's message too (--notify, for a problem the player link has not told of).
    void ShowProblem(const std::string& problem, bool notify);

  private:
    QMenu menu_;
    QSystemTrayIcon icon_;
};
