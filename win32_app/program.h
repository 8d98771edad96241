#pragma once

// The Windows program: command line, then the console runner or the window and its
// message loop. Returns the process's exit status.
int RunProgram(int argc, char** argv);
