#include "receiver/key_code_table.h"

#include <algorithm>

namespace {

template <std::size_t N>
const KeyCode* Find(const std::array<KeyCode, N>& table, int code) {
    const auto row = std::find_if(table.begin(), table.end(),
                                  [code](const KeyCode& k) { return k.code == code; });
    return row == table.end() ? nullptr : &*row;
}

}  // namespace

std::string DecimalText(int value) {
    return std::to_string(value);
}

KeyEvent DecodeKeyEvent(int prefix, int code) {
    if (prefix == RepeatPrefix) {
        if (const KeyCode* row = Find(RepeatCodeTable, code)) {
            return {row->text, row->command};
        }
        return {RepeatText + DecimalText(code), std::nullopt};
    }
    if (const KeyCode* row = Find(KeyCodeTable, code)) {
        return {row->text, row->command};
    }
    return {DecimalText(code), std::nullopt};
}
