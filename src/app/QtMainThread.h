// Runs the pipeline's main-thread hand-overs (event handlers of outputs, failure reports)
// from the Qt event loop: while it lives, every queued call wakes the loop with a posted
// event whose handler runs the pending calls.
#pragma once

#include <QObject>

namespace bw {

class TQtMainThreadPump : public QObject {
    Q_OBJECT
public:
    TQtMainThreadPump();
    ~TQtMainThreadPump() override;

protected:
    void customEvent(QEvent* event) override;
};

} // namespace bw
