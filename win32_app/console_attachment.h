#pragma once

// --console, --learn and --find-port talk with the user in a console, or write where their
// output was sent. Started without either (by a scheduled task, a program without a
// console, a detached start), they would wait or end unseen.

// Whether standard output goes somewhere: a console, a file or a pipe (not nothing, nor
// NUL).
bool StandardOutputGoesSomewhere();
// Whether standard output was given at all: somewhere, or a device the user chose (NUL:
// "quorvel --console > NUL" from Command Prompt), not the nothing of a detached start.
bool StandardOutputGiven();

// Gives the program a console to talk in when it has none and its standard output goes
// nowhere: the console of the program that started it, else one of its own, with the
// standard handles that went nowhere on it (those the starter chose are kept). False
// when no console could be had.
bool EnsureConsole();

// When the console is this program's alone, so that it goes, unread, when the program
// ends, and the program reads and writes it: asks for Enter before the program ends.
void KeepOwnConsoleUntilRead();
