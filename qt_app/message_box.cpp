#include "qt_app/message_box.h"

#include <unistd.h>

#include <QFontMetrics>
#include <QGuiApplication>
#include <QMessageBox>
#include <QRect>
#include <QScreen>
#include <QString>
#include <algorithm>

#include "program/box_text.h"

namespace {

// A message box's rows beside its text, in rows of its font: the space above and below the
// text, its buttons' row and its title bar.
constexpr int FrameRows = 8;
// The box wraps its text at a width of its own choosing, at least this many of its font's
// average characters: the rows are counted at that width, so a wider box shows fewer lines
// than it could, never more.
constexpr int NarrowestWrap = 44;

BoxLimits LimitsFor(const QMessageBox& box) {
    const QFontMetrics metrics(box.font());
    const QScreen* screen = QGuiApplication::primaryScreen();
    const int height = screen != nullptr ? screen->availableGeometry().height() : 480;
    const int row = std::max(metrics.lineSpacing(), 1);
    BoxLimits limits;
    limits.rows = static_cast<std::size_t>(std::max(height / row - FrameRows, 1));
    limits.rowsOf = [metrics, row](const std::string& line) {
        const QRect wrapped =
            metrics.boundingRect(QRect(0, 0, NarrowestWrap * metrics.averageCharWidth(), 0),
                                 Qt::TextWordWrap, QString::fromUtf8(line));
        return static_cast<std::size_t>((wrapped.height() + row - 1) / row);
    };
    return limits;
}

}  // namespace

bool StandardErrorIsSeen() {
    return ::isatty(STDERR_FILENO) == 1;
}

void ShowMessageBox(const std::string& text, bool error) {
    QMessageBox box(error ? QMessageBox::Critical : QMessageBox::Information,
                    QStringLiteral("Quorvel"), QString(), QMessageBox::Ok);
    box.setTextFormat(Qt::PlainText);
    const std::string fitted = FitForBox(text, "All of it is under Show Details.", LimitsFor(box));
    box.setText(QString::fromUtf8(fitted));
    if (fitted != text) {
        box.setDetailedText(QString::fromUtf8(text));
    }
    box.exec();
}
