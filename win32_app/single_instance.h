#pragma once

#include <windows.h>

// One receiver a user session: a second Quorvel would read the same port and hook the same
// keys, and each key would act twice or never. The first one's mark is a named mutex in the
// session's namespace, there while any process holds it open: this object's, for the life of
// the program. Every named-object call of the program is in single_instance.cpp.
class SingleInstance {
  public:
    static constexpr const wchar_t* MutexName = L"Local\\Quorvel.Receiver";

    // Takes the mark, or finds another Quorvel's.
    SingleInstance();
    ~SingleInstance();
    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // No other Quorvel of the session holds the mark.
    bool First() const { return first_; }
    // Brings up another Quorvel's window (restored when minimised, shown when only its
    // icon was there), without waiting on it; false when none has a window.
    static bool ShowTheOther();

  private:
    HANDLE mutex_;
    bool first_;
};
