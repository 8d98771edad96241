// Debian's Qt, GLib and libdbus are not built with ThreadSanitizer, so it cannot see how
// they hand data between their own threads (QtDBus and Qt's raster painting run threads of
// their own) and reports races inside them. Only reports whose innermost frame is in one
// of those libraries, or that come from a libc call they made, are suppressed: a race in
// our code, even on a thread Qt started, is still reported. Read only by the
// ThreadSanitizer runtime; harmless in other builds.
//
// libdbus's libc calls are not ignored but seen, and reports made in them suppressed: the
// player link calls libdbus itself, and libdbus often ends a call by releasing a lock in a
// tail call, which returns straight into the link. Ignoring libdbus's calls would hide the
// lock but not that unlock, and every such unlock would be reported as a misuse.
extern "C" const char* __tsan_default_suppressions() {
    return "race_top:libQt6Core.so\n"
           "race_top:libQt6Gui.so\n"
           "race_top:libQt6Widgets.so\n"
           "race_top:libQt6DBus.so\n"
           "race_top:libglib-2.0.so\n"
           "race:libdbus-1.so\n"
           "mutex:libdbus-1.so\n"
           "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libQt6DBus.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           // A lock-order report entirely inside libdbus's own thread.
           "deadlock:libdbus-1.so\n";
}

// QProcess starts the bus daemon and the stand-in while QtDBus's thread runs; the child
// only execs, yet the runtime would stop this process at its next new thread.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
