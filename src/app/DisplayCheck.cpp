#include "DisplayCheck.h"

#include <QtGlobal>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <unistd.h>

namespace bw {

namespace {

QtMessageHandler PreviousHandler = nullptr;

const char* Env(const char* name) {
    const char* value = std::getenv(name);
    return value && *value ? value : nullptr;
}

[[noreturn]] void NoWindow(const std::string& why) {
    std::fprintf(stderr,
                 "brindlewave: cannot open a window: %s. Start it in a desktop session or "
                 "under xvfb-run, or use brindlewave-cli.\n",
                 why.c_str());
    std::fflush(stderr);
    ::_exit(1);
}

// While the application connects to the display: the platform's own complaints are left
// out, and its fatal end becomes our line.
void WhileConnecting(QtMsgType type, const QMessageLogContext& context, const QString& text) {
    if (type == QtFatalMsg) {
        const char* display = Env("WAYLAND_DISPLAY") ? Env("WAYLAND_DISPLAY") : Env("DISPLAY");
        NoWindow(display ? std::string("the display '") + display + "' cannot be reached"
                         : std::string("no display can be reached"));
    }
    if (context.category && std::strncmp(context.category, "qt.qpa", 6) == 0) return;
    if (PreviousHandler) PreviousHandler(type, context, text);
}

} // namespace

void ExitUnlessDisplayCanOpen() {
    // A platform chosen by name (offscreen, for one) needs no display.
    if (!Env("QT_QPA_PLATFORM") && !Env("DISPLAY") && !Env("WAYLAND_DISPLAY"))
        NoWindow("no display is set (DISPLAY and WAYLAND_DISPLAY are empty)");
    PreviousHandler = qInstallMessageHandler(WhileConnecting);
}

void DisplayOpened() {
    qInstallMessageHandler(PreviousHandler);
}

} // namespace bw
