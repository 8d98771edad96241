// The window's history at a million lines: heap per line beyond its text, the cost of one
// event's writes as the history grows, and how long the window takes to paint and to turn
// its event loop once it is that long. Runs offscreen.
//
//   quorvel_history_scale_bench [LINES]      (default 1000000)
#include <malloc.h>

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QThread>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <string>
#include <vector>

#include "qt_app/history_view.h"
#include "receiver/signal_cycle.h"

namespace {

std::size_t HeapInUse() {
    const struct mallinfo2 info = ::mallinfo2();
    return info.uordblks + info.hblkhd;
}

long RssKiB() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("VmRSS:", 0) == 0) {
            return std::stol(line.substr(6));
        }
    }
    return 0;
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v[v.size() / 2];
}

// One event's writes as the receiver makes them: the waiting line appended, then replaced
// by the event's text.
void WriteEvent(HistoryView& view, const std::string& text) {
    const int last = view.LineCount();
    view.InsertLine(last, SignalCycle::WaitingText);
    view.DeleteLine(last);
    view.InsertLine(last, text);
}

// One event's writes in the two ways they reach the view: in a stream (events 2 ms apart,
// the loop turning in between, so most writes fall within a frame of the last paint), and
// alone after a quiet spell (the scroll bar then follows at once). Medians, in ns.
struct AppendCost {
    double streamNs;
    double aloneNs;
    double flushUs;
};

AppendCost MeasureAppends(HistoryView& view, const std::string& text) {
    std::vector<double> stream;
    std::vector<double> alone;
    std::vector<double> flushes;
    QElapsedTimer timer;
    for (int batch = 0; batch < 20; ++batch) {
        timer.start();
        for (int i = 0; i < 8; ++i) {
            WriteEvent(view, text);
        }
        stream.push_back(static_cast<double>(timer.nsecsElapsed()) / 8.0);
        QApplication::processEvents();
    }
    for (int sample = 0; sample < 30; ++sample) {
        QThread::msleep(HistoryView::FrameMs + 4);
        QApplication::processEvents();
        timer.start();
        WriteEvent(view, text);
        alone.push_back(static_cast<double>(timer.nsecsElapsed()));
        timer.start();
        QApplication::processEvents();
        flushes.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e3);
    }
    return {Median(stream), Median(alone), Median(flushes)};
}

// Median µs of a synchronous repaint of the rows in sight, and of an event loop turn after
// scrolling one page.
void MeasurePaint(HistoryView& view, const char* label) {
    std::vector<double> paints;
    std::vector<double> scrolls;
    QElapsedTimer timer;
    QScrollBar* bar = view.verticalScrollBar();
    for (int i = 0; i < 50; ++i) {
        timer.start();
        view.viewport()->repaint();
        paints.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e3);
        timer.start();
        bar->setValue(i % 2 == 0 ? bar->maximum() / 2 : bar->maximum());
        QApplication::processEvents();
        scrolls.push_back(static_cast<double>(timer.nsecsElapsed()) / 1e3);
    }
    std::printf("%-16s paint %.1f us, scroll + event loop turn %.1f us (medians of 50)\n", label,
                Median(paints), Median(scrolls));
}

// Heap and resident memory per line beyond the line's text, for lines of one text.
void MeasureMemory(int lines, const std::string& text) {
    HistoryView view;
    const std::size_t heapBefore = HeapInUse();
    const long rssBefore = RssKiB();
    for (int i = 0; i < lines; ++i) {
        view.InsertLine(i, text);
    }
    // Whatever the writes posted is settled, as the event loop would.
    QApplication::processEvents();
    const double heap = static_cast<double>(HeapInUse() - heapBefore) / lines;
    const double rss = static_cast<double>(RssKiB() - rssBefore) * 1024.0 / lines;
    std::printf(
        "%d lines of \"%s\" (%zu bytes): heap %.1f B/line, rss %.1f B/line; "
        "beyond the text: heap %.1f B, rss %.1f B\n",
        lines, text.c_str(), text.size(), heap, rss, heap - static_cast<double>(text.size()),
        rss - static_cast<double>(text.size()));
}

}  // namespace

int main(int argc, char** argv) {
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const int lines = argc > 1 ? std::atoi(argv[1]) : 1'000'000;
    QApplication app(argc, argv);

    // Memory first, in a clean heap: a short text (held inside the string) and the longest
    // the receiver writes often (on the heap).
    {
        const std::size_t before = HeapInUse();
        HistoryModel model;
        for (int i = 0; i < lines; ++i) {
            model.InsertLine(i, "PLAY!");
        }
        std::printf("the model alone, %d lines of \"PLAY!\": heap %.1f B/line\n", lines,
                    static_cast<double>(HeapInUse() - before) / lines);
    }
    MeasureMemory(lines, "PLAY!");
    MeasureMemory(lines, SignalCycle::WaitingText);
    MeasureMemory(lines, "  >>REP>>VOL_UP!");

    HistoryView view;
    view.resize(161, 329);  // the size it has in the window
    view.show();
    QApplication::processEvents();
    MeasurePaint(view, "at 0 lines");

    const std::string text = "  >>REP>>VOL_UP!";
    for (const int mark : {1'000, 100'000, lines}) {
        // The loop turns now and then, as the UI thread's does between posted writes.
        while (view.LineCount() < mark - 200) {
            WriteEvent(view, text);
            if (view.LineCount() % 1000 == 0) {
                QApplication::processEvents();
            }
        }
        const AppendCost cost = MeasureAppends(view, text);
        std::printf(
            "at %7d lines: one event's writes (3 writes) in a stream %.0f ns, alone %.0f ns"
            "; the event loop turn that paints it %.1f us\n",
            view.LineCount(), cost.streamNs, cost.aloneNs, cost.flushUs);
        MeasurePaint(view, ("at " + std::to_string(view.LineCount()) + " lines").c_str());
    }
    std::printf("lines in the view: %d, rss %ld KiB\n", view.LineCount(), RssKiB());
    return 0;
}
