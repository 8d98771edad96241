#pragma once

#include <memory>

#include "program/key_map_reloader.h"
#include "receiver/ir_thread.h"
#include "source/key_reader.h"

// quorvel --console: the receiver without a window, on both platforms. The history goes to
// standard output (the last line rewritten in place on a terminal; each line once, when
// final, into a pipe); our diagnostics go to standard error around the line being
// rewritten, never into it. The key map is read again on SIGHUP and when its file is saved
// (keys). Runs until the user asks to quit (QuitSignal), then stops and joins the
// receiver; returns the exit status. judge, when given, follows the receiver's mode.
int RunConsole(std::unique_ptr<KeyReader> reader, const IRThread::PlayerFactory& makePlayer,
               KeyMapReloader& keys, std::shared_ptr<PressJudge> judge = {});
