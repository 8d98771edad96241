#pragma once

// --learn and --find-port talk with the user in a console. Started without one (by a
// scheduled task, a program without a console, a detached start), they would wait or
// end unseen, as --console would print unseen.

// Whether standard output goes somewhere: a console, a file or a pipe (not nothing, nor
// NUL).
bool StandardOutputGoesSomewhere();

// Gives the program a console to talk in when it has none and its standard input was not
// given it (a pipe or a file, which the starter chose): the console of the program that
// started it, else one of its own, with standard input, output and error on it. False
// when no console could be had.
bool EnsureConsole();

// Whether the console is this program's alone, so that it goes, unread, when the program
// ends; then asks for Enter before the program ends.
void KeepOwnConsoleUntilRead();
