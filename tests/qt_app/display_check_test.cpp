#include "qt_app/display_check.h"

#include <gtest/gtest.h>

#include <map>
#include <ostream>
#include <string>

namespace {

struct DisplayCase {
    std::map<std::string, std::string> environment;
    bool missing;
};

void PrintTo(const DisplayCase& c, std::ostream* os) {
    for (const auto& [name, value] : c.environment) {
        *os << name << "='" << value << "' ";
    }
}

class DisplayCheck : public ::testing::TestWithParam<DisplayCase> {};

TEST_P(DisplayCheck, KnowsWhenThereIsNoDisplay) {
    const auto& environment = GetParam().environment;
    const auto reason = MissingDisplayReason([&](const char* name) -> const char* {
        const auto found = environment.find(name);
        return found == environment.end() ? nullptr : found->second.c_str();
    });
    EXPECT_EQ(reason.has_value(), GetParam().missing);
    if (reason) {
        EXPECT_EQ(reason->find('\n'), std::string::npos);
    }
}

INSTANTIATE_TEST_SUITE_P(Cases, DisplayCheck,
                         ::testing::Values(DisplayCase{{}, true},
                                           DisplayCase{{{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}},
                                                       true},
                                           DisplayCase{{{"HOME", "/root"}}, true},
                                           DisplayCase{{{"DISPLAY", ":0"}}, false},
                                           DisplayCase{{{"WAYLAND_DISPLAY", "wayland-0"}}, false},
                                           DisplayCase{{{"QT_QPA_PLATFORM", "offscreen"}}, false}));

}  // namespace
