// Posted messages as Qt events: the event type is the message number itself, and the event
// carries the message's parameters. Worker threads post through TQtMessageTarget; the
// receiving window handles the events in its event() in posting order.
#pragma once

#include <QEvent>
#include <QObject>

#include "Messages.h"

namespace bw {

class TMessageEvent : public QEvent {
public:
    explicit TMessageEvent(TPostedMessage message)
        : QEvent(static_cast<QEvent::Type>(message.Msg)), FMessage(std::move(message)) {}

    const TPostedMessage& Message() const { return FMessage; }
    // Hands the progress record to the receiver, which then owns it.
    std::unique_ptr<TProcessInfo> TakeInfo() { return std::move(FMessage.Info); }

private:
    TPostedMessage FMessage;
};

// Posts every message to one receiver. May be used from any thread; the receiver must
// outlive the senders (a window outlives the workers it starts).
class TQtMessageTarget : public TMessageTarget {
public:
    explicit TQtMessageTarget(QObject* receiver) : FReceiver(receiver) {}
    void PostMessage(TPostedMessage message) override;

private:
    QObject* FReceiver;
};

} // namespace bw
