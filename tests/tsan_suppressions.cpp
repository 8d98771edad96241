// Debian's Qt and GLib are not built with ThreadSanitizer, so it cannot see how they hand
// data between their own threads (Qt's raster painting runs threads of its own) and
// reports races inside them. Only reports whose innermost frame is in one of those
// libraries, or that come from a libc call they made, are suppressed: a race in our code,
// even on a thread Qt started, is still reported. Read only by the ThreadSanitizer runtime;
// harmless in other builds.
//
// The player link's sd-bus needs none: its connection is used on the receiver's thread
// alone, and the library runs no thread of its own.
extern "C" const char* __tsan_default_suppressions() {
    return "race_top:libQt6Core.so\n"
           "race_top:libQt6Gui.so\n"
           "race_top:libQt6Widgets.so\n"
           "race_top:libglib-2.0.so\n"
           "called_from_lib:libQt6Core.so.6\n"
           "called_from_lib:libQt6Gui.so.6\n"
           "called_from_lib:libQt6Widgets.so.6\n"
           "called_from_lib:libglib-2.0.so.0\n"
           // A queued call to a member function (the history's hand-over, the quit): Qt's
           // template makes the call object on the calling thread and runs it on the
           // receiving one, handing it over through its event queue's lock, which the
           // runtime cannot see.
           "race_top:QtPrivate::QSlotObject\n"
           // libmosquitto 2.0.11 unlocks a mutex it never locked when the broker sends a
           // DISCONNECT (do_client_disconnect, connect.c); a slip of the library's, on our
           // one thread, since we never run its threaded mode.
           "mutex:libmosquitto.so.1\n";
}

// The tests start the bus daemon, the stand-in player and the programs while threads of
// theirs run (Qt's, a reader of a child's output); each child only execs, yet the runtime
// would stop a child that goes on to start a thread.
extern "C" const char* __tsan_default_options() {
    return "die_after_fork=0";
}
