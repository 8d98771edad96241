#pragma once

// The Windows program: command line (the wide one, GetCommandLineW, so arguments in any
// script arrive whole, as UTF-8), then the console runner or the window and its message
// loop. Returns the process's exit status.
int RunProgram();
