// Qt, GLib and libdbus are not built with ThreadSanitizer, so it cannot see how they hand
// data between their own threads (QtDBus always runs a thread of its own) and reports
// races inside them. Races whose stacks stay in our code are still reported. Only read
// by the ThreadSanitizer runtime; harmless in other builds.
extern "C" const char* __tsan_default_suppressions() {
    return "race:libQt6Core.so\n"
           "race:libQt6DBus.so\n"
           "race:libglib-2.0.so\n"
           "race:libdbus-1.so\n";
}

// QProcess starts the bus daemon and the stand-in while QtDBus's thread runs; the child
// only execs, yet the runtime would stop this process at its next new thread.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
