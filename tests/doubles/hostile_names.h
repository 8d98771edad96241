#pragma once

#include <string>
#include <vector>

// Key names that must never become keys, whatever the source: each breaks the rule for
// names read from outside (Key::WhyNotAName), and each would forge or garble a line.
inline std::vector<std::string> HostileNames() {
    return {
        "\x1b[2J\x1b[31mPWNED",  // clears the terminal, red
        "A\nFAKE LINE",          // a second line
        "A\rPLAY!",              // overwrites its own line
        "A\x7f",                 // DEL
        "A\xc2\x9b"
        "31m",  // C1 CSI, in UTF-8
        "A\x9b"
        "31m",                // 8-bit CSI: no UTF-8
        "A\xe2\x80\xaeKCOL",  // right-to-left override
        "A\xe2\x81\xa6"
        "B",  // left-to-right isolate
        "A\xe2\x80\xa8"
        "B",                   // line separator
        "A\xc0\x80",           // an overlong NUL
        "A\xed\xa0\x80",       // a surrogate
        std::string(65, 'K'),  // over 64 bytes
    };
}
