#include "platform/linux/X11ConnectionLoss.h"

#include "platform/Console.h"

#include <QString>
#include <QtGlobal>
#include <atomic>
#include <cstdio>
#include <unistd.h>

#include <X11/Xlib.h>

namespace {

QtMessageHandler previousMessageHandler = nullptr;

int onIOError(Display*)
{
    X11ConnectionLoss::endProcess();
}

// Qt reports the loss of its xcb connection with this warning and calls exit(1) right after it.
void onMessage(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (previousMessageHandler)
        previousMessageHandler(type, context, message);
    else
        std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
    if (type == QtWarningMsg && message.startsWith(QLatin1String("The X11 connection broke")))
        X11ConnectionLoss::endProcess();
}

} // namespace

void X11ConnectionLoss::install()
{
    XSetIOErrorHandler(&onIOError);
    previousMessageHandler = qInstallMessageHandler(&onMessage);
}

void X11ConnectionLoss::endProcess()
{
    static std::atomic_flag ending = ATOMIC_FLAG_INIT;
    if (ending.test_and_set()) {
        for (;;)
            ::pause(); // the first thread ends the process
    }
    // What was printed before (Qt's own report among it) goes out first, unless stderr takes nothing.
    Console::flush(std::chrono::milliseconds(500));
    static const char line[] = "Quorvel: the connection to the X server was lost; quitting\n";
    Console::sayAtTheEnd(line, sizeof line - 1);
    ::_exit(1);
}
