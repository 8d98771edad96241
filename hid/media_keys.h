#pragma once

#include <array>
#include <compare>
#include <cstdint>
#include <string_view>

// A HID usage: its page and its number on that page.
struct HidUsage {
    std::uint16_t page;
    std::uint16_t usage;

    // How the kernel reports it with the key (MSC_SCAN), and so how a key it does not name
    // is known on every platform: 0x000c00b5.
    constexpr std::uint32_t Scancode() const { return std::uint32_t{page} << 16 | usage; }

    auto operator<=>(const HidUsage&) const = default;
};

namespace HidPage {
inline constexpr std::uint16_t GenericDesktop = 0x01;  // its system control usages
inline constexpr std::uint16_t Consumer = 0x0C;
// Microsoft's vendor page of the MCE remotes' own buttons (collection usage 0x88).
inline constexpr std::uint16_t MceRemote = 0xFFBC;
}  // namespace HidPage

// A media or remote key as every platform names it: by the Linux kernel's key name, which
// key maps bind, whatever reads the key.
struct MediaKey {
    std::string_view name;
    // The usage the kernel names so.
    HidUsage hid;
    // Windows' virtual-key code for the key, 0 where it has none.
    std::uint8_t virtualKey = 0;
};

// One row a usage, as the kernel's HID input layer names them (hid-input; the MCE page's
// keys as its drivers for MCE remotes do, hid-topseed, since hid-input leaves that page
// alone). A name may have several usages; no usage and no virtual key is in two rows.
inline constexpr std::array MediaKeys{
    MediaKey{"KEY_POWER", {HidPage::Consumer, 0x30}},
    MediaKey{"KEY_SLEEP", {HidPage::Consumer, 0x32}},
    MediaKey{"KEY_SLEEP", {HidPage::Consumer, 0x34}},
    MediaKey{"KEY_MENU", {HidPage::Consumer, 0x40}},
    MediaKey{"KEY_SELECT", {HidPage::Consumer, 0x41}},
    MediaKey{"KEY_UP", {HidPage::Consumer, 0x42}},
    MediaKey{"KEY_DOWN", {HidPage::Consumer, 0x43}},
    MediaKey{"KEY_LEFT", {HidPage::Consumer, 0x44}},
    MediaKey{"KEY_RIGHT", {HidPage::Consumer, 0x45}},
    MediaKey{"KEY_ESC", {HidPage::Consumer, 0x46}},
    MediaKey{"KEY_INFO", {HidPage::Consumer, 0x60}},
    MediaKey{"KEY_SUBTITLE", {HidPage::Consumer, 0x61}},
    MediaKey{"KEY_RED", {HidPage::Consumer, 0x69}},
    MediaKey{"KEY_GREEN", {HidPage::Consumer, 0x6A}},
    MediaKey{"KEY_BLUE", {HidPage::Consumer, 0x6B}},
    MediaKey{"KEY_YELLOW", {HidPage::Consumer, 0x6C}},
    MediaKey{"KEY_LAST", {HidPage::Consumer, 0x83}},
    MediaKey{"KEY_PC", {HidPage::Consumer, 0x88}},
    MediaKey{"KEY_TV", {HidPage::Consumer, 0x89}},
    MediaKey{"KEY_DVD", {HidPage::Consumer, 0x8B}},
    MediaKey{"KEY_PROGRAM", {HidPage::Consumer, 0x8D}},
    MediaKey{"KEY_EXIT", {HidPage::Consumer, 0x94}},
    MediaKey{"KEY_HELP", {HidPage::Consumer, 0x95}},
    MediaKey{"KEY_CHANNELUP", {HidPage::Consumer, 0x9C}},
    MediaKey{"KEY_CHANNELDOWN", {HidPage::Consumer, 0x9D}},
    MediaKey{"KEY_PLAY", {HidPage::Consumer, 0xB0}},
    MediaKey{"KEY_PAUSE", {HidPage::Consumer, 0xB1}},
    MediaKey{"KEY_RECORD", {HidPage::Consumer, 0xB2}},
    MediaKey{"KEY_FASTFORWARD", {HidPage::Consumer, 0xB3}},
    MediaKey{"KEY_REWIND", {HidPage::Consumer, 0xB4}},
    MediaKey{"KEY_NEXTSONG", {HidPage::Consumer, 0xB5}, 0xB0},      // VK_MEDIA_NEXT_TRACK
    MediaKey{"KEY_PREVIOUSSONG", {HidPage::Consumer, 0xB6}, 0xB1},  // VK_MEDIA_PREV_TRACK
    MediaKey{"KEY_STOPCD", {HidPage::Consumer, 0xB7}, 0xB2},        // VK_MEDIA_STOP
    MediaKey{"KEY_EJECTCD", {HidPage::Consumer, 0xB8}},
    MediaKey{"KEY_SHUFFLE", {HidPage::Consumer, 0xB9}},
    MediaKey{"KEY_MEDIA_REPEAT", {HidPage::Consumer, 0xBC}},
    MediaKey{"KEY_PLAYPAUSE", {HidPage::Consumer, 0xCD}, 0xB3},   // VK_MEDIA_PLAY_PAUSE
    MediaKey{"KEY_MUTE", {HidPage::Consumer, 0xE2}, 0xAD},        // VK_VOLUME_MUTE
    MediaKey{"KEY_VOLUMEUP", {HidPage::Consumer, 0xE9}, 0xAF},    // VK_VOLUME_UP
    MediaKey{"KEY_VOLUMEDOWN", {HidPage::Consumer, 0xEA}, 0xAE},  // VK_VOLUME_DOWN
    MediaKey{"KEY_NEXT", {HidPage::Consumer, 0x1A3}},
    MediaKey{"KEY_PREVIOUS", {HidPage::Consumer, 0x1A4}},
    MediaKey{"KEY_HOMEPAGE", {HidPage::Consumer, 0x223}},
    MediaKey{"KEY_BACK", {HidPage::Consumer, 0x224}},
    MediaKey{"KEY_FORWARD", {HidPage::Consumer, 0x225}},
    MediaKey{"KEY_STOP", {HidPage::Consumer, 0x226}},
    MediaKey{"KEY_REFRESH", {HidPage::Consumer, 0x227}},
    MediaKey{"KEY_POWER", {HidPage::GenericDesktop, 0x81}},
    MediaKey{"KEY_SLEEP", {HidPage::GenericDesktop, 0x82}},
    MediaKey{"KEY_WAKEUP", {HidPage::GenericDesktop, 0x83}},
    MediaKey{"KEY_MEDIA", {HidPage::MceRemote, 0x0D}},   // the green button
    MediaKey{"KEY_MENU", {HidPage::MceRemote, 0x24}},    // DVD menu
    MediaKey{"KEY_TV", {HidPage::MceRemote, 0x25}},      // live TV
    MediaKey{"KEY_MP3", {HidPage::MceRemote, 0x47}},     // music
    MediaKey{"KEY_TV2", {HidPage::MceRemote, 0x48}},     // recorded TV
    MediaKey{"KEY_CAMERA", {HidPage::MceRemote, 0x49}},  // pictures
    MediaKey{"KEY_VIDEO", {HidPage::MceRemote, 0x4A}},   // videos
    MediaKey{"KEY_TEXT", {HidPage::MceRemote, 0x5A}},    // teletext
    MediaKey{"KEY_RED", {HidPage::MceRemote, 0x5B}},
    MediaKey{"KEY_GREEN", {HidPage::MceRemote, 0x5C}},
    MediaKey{"KEY_YELLOW", {HidPage::MceRemote, 0x5D}},
    MediaKey{"KEY_BLUE", {HidPage::MceRemote, 0x5E}},
};

// What the keystrokes Quorvel makes itself carry as their maker's word (Windows'
// dwExtraInfo), so that a key source that meets one never takes it: "QVK1".
inline constexpr std::uintptr_t OwnKeystrokeMark = 0x51564B31;

// The row of a usage or of a virtual key, or null.
const MediaKey* FindMediaKey(HidUsage usage);
const MediaKey* FindMediaKeyByVirtualKey(unsigned virtualKey);

// A key name as the table spells it, for code that names keys itself: a name the table
// does not hold does not compile.
consteval std::string_view MediaKeyName(std::string_view name) {
    for (const MediaKey& key : MediaKeys) {
        if (key.name == name) {
            return key.name;
        }
    }
    throw "not a key name of MediaKeys";
}
