#pragma once

#include <compare>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A key as its source names it: a byte code 0-255 (the serial receiver's), a kernel key
// name (KEY_PLAYPAUSE) or a scancode. Keys of different kinds are never equal; keys order
// codes first, then names, then scancodes.
// A name read from outside (lircd, a broker, a device) keeps one rule whatever its source,
// since it reaches the history, the terminal and other machines: valid UTF-8 of 1 to
// LongestName bytes, every character printable: no C0 or C1 control, no DEL, no
// bidirectional control (U+061C, U+200E-F, U+202A-E, U+2066-9) and no line or paragraph
// separator (U+2028-9). A source makes such a name with FromName, and refuses what it
// refuses.
class Key {
  public:
    enum class Kind { Code, Name, Scancode };
    // What a scancode's text starts with, before its number.
    static constexpr std::string_view ScanPrefix = "scan:";
    // The longest name a source may give a key, in bytes.
    static constexpr std::size_t LongestName = 64;

    // code must be 0..255.
    static Key Code(int code) { return Key(Kind::Code, code, {}, 0); }
    static Key Name(std::string name) { return Key(Kind::Name, 0, std::move(name), 0); }
    static Key Scancode(std::uint32_t scancode) { return Key(Kind::Scancode, 0, {}, scancode); }
    // The named key text names from outside; none, with why, when the rule refuses it.
    static std::optional<Key> FromName(std::string_view text, std::string& why);
    // Why text breaks the rule for names read from outside; empty when it keeps it.
    static std::string WhyNotAName(std::string_view text);

    Kind GetKind() const { return kind_; }
    // Each only for a key of its kind.
    int CodeValue() const { return code_; }
    const std::string& NameValue() const { return name_; }
    std::uint32_t ScancodeValue() const { return scancode_; }

    // How the history and the key map show it: "96", "KEY_PLAYPAUSE", "scan:0x800f0422".
    std::string Text() const;

    // Only the kind's own value is ever set, so comparing all of them compares that one.
    auto operator<=>(const Key&) const = default;
    bool operator==(const Key&) const = default;

  private:
    Key(Kind kind, int code, std::string name, std::uint32_t scancode)
        : kind_(kind), code_(code), name_(std::move(name)), scancode_(scancode) {}

    Kind kind_;
    int code_;
    std::string name_;
    std::uint32_t scancode_;
};
