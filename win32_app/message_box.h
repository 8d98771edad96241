#pragma once

#include <string>

// Whether what goes to standard error reaches someone: a file or a pipe, or a console this
// program shares with the one that started it. A console Windows made for this program
// alone (started from Explorer, a shortcut, the Run key) goes with it, unread. Call before
// the program leaves its console.
bool StandardErrorIsSeen();

// Shows UTF-8 text in a message box titled "Quorvel" and waits for the user to close it.
void ShowMessageBox(const std::string& text, bool error);
