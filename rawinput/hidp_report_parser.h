#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <utility>
#include <vector>

#include "hid/media_keys.h"

// One HID collection's input reports, read by Windows' HID parser over the preparsed data
// Raw Input gives for it: the report's ID, and the usages it has on (HidP_GetUsagesEx: its
// buttons and arrays, of every page), as HidKeyDecoder takes them. Value fields (a
// volume's level) carry no keys, as on Linux. Every HidP_ call is in hidp_report_parser.cpp.
class HidpReportParser {
  public:
    // Null when the data is no collection the parser can read.
    static std::unique_ptr<HidpReportParser> Make(std::vector<std::uint8_t> preparsed);

    // 0 for a collection without report IDs.
    std::uint8_t ReportId(std::span<const std::uint8_t> report) const;
    // Replaces on with the usages the report has on; none for a report the collection
    // does not know.
    void UsagesOn(std::span<const std::uint8_t> report, std::vector<HidUsage>& on);

  private:
    HidpReportParser(std::vector<std::uint8_t> preparsed, bool reportIds, unsigned long most)
        : preparsed_(std::move(preparsed)), reportIds_(reportIds), most_(most) {}

    std::vector<std::uint8_t> preparsed_;
    bool reportIds_;
    unsigned long most_;  // the most usages a report can have on
    std::vector<char> report_;
};
