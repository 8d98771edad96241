#include "source/key.h"

#include <cstdio>

#include "text/number_text.h"

std::string Key::Text() const {
    switch (GetKind()) {
        case Kind::Code:
            return DecimalText(CodeValue());
        case Kind::Name:
            return NameValue();
        case Kind::Scancode:
            break;
    }
    char hex[12];
    std::snprintf(hex, sizeof hex, "0x%x", static_cast<unsigned>(ScancodeValue()));
    return std::string(ScanPrefix) + hex;
}
