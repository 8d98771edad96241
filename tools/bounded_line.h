#pragma once

#include <cstddef>
#include <istream>
#include <string>

// Reads one line (without its newline) from in, keeping at most limit characters of it:
// the rest of a longer line is read and thrown away, so a line without end costs no more
// memory than limit. False at the end of input with nothing read. tooLong says whether
// characters were thrown away.
bool ReadBoundedLine(std::istream& in, std::string& line, std::size_t limit, bool& tooLong);
