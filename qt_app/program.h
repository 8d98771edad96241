#pragma once

// The Linux program: the shared RunProgram (program/program_skeleton.h) with Linux's ways
// (MPRIS players; a window that needs a display, a Qt application object and Qt's event
// loop). Returns the process's exit status.
int RunProgram(int argc, char** argv);
