#include "hid/hook_facts.h"

void HookFacts::SetReport(unsigned virtualKey, bool held, std::optional<std::uint32_t> ended) {
    if (virtualKey < reports_.size()) {
        reports_[virtualKey] = (held ? Held : 0) | (ended ? Ended | *ended : 0);
    }
}

bool HookFacts::Reporting(unsigned virtualKey, std::uint32_t time, std::uint32_t window) const {
    if (virtualKey >= reports_.size()) {
        return false;
    }
    const std::uint64_t report = reports_[virtualKey];
    const auto ended = static_cast<std::uint32_t>(report);
    // The times wrap: either side of the end, within the window.
    return (report & Held) != 0 ||
           ((report & Ended) != 0 && (static_cast<std::uint32_t>(time - ended) <= window ||
                                      static_cast<std::uint32_t>(ended - time) <= window));
}
