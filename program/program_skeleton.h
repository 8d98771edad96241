#pragma once

#include <string>
#include <vector>

#include "program/program_platform.h"

// The program, both platforms': args (UTF-8, without the program's name) parsed with the
// default settings file, the command done, then the receiver in the console or in the
// window. Returns the process's exit status.
int RunProgram(const std::vector<std::string>& args, ProgramPlatform& platform);
