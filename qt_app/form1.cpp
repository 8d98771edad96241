#include "qt_app/form1.h"

#include <QCloseEvent>
#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QMenu>
#include <QShortcut>

#include "program/app_log.h"
#include "program/window_layout.h"
#include "qt_app/history_view.h"
#include "qt_app/queued_history_list.h"

namespace {

// The window was laid out in pixels for this font; the desktop's sans-serif at the same
// size keeps the lines fitting where it is missing.
QFont WindowFont() {
    const QString classic = QStringLiteral("MS Sans Serif");
    QFont font = QFontDatabase::hasFamily(classic)
                     ? QFont(classic)
                     : QFontDatabase::systemFont(QFontDatabase::GeneralFont);
    font.setPointSize(8);
    font.setBold(false);
    font.setItalic(false);
    return font;
}

}  // namespace

// The resource lives in a static library, where nothing else would pull it in. Outside any
// namespace, as Qt's macro requires.
static void LoadIconResource() {
    Q_INIT_RESOURCE(quorvel);
}

TForm1::TForm1(const ReceiverStarter& startReceiver, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                          Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                          Qt::WindowCloseButtonHint) {
    LoadIconResource();
    setWindowTitle(QString::fromStdString(WindowLayout::Caption()));
    QIcon icon;
    for (const int size : {16, 32, 48, 64, 128, 256}) {
        icon.addFile(QStringLiteral(":/icon/%1.png").arg(size));
    }
    setWindowIcon(icon);
    setFont(WindowFont());
    setFixedSize(WindowLayout::ClientWidth, WindowLayout::ClientHeight);
    move(WindowLayout::Left, WindowLayout::Top);

    History = new HistoryView(this);
    History->setObjectName(QStringLiteral("History"));
    History->setAccessibleName(QStringLiteral("History"));
    const WindowLayout::Box bounds = WindowLayout::History;
    History->setGeometry(bounds.left, bounds.top, bounds.width, bounds.height);
    History->InsertLine(0, WindowLayout::GreetingLine);

    // The keys window's ways in leave the window as it is drawn.
    connect(new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_K), this), &QShortcut::activated, this,
            [this] { OpenKeys(); });
    History->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(History, &QWidget::customContextMenuRequested, this, [this](const QPoint& at) {
        QMenu menu(this);
        menu.setObjectName(QStringLiteral("HistoryMenu"));
        // The line right-clicked is selected by then.
        menu.addAction(QStringLiteral("Copy"), QKeySequence::Copy, History,
                       [this] { History->CopySelectedLine(); })
            ->setEnabled(History->SelectedRow() >= 0);
        menu.addSeparator();
        menu.addAction(QStringLiteral("Keys…"), QKeySequence(Qt::CTRL | Qt::Key_K), this,
                       [this] { OpenKeys(); });
        menu.exec(History->mapToGlobal(at));
    });

    receivers_ = std::make_unique<ReceiverHost>(std::make_unique<QueuedHistoryList>(*History));
    if (startReceiver) {
        startReceiver(*receivers_);
    }
}

TForm1::~TForm1() {
    delete keys_.data();
}

void TForm1::OpenKeys() {
    if (!keys_ && makeKeys_) {
        keys_ = makeKeys_(this);
        keys_->setAttribute(Qt::WA_DeleteOnClose);
    }
    if (keys_) {
        keys_->show();
        keys_->raise();
        keys_->activateWindow();
    }
}

void TForm1::closeEvent(QCloseEvent* event) {
    QUORVEL_DEBUG(lcApp) << "window: close requested";
    QWidget::closeEvent(event);
}
