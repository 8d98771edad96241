#include "rawinput/hidp_report_parser.h"

#include <windows.h>

extern "C" {
// hidsdi.h brings hidpi.h with the types it needs.
#include <hidsdi.h>
}

namespace {

PHIDP_PREPARSED_DATA Parsed(std::vector<std::uint8_t>& data) {
    return reinterpret_cast<PHIDP_PREPARSED_DATA>(data.data());
}

}  // namespace

std::unique_ptr<HidpReportParser> HidpReportParser::Make(std::vector<std::uint8_t> preparsed) {
    HIDP_CAPS caps{};
    if (preparsed.empty() || HidP_GetCaps(Parsed(preparsed), &caps) != HIDP_STATUS_SUCCESS) {
        return nullptr;
    }
    // A collection's fields either all have report IDs or none has.
    bool reportIds = false;
    if (USHORT count = caps.NumberInputButtonCaps; count > 0) {
        std::vector<HIDP_BUTTON_CAPS> buttons(count);
        if (HidP_GetButtonCaps(HidP_Input, buttons.data(), &count, Parsed(preparsed)) ==
                HIDP_STATUS_SUCCESS &&
            count > 0) {
            reportIds = buttons.front().ReportID != 0;
        }
    }
    const ULONG most = HidP_MaxUsageListLength(HidP_Input, 0, Parsed(preparsed));
    return std::unique_ptr<HidpReportParser>(
        new HidpReportParser(std::move(preparsed), reportIds, most));
}

std::uint8_t HidpReportParser::ReportId(std::span<const std::uint8_t> report) const {
    return reportIds_ && !report.empty() ? report.front() : 0;
}

void HidpReportParser::UsagesOn(std::span<const std::uint8_t> report, std::vector<HidUsage>& on) {
    on.clear();
    if (most_ == 0 || report.empty()) {
        return;
    }
    // The parser takes the report as writable.
    report_.assign(report.begin(), report.end());
    std::vector<USAGE_AND_PAGE> usages(most_);
    ULONG count = most_;
    if (HidP_GetUsagesEx(HidP_Input, 0, usages.data(), &count, Parsed(preparsed_), report_.data(),
                         static_cast<ULONG>(report_.size())) != HIDP_STATUS_SUCCESS) {
        return;
    }
    for (ULONG i = 0; i < count; ++i) {
        on.push_back({usages[i].UsagePage, usages[i].Usage});
    }
}
