#include "keymap/held_alone.h"

#include <gtest/gtest.h>

namespace {

// A held line whose keys have no key line in its section is noted, once, by its line, with
// its keys as the file spells them.
TEST(HeldAlone, NotesAHeldKeyWithoutAPressInItsSection) {
    const struct {
        const char* text;
        std::vector<std::string> notes;
    } cases[] = {
        {"key 80 volume-up\nheld 80 volume-up\n", {}},
        {"key 80 nothing\nheld 80 volume-up\n", {}},
        {"# mine\nheld 80 volume-up every=2\n",
         {"k:2: note: 80 has a held binding and no key binding: a single press does nothing"}},
        {"held 80,0x51 volume-up\nkey 81 play\nheld 0x52 mute\n",
         {"k:1: note: 80 has a held binding and no key binding: a single press does nothing",
          "k:3: note: 0x52 has a held binding and no key binding: a single press does "
          "nothing"}},
        // A key bound in a section falls through in none of its kinds.
        {"key 80 mute\n[mode=tv]\nheld 80,81 volume-up\n",
         {"k:3: note: 80,81 have a held binding and no key binding in [mode=tv]: a single "
          "press does nothing"}},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(HeldAloneNotes(KeyMapDocument(c.text, "k"), "k"), c.notes) << c.text;
    }
}

}  // namespace
