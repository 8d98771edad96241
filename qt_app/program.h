#pragma once

// The Linux program: command line, then the console runner or the window (display check,
// application object, the window and its receiver, the event loop). Returns the process's
// exit status.
int RunProgram(int argc, char** argv);
