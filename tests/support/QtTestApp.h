// Helpers for tests of windows: one QApplication for the whole test program (on the
// offscreen platform unless the environment names another), waiting for a condition while
// events run, and acting on the modal dialog a handler is about to open.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <cstdlib>
#include <functional>

namespace bwtest {

inline QApplication& QtApp() {
    static int argc = 1;
    static char name[] = "brindlewave-test";
    static char* argv[] = {name, nullptr};
    static QApplication* app = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        // Kept for the life of the test program; widgets of a test die before it.
        static QApplication instance(argc, argv);
        return &instance;
    }();
    return *app;
}

// Runs events until the condition holds or the time is up; returns the condition.
inline bool WaitUntil(const std::function<bool()>& condition, int timeoutMs = 5000) {
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs) return false;
        QTest::qWait(10);
    }
    return true;
}

// Once a modal dialog is up (e.g. opened by a handler the test calls next), runs the action
// on it. The action must close the dialog.
inline void WhenModal(std::function<void(QWidget*)> action) {
    auto* timer = new QTimer(&QtApp()); // parent-owned; deleted once it has acted
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout, [timer, action = std::move(action)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || !modal->isVisible()) return;
        timer->stop();
        timer->deleteLater();
        action(modal);
    });
    timer->start();
}

} // namespace bwtest
