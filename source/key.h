#pragma once

#include <compare>
#include <cstdint>
#include <string>
#include <variant>

// A key as its source names it: a byte code 0-255 (the serial receiver's), a kernel key
// name (KEY_PLAYPAUSE) or a scancode. Keys of different kinds are never equal; keys order
// codes first, then names, then scancodes.
class Key {
  public:
    enum class Kind { Code, Name, Scancode };

    // code must be 0..255.
    static Key Code(int code) { return Key(Value(std::in_place_index<0>, code)); }
    static Key Name(std::string name) {
        return Key(Value(std::in_place_index<1>, std::move(name)));
    }
    static Key Scancode(std::uint32_t scancode) {
        return Key(Value(std::in_place_index<2>, Scan{scancode}));
    }

    Kind GetKind() const { return static_cast<Kind>(value_.index()); }
    // Each only for a key of its kind.
    int CodeValue() const { return std::get<0>(value_); }
    const std::string& NameValue() const { return std::get<1>(value_); }
    std::uint32_t ScancodeValue() const { return std::get<2>(value_).value; }

    // How the history and the key map show it: "96", "KEY_PLAYPAUSE", "scan:0x800f0422".
    std::string Text() const;

    auto operator<=>(const Key&) const = default;
    bool operator==(const Key&) const = default;

  private:
    struct Scan {
        std::uint32_t value;
        auto operator<=>(const Scan&) const = default;
    };
    using Value = std::variant<int, std::string, Scan>;
    explicit Key(Value value) : value_(std::move(value)) {}

    Value value_;
};
