#pragma once

#include <string>

// The lines the user sees. The receiver writes them through HistoryLog only; an
// implementation that shows them in a window must carry each call to its own thread and
// apply them in the order they were made.
class HistoryList {
  public:
    virtual ~HistoryList() = default;

    // Removes the line at index; later lines move up by one.
    virtual void DeleteLine(int index) = 0;
    // The text becomes the line at index; inserting at the line count appends.
    virtual void InsertLine(int index, const std::string& text) = 0;
    // Redraws the list now rather than at some later redraw.
    virtual void Repaint() = 0;
};
