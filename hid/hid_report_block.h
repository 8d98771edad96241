#pragma once

#include <cstddef>

// How many whole reports a block of HID input holds, as Raw Input hands it over: size bytes
// in all, the reports from offset on, each reportSize bytes, count of them said. Never more
// than the bytes hold, however the block's own numbers disagree with its size.
std::size_t WholeReports(std::size_t size, std::size_t offset, std::size_t reportSize,
                         std::size_t count);
