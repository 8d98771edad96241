#pragma once

#include <chrono>
#include <functional>

// Linking qt_environment.cpp into a test program gives it one application object for all
// its tests (offscreen, as the test helper sets).

// Processes events until done() holds or the deadline passes; returns done().
bool ProcessEventsUntil(const std::function<bool()>& done,
                        std::chrono::milliseconds deadline = std::chrono::seconds(20));
