#pragma once

#include <cstdint>
#include <map>
#include <span>
#include <vector>

#include "hid/media_keys.h"
#include "source/key_source.h"

// Turns one HID collection's input reports into key events. Each report is given as the
// usages it has on, those of its buttons and arrays (what HidP_GetUsages reads): a usage
// that appears is a press, one that goes a release. A usage is named as the kernel names it
// (MediaKeys), with its scancode; one the table does not name is its scancode alone. Usage
// 0, an array's "nothing", is no key. Each report ID has fields of its own, so what is down
// is kept per ID: a report of one ID releases nothing of another. HID repeats nothing.
class HidKeyDecoder {
  public:
    // reportId is 0 for a collection without report IDs. Appends the releases, then the
    // presses, the report makes.
    void Take(std::uint8_t reportId, std::span<const HidUsage> on, std::vector<KeyEvent>& out);
    // The device went away: every key still down goes up.
    void ReleaseAll(std::vector<KeyEvent>& out);
    bool AnyKeyDown() const { return !down_.empty(); }

  private:
    // The usages down under each report ID that has any, in the order they went down.
    std::map<std::uint8_t, std::vector<HidUsage>> down_;
};
