#pragma once

#include <string>
#include <string_view>

// The one window as both programs draw it: its caption, its first line, and where things
// are, in pixels at 96 dots per inch (the Windows window grows them with its monitor's
// scale; the corner stays).
struct WindowLayout {
    struct Box {
        int left;
        int top;
        int width;
        int height;
    };

    static constexpr const char* GreetingLine = "Click to start the fun :)";
    // The frame's outer top-left corner and its client area, which does not resize.
    static constexpr int Left = 330;
    static constexpr int Top = 117;
    static constexpr int ClientWidth = 175;
    static constexpr int ClientHeight = 350;
    // The history list, in the client area, and the height of one of its rows.
    static constexpr Box History = {8, 8, 161, 329};
    static constexpr int RowHeight = 13;

    // "Quorvel V" and the major.minor of the project's version (QUORVEL_VERSION).
    static const std::string& Caption();
    // "Quorvel V" and version up to its second dot: "0.1.0" gives "Quorvel V0.1".
    static std::string CaptionFor(std::string_view version);
};
