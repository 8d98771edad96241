#pragma once

#include <string>

#include "program/key_map_reloader.h"
#include "remote/ir_thread.h"

// quorvel --console: the receiver without a window, on both platforms. The history goes to
// standard output (the last line rewritten in place on a terminal; each line once, when
// final, into a pipe); our diagnostics go to standard error around the line being
// rewritten, never into it. The key map is read again on SIGHUP and when its file is saved
// (keys). Runs until the user asks to quit (QuitSignal), then stops and joins the
// receiver; returns the exit status.
int RunConsole(const std::string& port, const IRThread::PlayerFactory& makePlayer,
               KeyMapReloader& keys);
