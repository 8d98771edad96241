#pragma once

#include <string>

// Whether what goes to standard error reaches someone: a file or a pipe, or a console this
// program shares with the one that started it. A console Windows made for this program
// alone (started from Explorer, a shortcut, the Run key) goes with it, unread. Call before
// the program leaves its console.
bool StandardErrorIsSeen();

// text fitted (FitForBox) to a message box on the screen it shows on: as many of its lines
// as the box, wrapping them in its font, has room for within the height of that screen's
// work area, then whereAll.
std::string FitForScreen(const std::string& text, const std::string& whereAll);

// Shows UTF-8 text in a message box titled "Quorvel" and waits for the user to close it.
void ShowMessageBox(const std::string& text, bool error);
