#pragma once

#include <QtMessageHandler>
#include <optional>

// Held while the application object is built. If Qt cannot start its platform plugin it
// aborts with a long report; this turns that into one line on standard error and exit
// status 1. The platform's warnings are held back meanwhile and passed on only if the
// start succeeds, so a failure prints nothing but the one line.
class PlatformStartGuard {
  public:
    static constexpr int NoDisplayStatus = 1;

    // quietStatus: what ended the program was said already, so a failure says nothing
    // more and ends it with this status.
    explicit PlatformStartGuard(std::optional<int> quietStatus = std::nullopt);
    ~PlatformStartGuard();
    PlatformStartGuard(const PlatformStartGuard&) = delete;
    PlatformStartGuard& operator=(const PlatformStartGuard&) = delete;

  private:
    static void Handle(QtMsgType type, const QMessageLogContext& context, const QString& message);
};
