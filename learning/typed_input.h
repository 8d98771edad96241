#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/event_loop.h"

// What the user types at the terminal, a line at a time, read on the loop the learner waits
// on for key presses: no thread is left blocked on the terminal. posix_typed_input.cpp
// watches the descriptor on the loop (a regular file, which epoll takes none of, is read
// when asked: that never blocks); win32_typed_input.cpp takes the console's input events in
// the loop's wait, a line edited and echoed as the console would, looks into a pipe at a
// short interval, and reads a file when asked. Used on one thread.
class TypedInput {
  public:
    virtual ~TypedInput() = default;

    // From now on, typed runs on loop's thread whenever a line, or the end of typing, is
    // there to take; until Detach, which comes before loop goes.
    virtual void Attach(EventLoop& loop, std::function<void()> typed) = 0;
    virtual void Detach() = 0;
    // The next line typed whole, without its line end; none while none is there.
    virtual std::optional<std::string> Take() = 0;
    // Whether typing has ended, every line taken.
    virtual bool Ended() = 0;
    // Waits for the next line, for a question asked with no loop running; none at the end.
    virtual std::optional<std::string> WaitLine() = 0;
};

// Standard input's.
std::unique_ptr<TypedInput> MakeStandardInput();

#ifndef _WIN32
// What is typed into descriptor fd (a pipe, a terminal), which stays open.
std::unique_ptr<TypedInput> MakeTypedInput(int fd);
#endif
