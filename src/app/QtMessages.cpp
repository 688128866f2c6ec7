#include "QtMessages.h"

#include <QCoreApplication>

namespace bw {

static_assert(WM_RIPFAILED > QEvent::User && WM_SHOWINSTANCE < QEvent::MaxUser,
              "message numbers must be usable as Qt event types");

void TQtMessageTarget::PostMessage(TPostedMessage message) {
    // Qt keeps the posting order of events of equal priority for one receiver.
    QCoreApplication::postEvent(FReceiver, new TMessageEvent(std::move(message)));
}

} // namespace bw
