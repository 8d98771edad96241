#include "hid/hid_key_decoder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// The tests' stand-in for Windows' HID parser: the input fields of a report descriptor (the
// items these devices use: usage page, usages and their ranges, report ID, size and count,
// logical range, Input as array or variable, collections), and the usages a report has on,
// as HidP_GetUsages gives them. Array slots are read as they come, usage 0 too.
struct Field {
    unsigned reportId, bit, size, count;  // bit: where it starts, after the report's ID
    bool variable;
    std::int32_t logicalMin, logicalMax;
    std::vector<std::uint32_t> usages;  // page << 16 | usage
};

std::vector<Field> InputFields(const Bytes& d) {
    std::vector<Field> fields;
    std::map<unsigned, unsigned> bits;  // each report's length so far
    Field field{};
    std::uint32_t page = 0;
    std::uint32_t usageMin = 0;
    for (std::size_t i = 0; i < d.size(); i += 1 + ((d[i] & 3) == 3 ? 4 : d[i] & 3)) {
        const unsigned length = (d[i] & 3) == 3 ? 4 : d[i] & 3;
        std::uint32_t data = 0;
        for (unsigned b = 0; b < length; ++b) {
            data |= std::uint32_t{d.at(i + 1 + b)} << 8 * b;
        }
        const std::int32_t signedData = length == 1   ? static_cast<std::int8_t>(data)
                                        : length == 2 ? static_cast<std::int16_t>(data)
                                                      : static_cast<std::int32_t>(data);
        const std::uint32_t usage = length == 4 ? data : page << 16 | data;
        // One item a line.
        // clang-format off
        switch (d[i] & 0xFC) {
            case 0x04: page = data; break;                     // Usage Page
            case 0x14: field.logicalMin = signedData; break;   // Logical Minimum
            case 0x24: field.logicalMax = signedData; break;   // Logical Maximum
            case 0x74: field.size = data; break;               // Report Size
            case 0x84: field.reportId = data; break;           // Report ID
            case 0x94: field.count = data; break;              // Report Count
            case 0x08: field.usages.push_back(usage); break;   // Usage
            case 0x18: usageMin = usage; break;                // Usage Minimum
            // clang-format on
            case 0x28:  // Usage Maximum
                for (std::uint32_t u = usageMin; u <= usage; ++u) {
                    field.usages.push_back(u);
                }
                break;
            case 0x80:  // Input; a constant one is padding
                field.bit = bits[field.reportId];
                field.variable = (data & 2) != 0;
                if ((data & 1) == 0) {
                    fields.push_back(field);
                }
                bits[field.reportId] += field.size * field.count;
                [[fallthrough]];
            case 0xA0:  // Collection and End Collection use up the usages too
            case 0xC0:
                field.usages.clear();
        }
    }
    return fields;
}

std::uint32_t Bits(const Bytes& report, unsigned first, unsigned count) {
    std::uint32_t value = 0;
    for (unsigned i = 0; i < count; ++i) {
        const unsigned bit = first + i;
        value |= (bit / 8 < report.size() ? report[bit / 8] >> bit % 8 & 1u : 0u) << i;
    }
    return value;
}

unsigned ReportId(const std::vector<Field>& fields, const Bytes& report) {
    return fields.front().reportId != 0 ? report.at(0) : 0;
}

std::vector<HidUsage> UsagesOn(const std::vector<Field>& fields, const Bytes& report) {
    const unsigned id = ReportId(fields, report);
    std::vector<HidUsage> on;
    for (const Field& f : fields) {
        for (unsigned i = 0; f.reportId == id && i < f.count; ++i) {
            const std::int64_t value = Bits(report, (id != 0 ? 8 : 0) + f.bit + i * f.size, f.size);
            const std::int64_t index =
                f.variable ? std::min<std::int64_t>(i, f.usages.size() - 1) : value - f.logicalMin;
            if (f.variable ? value != 0 : index >= 0 && value <= f.logicalMax) {
                const std::uint32_t usage = f.usages.at(index);
                on.push_back(
                    {static_cast<std::uint16_t>(usage >> 16), static_cast<std::uint16_t>(usage)});
            }
        }
    }
    return on;
}

std::string Shown(const KeyEvent& event) {
    return (event.action == KeyAction::Press ? "down " : "up ") + event.key.Text() +
           (event.scancode ? "/" + Key::Scancode(*event.scancode).Text() : std::string());
}

