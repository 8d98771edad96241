#pragma once

#include <cstdint>
#include <vector>

class Pty;

// Polls until the receiver has put its port into raw mode. It empties the input queues
// before that, so bytes sent earlier may be dropped or cooked by the line discipline.
bool WaitForRawReader(const Pty& port);

// Writes every byte into fd (a pty master or slave, made non-blocking here), a chunk at a
// time and only when poll says there is room, so the terminal's buffer never overflows.
// False on an error, a hang-up, or when no byte could be written for a generous while.
bool WritePaced(int fd, const std::vector<std::uint8_t>& bytes);
