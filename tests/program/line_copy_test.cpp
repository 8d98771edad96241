#include "program/line_copy.h"

#include <gtest/gtest.h>

#include <utility>

namespace {

// A held key's line gives its code; every other line is copied as shown.
TEST(LineCopy, AHeldKeysLineGivesItsCodeAlone) {
    for (const auto& [line, copied] :
         {std::pair{"  >>REP>>SAMSUNG_E0E0E01F", "SAMSUNG_E0E0E01F"},
          std::pair{"  >>REP>>96", "96"},
          std::pair{"PANASONIC_40040100BCBD", "PANASONIC_40040100BCBD"},
          std::pair{">>REP>>96", ">>REP>>96"}, std::pair{"  >>REP>>", "  >>REP>>"},
          std::pair{"Err", "Err"}, std::pair{"", ""}}) {
        EXPECT_EQ(CopiedLine(line), copied) << line;
    }
}

}  // namespace
