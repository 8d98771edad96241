#pragma once

#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

#include "program/receiver_host.h"

class HistoryView;

// The one window: a fixed-size frame around the history list, laid out as WindowLayout says. It
// owns the receivers that write the list (through a ReceiverHost), so they are stopped and joined
// before the list goes, whenever the form is destroyed.
class TForm1 : public QWidget {
  public:
    // Called once, as the last act of construction, with the host whose list the
    // receivers write. It starts the receivers.
    using ReceiverStarter = std::function<void(ReceiverHost&)>;

    explicit TForm1(const ReceiverStarter& startReceiver, QWidget* parent = nullptr);
    ~TForm1() override;

    HistoryView* History;
    const ReceiverHost& Receivers() const { return *receivers_; }

    // Makes the keys window, a window of the form's, each time it is opened anew.
    using KeysWindowMaker = std::function<QWidget*(QWidget* parent)>;
    void SetKeysWindowMaker(KeysWindowMaker make) { makeKeys_ = std::move(make); }
    // Opens the keys window, or raises the one open: Ctrl+K, "Keys…" in the list's context
    // menu (a right click or the menu key, beside "Copy", the selected line), and the tray's
    // menu.
    void OpenKeys();

  protected:
    // Accepted, as QWidget does; said in the log, so a close that never arrived can be
    // told from one that did not end the program.
    void closeEvent(QCloseEvent* event) override;

  private:
    // A member, so it goes before the QWidget base deletes History.
    std::unique_ptr<ReceiverHost> receivers_;
    KeysWindowMaker makeKeys_;
    QPointer<QWidget> keys_;  // deleted before the receivers, whose capture it arms
};
