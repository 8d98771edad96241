#include "qt_app/platform_start_guard.h"

#include <QByteArray>
#include <QList>
#include <QString>
#include <cstdio>
#include <cstdlib>

namespace {

struct HeldMessage {
    QtMsgType type;
    QByteArray category;
    QString text;
};

// The message handler is process-wide, and so is what it holds.
QtMessageHandler previousHandler = nullptr;
QList<HeldMessage>* heldMessages = nullptr;
std::optional<int> quietExit;

bool IsPlatformCategory(const char* category) {
    return category != nullptr && qstrncmp(category, "qt.qpa", 6) == 0;
}

void Forward(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (previousHandler != nullptr) {
        previousHandler(type, context, message);
    } else {
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    }
}

}  // namespace

PlatformStartGuard::PlatformStartGuard(std::optional<int> quietStatus) {
    quietExit = quietStatus;
    heldMessages = new QList<HeldMessage>;
    previousHandler = qInstallMessageHandler(&PlatformStartGuard::Handle);
}

PlatformStartGuard::~PlatformStartGuard() {
    qInstallMessageHandler(previousHandler);
    QList<HeldMessage>* held = heldMessages;
    heldMessages = nullptr;
    for (const HeldMessage& message : *held) {
        const QMessageLogContext context(nullptr, 0, nullptr, message.category.constData());
        Forward(message.type, context, message.text);
    }
    delete held;
}

void PlatformStartGuard::Handle(QtMsgType type, const QMessageLogContext& context,
                                const QString& message) {
    if (type == QtFatalMsg && quietExit) {
        std::_Exit(*quietExit);
    }
    if (type == QtFatalMsg) {
        // The platform's own first complaint says best what went wrong.
        QString reason = QStringLiteral("the Qt platform plugin could not be started");
        if (heldMessages != nullptr && !heldMessages->isEmpty()) {
            reason = heldMessages->first().text;
        }
        std::fprintf(stderr,
                     "quorvel: no display available (%s); use --console to run without a window\n",
                     reason.simplified().toLocal8Bit().constData());
        std::fflush(stderr);
        std::_Exit(NoDisplayStatus);
    }
    if (heldMessages != nullptr && IsPlatformCategory(context.category)) {
        heldMessages->append({type, QByteArray(context.category), message});
        return;
    }
    Forward(type, context, message);
}
