#pragma once

#include <QWidget>
#include <functional>
#include <memory>

#include "history/history_list.h"

class HistoryView;
class QueuedHistoryList;

// The one window: a fixed-size frame around the history list.
class TForm1 : public QWidget {
  public:
    // Called once, as the last act of construction, with the history the receiver is to
    // write. It starts the receiver; the form keeps nothing of what it starts. The list it
    // is given lives as long as the form, so the receiver must be stopped and joined
    // before the form is destroyed.
    using ReceiverStarter = std::function<void(HistoryList&)>;

    static constexpr const char* Caption = "Quorvel V0.1";
    static constexpr const char* GreetingLine = "Click to start the fun :)";

    explicit TForm1(const ReceiverStarter& startReceiver, QWidget* parent = nullptr);
    ~TForm1() override;

    HistoryView* History;

  private:
    std::unique_ptr<QueuedHistoryList> historyList_;
};
