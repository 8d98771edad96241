#include "program/line_copy.h"

#include <gtest/gtest.h>

namespace {

// A held key's line gives its code; every other line is copied as shown.
TEST(LineCopy, AHeldKeysLineGivesItsCodeAlone) {
    EXPECT_EQ(CopiedLine("  >>REP>>SAMSUNG_E0E0E01F"), "SAMSUNG_E0E0E01F");
    for (const char* line : {"PANASONIC_40040100BCBD", ">>REP>>96", "  >>REP>>", "Err"}) {
        EXPECT_EQ(CopiedLine(line), line);
    }
}

}  // namespace
