#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "source/key_source.h"

// What lircd sends its clients, taken apart: a line per decoded button,
// "CODE REPEAT BUTTON REMOTE" (the code and the repeat count in hex; a count of 0 is a press,
// more is a repeat of a held key), and reply blocks from BEGIN to END (answers to commands,
// and the broadcast after lircd rereads its configuration). A button or remote whose name
// breaks the rule for key names (Key::WhyNotAName) is no key. Anything else is junk, of a kind
// the caller can say once: it never becomes a key, and a line too long is dropped whole. A
// button line inside a block ends it: no reply holds one, so the block was never ended.
class LircdLineDecoder {
  public:
    // lircd's own longest line; no button line comes near it.
    static constexpr std::size_t LongestLine = 256;
    // A reply block longer than this is no reply: its lines are taken as lines again.
    static constexpr int LongestReplyBlock = 64;

    enum class Junk { ReplyBlock, Malformed, TooLong, Binary, UnendedBlock, BadName };
    struct Line {
        std::optional<KeyEvent> event;  // else junk
        Junk junk = Junk::Malformed;
    };

    // Takes bytes as they come, in pieces of any size; appends the outcome of each line
    // they complete to lines.
    void Feed(std::string_view bytes, std::vector<Line>& lines);
    // Forgets a line begun and a block open: the connection they came on is gone.
    void Reset();

    // What a kind of junk is, for the log.
    static const char* Describe(Junk junk);

  private:
    void Complete(std::vector<Line>& lines);
    // A button line's key event, or the junk it is: Malformed when line is no button line.
    static Line ButtonLine(std::string_view line);

    std::string partial_;
    bool overlong_ = false;  // the line being read is already too long: dropped to its end
    int blockLines_ = -1;    // lines into a reply block, or -1 outside one
};
