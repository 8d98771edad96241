#pragma once

#include <cstdint>
#include <vector>

#include "serial/serial_event_decoder.h"

// What the serial line makes of bytes as its tty hands them over (marked: a data 0xFF
// doubled, a line error 0xFF 0x00 0x00): for feeding the cycle a receiver's stream.
inline std::vector<SourceItem> SerialItems(const std::vector<std::uint8_t>& bytes) {
    SerialEventDecoder decoder("/dev/ttyFAKE0");
    std::vector<SourceItem> items;
    decoder.Feed(bytes, items);
    return items;
}
