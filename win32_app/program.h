#pragma once

// The Windows program: the shared RunProgram (program/program_skeleton.h) on the wide
// command line (GetCommandLineW, so arguments in any script arrive whole, as UTF-8), with
// Windows' ways (the player's window or the media keys, a message box for what no one
// reads on standard error, a Win32 window and its message loop). Returns the process's
// exit status.
int RunProgram();
