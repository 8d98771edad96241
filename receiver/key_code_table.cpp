#include "receiver/key_code_table.h"

std::string DecimalText(int value) {
    return std::to_string(value);
}
