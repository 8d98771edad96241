#pragma once

// The whole program: command line, display check, application object, the window and its
// receiver, the event loop. Returns the process's exit status.
int RunProgram(int argc, char** argv);
