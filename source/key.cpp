#include "source/key.h"

#include <cstdio>

#include "source/number_text.h"

std::string Key::Text() const {
    switch (GetKind()) {
        case Kind::Code:
            return DecimalText(CodeValue());
        case Kind::Name:
            return NameValue();
        case Kind::Scancode:
            break;
    }
    char text[20];
    std::snprintf(text, sizeof text, "scan:0x%x", static_cast<unsigned>(ScancodeValue()));
    return text;
}
