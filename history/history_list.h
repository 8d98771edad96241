#pragma once

#include <functional>

#include <string>

// The lines the user sees. The receiver writes them through HistoryLog only; an
// implementation that shows them in a window must carry each call to its own thread and
// apply them in the order they were made. A write never waits: a list whose window is far
// behind says so (Full), and its writer holds back until it has room again.
class HistoryList {
  public:
    virtual ~HistoryList() = default;

    // Removes the line at index; later lines move up by one.
    virtual void DeleteLine(int index) = 0;
    // The text becomes the line at index; inserting at the line count appends.
    virtual void InsertLine(int index, const std::string& text) = 0;
    // Redraws the list now rather than at some later redraw.
    virtual void Repaint() = 0;

    // Removes the first count lines, as count DeleteLine(0) would.
    virtual void DeleteFirstLines(int count) {
        for (int i = 0; i < count; ++i) {
            DeleteLine(0);
        }
    }
    // Says why the line at index reads as it does ("Err": why the port could not be set up),
    // for a list that can show it beside the line. The line's text stays as it is.
    virtual void ExplainLine(int /*index*/, const std::string& /*why*/) {}
    // Whether the list begins with the window's greeting line, which the receiver removes
    // once it has opened its source.
    virtual bool HoldsGreeting() const { return true; }
    // Whether the window is far behind the writer, which should write no more until room
    // has been called. By default never.
    virtual bool Full() { return false; }
    // room is called, from whichever thread makes room, each time a list that was full has
    // room again; none for nobody. Set by the writer on its own thread.
    virtual void OnRoom(std::function<void()> /*room*/) {}
};
