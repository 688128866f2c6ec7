#include "QtMainThread.h"

#include <QCoreApplication>
#include <QEvent>
#include <exception>

#include "MainThread.h"

namespace bw {

namespace {
const QEvent::Type PumpEvent = static_cast<QEvent::Type>(QEvent::registerEventType());
}

TQtMainThreadPump::TQtMainThreadPump() {
    BindMainThread();
    SetMainThreadWakeHook([this] { QCoreApplication::postEvent(this, new QEvent(PumpEvent)); });
}

TQtMainThreadPump::~TQtMainThreadPump() {
    SetMainThreadWakeHook(nullptr);
}

void TQtMainThreadPump::customEvent(QEvent* event) {
    if (event->type() != PumpEvent) return;
    try {
        RunPendingMainThreadCalls();
    } catch (const std::exception& e) {
        // A handler's failure must not end the event loop; the windows show their own.
        qWarning("Unhandled error in an event handler: %s", e.what());
    }
}

} // namespace bw