// Typical devices' descriptors; an empty report stands for the device's removal.
TEST(HidKeyDecoder, TurnsRecordedReportsIntoKeys) {
    const struct {
        const char* device;
        Bytes descriptor;
        std::vector<std::pair<Bytes, std::vector<std::string>>> reports;
    } cases[] = {
        {"a USB media remote: consumer control, two 16-bit array slots, no report IDs",
         {0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,  // Usage Page (Consumer), Usage (Consumer Control)
          0x15, 0x00, 0x26, 0x9C, 0x02,        // Logical Minimum (0), Logical Maximum (0x29C)
          0x19, 0x00, 0x2A, 0x9C, 0x02,        // Usage Minimum (0), Usage Maximum (0x29C)
          0x75, 0x10, 0x95, 0x02, 0x81, 0x00, 0xC0},  // 2 x 16 bits, Input (Array)
         {{{0xCD, 0, 0, 0}, {"down KEY_PLAYPAUSE/scan:0xc00cd"}},
          {{0, 0, 0, 0}, {"up KEY_PLAYPAUSE/scan:0xc00cd"}},
          {{0xB5, 0, 0xE9, 0},
           {"down KEY_NEXTSONG/scan:0xc00b5", "down KEY_VOLUMEUP/scan:0xc00e9"}},
          {{0xE9, 0, 0x9F, 0}, {"up KEY_NEXTSONG/scan:0xc00b5", "down scan:0xc009f"}},
          {{}, {"up KEY_VOLUMEUP/scan:0xc00e9", "up scan:0xc009f"}}}},
        {"an RF media center remote's receiver: the MCE collection, beside its consumer one",
         {0x06, 0xBC, 0xFF, 0x09, 0x88, 0xA1, 0x01,   // Usage Page (0xFFBC), Usage (0x88)
          0x85, 0x02, 0x19, 0x01, 0x29, 0xFF,         // Report ID (2), Usages 1-0xFF
          0x15, 0x01, 0x26, 0xFF, 0x00,               // Logical Minimum (1), Maximum (0xFF)
          0x75, 0x08, 0x95, 0x01, 0x81, 0x00, 0xC0},  // 1 x 8 bits, Input (Array)
         {{{0x02, 0x0D}, {"down KEY_MEDIA/scan:0xffbc000d"}},
          {{0x02, 0x00}, {"up KEY_MEDIA/scan:0xffbc000d"}}}},
        {"a keyboard with media keys: keyboard (ID 1), consumer (ID 2), system control (ID 3)",
         {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01,              // Keyboard, Report ID (1)
          0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,  // modifiers 0xE0-0xE7
          0x75, 0x01, 0x95, 0x08, 0x81, 0x02,              // 8 x 1 bit, Input (Variable)
          0x75, 0x08, 0x95, 0x01, 0x81, 0x01,              // a reserved byte, Input (Constant)
          0x19, 0x00, 0x29, 0x65, 0x25, 0x65,              // keys 0-0x65, Logical Maximum (0x65)
          0x95, 0x06, 0x81, 0x00, 0xC0,                    // 6 x 8 bits, Input (Array)
          0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01, 0x85, 0x02,  // Consumer Control, Report ID (2)
          0x19, 0x00, 0x2A, 0x3C, 0x02, 0x26, 0x3C, 0x02,  // Usages 0-0x23C, Logical Max (0x23C)
          0x75, 0x10, 0x95, 0x01, 0x81, 0x00, 0xC0,        // 1 x 16 bits, Input (Array)
          0x05, 0x01, 0x09, 0x80, 0xA1, 0x01, 0x85, 0x03,  // System Control, Report ID (3)
          0x19, 0x81, 0x29, 0x83, 0x25, 0x01,              // Usages 0x81-0x83, Logical Max (1)
          0x75, 0x01, 0x95, 0x03, 0x81, 0x02,              // 3 x 1 bit, Input (Variable)
          0x95, 0x05, 0x81, 0x01, 0xC0},                   // padding
         {{{0x02, 0xE2, 0x00}, {"down KEY_MUTE/scan:0xc00e2"}},
          {{0x01, 0x02, 0, 0x04, 0, 0, 0, 0, 0}, {"down scan:0x700e1", "down scan:0x70004"}},
          {{0x01, 0, 0, 0, 0, 0, 0, 0, 0}, {"up scan:0x700e1", "up scan:0x70004"}},
          {{0x03, 0x02}, {"down KEY_SLEEP/scan:0x10082"}},
          {{0x02, 0x00, 0x00}, {"up KEY_MUTE/scan:0xc00e2"}},
          {{}, {"up KEY_SLEEP/scan:0x10082"}}}},
    };
    for (const auto& c : cases) {
        const std::vector<Field> fields = InputFields(c.descriptor);
        HidKeyDecoder decoder;
        for (const auto& [report, keys] : c.reports) {
            std::vector<KeyEvent> out;
            if (report.empty()) {
                decoder.ReleaseAll(out);
            } else {
                decoder.Take(static_cast<std::uint8_t>(ReportId(fields, report)),
                             UsagesOn(fields, report), out);
            }
            std::vector<std::string> shown;
            for (const KeyEvent& event : out) {
                shown.push_back(Shown(event));
            }
            EXPECT_EQ(shown, keys) << c.device << ": " << testing::PrintToString(report);
        }
        EXPECT_FALSE(decoder.AnyKeyDown()) << c.device;
    }
}

TEST(MediaKeys, NameWindowsVirtualKeys) {
    EXPECT_EQ(FindMediaKeyByVirtualKey(0xB3)->name, "KEY_PLAYPAUSE");
    EXPECT_EQ(FindMediaKeyByVirtualKey(0x41), nullptr);
}

}  // namespace
