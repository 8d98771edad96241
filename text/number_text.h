#pragma once

#include <optional>
#include <string>
#include <string_view>

// A byte value as decimal text: no padding, "-" for negatives.
std::string DecimalText(int value);

// A number as codes and counts are written in key maps and scripts: the whole word,
// decimal or 0x hexadecimal, no sign. None for anything else.
std::optional<unsigned long> ParseNumber(std::string_view word);
