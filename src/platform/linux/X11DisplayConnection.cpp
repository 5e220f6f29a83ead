#include "platform/linux/X11DisplayConnection.h"

#include "platform/Console.h"

#include <QGuiApplication>
#include <X11/Xlib.h>
#include <X11/Xlibint.h>

X11DisplayConnection::X11DisplayConnection(Mode mode)
{
    if (mode == Mode::PreferQt && qGuiApp) {
        if (auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>()) {
            m_display = x11->display();
            if (m_display)
                return;
        }
    }
    if (qEnvironmentVariableIsEmpty("DISPLAY"))
        return;
    m_display = XOpenDisplay(nullptr);
    m_own = m_display != nullptr;
    if (!m_display)
        Console::log(QStringLiteral("Failed to open X display: ") + qEnvironmentVariable("DISPLAY"));
}

X11DisplayConnection::X11DisplayConnection(const QByteArray& displayName)
{
    const QByteArray name = displayName.isEmpty() ? qgetenv("DISPLAY") : displayName;
    if (name.isEmpty())
        return;
    // Quiet when it fails: the caller says what is disabled without it.
    m_display = XOpenDisplay(name.constData());
    m_own = m_display != nullptr;
}

X11DisplayConnection::~X11DisplayConnection()
{
    if (m_own && m_display)
        XCloseDisplay(m_display);
}

unsigned long X11DisplayConnection::rootWindow() const
{
    return m_display ? DefaultRootWindow(m_display) : 0;
}

unsigned long X11DisplayConnection::clientIdMask() const
{
    return m_display ? ~m_display->resource_mask : 0;
}
