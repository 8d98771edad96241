#pragma once

#include <nlohmann/json.hpp>

#include <optional>
#include <string>
#include <string_view>

// How an IR bridge's JSON names a code, as the key PROTOCOL_HEX: the protocol in capitals,
// the code in capital hex without 0x, as many digits as its bits take. So the same code has
// the same name from Tasmota and OpenMQTTGateway, and a key map line takes it bare.

// The most bits a code may have: what a protocol carries as one number.
constexpr unsigned LongestCodeBits = 64;

// The protocol as a key name starts: capitals, digits and _ only, starting with a letter.
std::string ProtocolName(std::string_view protocol);
// A code's capital hex digits, as many as bits take (at least one); none when value is no
// code: an unsigned number, or text in decimal or 0x hex, of at most LongestCodeBits bits.
std::optional<std::string> CodeHex(const nlohmann::json& value, unsigned bits);
// A count given as an unsigned number up to most, or 0 when there is none; none when it
// is there but no such count.
std::optional<unsigned> Count(const nlohmann::json& object, const char* field, unsigned most);
// NEC's repeat frame, as the bridges report it: no bits, or a code of all ones.
bool NecRepeatFrame(const std::string& protocol, unsigned bits,
                    const std::optional<std::string>& hex);
// The field's text, when it is text.
const std::string* TextField(const nlohmann::json& object, const char* field);
