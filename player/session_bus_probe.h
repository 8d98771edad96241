#pragma once

#include <chrono>

// Whether the session bus (as sd-bus finds it) completes a handshake within limit: asked on
// the calling thread, before a toolkit that would wait on the bus unbounded is started.
bool SessionBusAnswers(std::chrono::milliseconds limit);
