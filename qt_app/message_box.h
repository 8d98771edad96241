#pragma once

#include <string>

// Whether what goes to standard error reaches someone: a terminal. A program started from
// the desktop (its menu, autostart) writes it to the journal or a file no one reads then.
bool StandardErrorIsSeen();

// Shows UTF-8 text in a message box titled "Quorvel" and waits for the user to close it. A
// text too tall for the screen shows its first lines (FitForBox), and all of it under the
// box's Show Details. Needs the application object.
void ShowMessageBox(const std::string& text, bool error);
