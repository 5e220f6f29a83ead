#include "platform/linux/X11DisplayConnection.h"

#include "platform/Console.h"

#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>

X11DisplayConnection::X11DisplayConnection(Mode mode)
{
    if (mode == Mode::PreferQt && qGuiApp) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            display_ = x11->display();
            if (display_)
                return;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    display_ = XOpenDisplay(nullptr);
    own_ = display_ != nullptr;
    if (!display_)
        Console::log(QStringLiteral("Failed to open X display: ") + qEnvironmentVariable("DISPLAY"));
}

X11DisplayConnection::X11DisplayConnection(const QByteArray& displayName)
{
    const QByteArray name = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
    if (name.isEmpty())
        return;
    // Quiet when it fails: the caller says what is disabled without it.
    display_ = XOpenDisplay(name.constData());
    own_ = display_ != nullptr;
}

X11DisplayConnection::~X11DisplayConnection()
{
    if (own_ && display_)
        XCloseDisplay(display_);
}

unsigned long X11DisplayConnection::rootWindow() const
{
    return display_ ? DefaultRootWindow(display_) : 0;
}

unsigned long X11DisplayConnection::clientIdMask() const
{
    return display_ ? ~display_->resource_mask : 0;
}
