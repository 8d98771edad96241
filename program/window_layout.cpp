#include "program/window_layout.h"

const std::string& WindowLayout::Caption() {
    static const std::string caption = CaptionFor(QUORVEL_VERSION);
    return caption;
}

std::string WindowLayout::CaptionFor(std::string_view version) {
    const std::size_t major = version.find('.');
    const std::size_t minor =
        major == std::string_view::npos ? major : version.find('.', major + 1);
    return "Quorvel V" + std::string(version.substr(0, minor));
}
