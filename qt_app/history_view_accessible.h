#pragma once

#include <QAccessibleWidget>
#include <unordered_map>

class HistoryView;

// Screen readers walk the history as a list whose children are its lines. The view paints
// its rows itself, so Qt cannot find them without this.
class HistoryViewAccessible : public QAccessibleWidget {
  public:
    explicit HistoryViewAccessible(HistoryView* view);
    ~HistoryViewAccessible() override;

    // Registers the factory with Qt; later calls do nothing.
    static void Install();

    int childCount() const override;
    QAccessibleInterface* child(int index) const override;
    int indexOfChild(const QAccessibleInterface* child) const override;
    QAccessibleInterface* childAt(int x, int y) const override;
    QString text(QAccessible::Text t) const override;

  private:
    static QAccessibleInterface* Factory(const QString& className, QObject* object);
    HistoryView* View() const;

    // Row interfaces are made on demand and kept: Qt hands out ids that must stay valid.
    mutable std::unordered_map<int, QAccessible::Id> rowIds_;
};
