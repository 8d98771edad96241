#pragma once

#include <QAccessibleInterface>
#include <QPointer>

#include "qt_app/history_view.h"

// One line of the history as a screen reader sees it: a list item whose name is the text
// and whose description is what explains it.
// It stands for a row position, so it reads whatever line is there now.
class HistoryRowAccessible : public QAccessibleInterface {
  public:
    HistoryRowAccessible(HistoryView* view, int row) : view_(view), row_(row) {}

    int Row() const { return row_; }

    bool isValid() const override;
    QObject* object() const override { return nullptr; }
    QWindow* window() const override;
    QAccessibleInterface* parent() const override;
    QAccessibleInterface* child(int) const override { return nullptr; }
    int childCount() const override { return 0; }
    int indexOfChild(const QAccessibleInterface*) const override { return -1; }
    QAccessibleInterface* childAt(int, int) const override { return nullptr; }
    QString text(QAccessible::Text t) const override;
    void setText(QAccessible::Text, const QString&) override {}
    QRect rect() const override;
    QAccessible::Role role() const override { return QAccessible::ListItem; }
    QAccessible::State state() const override;

  private:
    QPointer<HistoryView> view_;
    int row_;
};
