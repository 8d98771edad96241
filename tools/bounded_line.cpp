#include "tools/bounded_line.h"

bool ReadBoundedLine(std::istream& in, std::string& line, std::size_t limit, bool& tooLong) {
    line.clear();
    tooLong = false;
    std::streambuf* buffer = in.rdbuf();
    bool any = false;
    for (;;) {
        const auto next = buffer->sbumpc();
        if (next == std::char_traits<char>::eof()) {
            in.setstate(std::ios::eofbit);
            return any;
        }
        any = true;
        if (next == '\n') {
            return true;
        }
        if (line.size() < limit) {
            line += static_cast<char>(next);
        } else {
            tooLong = true;
        }
    }
}
