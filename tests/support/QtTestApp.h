// Helpers for tests of windows: one QApplication for the whole test program (on the
// offscreen platform unless the environment names another), waiting for a condition while
// events run, and acting on the modal dialog a handler is about to open.
#pragma once

#include <QApplication>
#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>
#include <memory>

namespace bwtest {

// Owns the application and ends it after the last test, before the program's static
// objects go: a QApplication that outlives main() crashes on its way out.
class QtAppEnvironment : public ::testing::Environment {
public:
    void TearDown() override { App.reset(); }
    std::unique_ptr<QApplication> App;
};

inline QApplication& QtApp() {
    static int argc = 1;
    static char name[] = "brindlewave-test";
    static char* argv[] = {name, nullptr};
    static QtAppEnvironment* environment = [] {
        setenv("QT_QPA_PLATFORM", "offscreen", 0);
        auto* env = new QtAppEnvironment; // GoogleTest owns its environments
        ::testing::AddGlobalTestEnvironment(env);
        env->App = std::make_unique<QApplication>(argc, argv);
        return env;
    }();
    return *environment->App;
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

// How long the window's thread was held: the longest time between two ticks of a 20 ms timer
// (the gap still open counts too) since the measure began.
class TimerGaps {
public:
    TimerGaps() {
        FClock.start();
        QObject::connect(&FTimer, &QTimer::timeout, [this] {
            const qint64 now = FClock.elapsed();
            FLongest = std::max(FLongest, now - FLast);
            FLast = now;
        });
        FTimer.start(20);
    }
    qint64 Longest() const { return std::max(FLongest, FClock.elapsed() - FLast); }

private:
    QElapsedTimer FClock;
    QTimer FTimer;
    qint64 FLast = 0;
    qint64 FLongest = 0;
};

// Once a modal dialog is up (e.g. opened by a handler the test calls next), runs the action
// on it. The action must close the dialog.
inline void WhenModal(std::function<void(QWidget*)> action,
                      std::function<bool(QWidget*)> wanted = {}) {
    auto* timer = new QTimer(&QtApp()); // parent-owned; deleted once it has acted
    timer->setInterval(10);
    QObject::connect(timer, &QTimer::timeout,
                     [timer, action = std::move(action), wanted = std::move(wanted)] {
                         QWidget* modal = QApplication::activeModalWidget();
                         if (!modal || !modal->isVisible() || (wanted && !wanted(modal))) return;
                         timer->stop();
                         timer->deleteLater();
                         action(modal);
                     });
    timer->start();
}

// The same for the first modal dialog of type T, passing over others (a query's stop window).
template <typename T>
void WhenModalOf(std::function<void(T*)> action) {
    WhenModal([action = std::move(action)](QWidget* modal) { action(qobject_cast<T*>(modal)); },
              [](QWidget* modal) { return qobject_cast<T*>(modal) != nullptr; });
}

} // namespace bwtest
