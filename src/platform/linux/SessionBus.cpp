#include "platform/linux/SessionBus.h"

#include <QFile>
#include <QFileInfo>
#include <X11/Xlib.h>
#include <pwd.h>
#include <unistd.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

QString SessionBus::autolaunchSelectionName()
{
    QByteArray machineID;
    for (const char* path : {"/etc/machine-id", "/var/lib/dbus/machine-id"}) {
        QFile file(QString::fromLatin1(path));
        if (file.open(QIODevice::ReadOnly)) {
            machineID = file.read(64).trimmed();
            if (!machineID.isEmpty())
                break;
        }
    }
    const struct passwd* user = ::getpwuid(::getuid());
    if (machineID.isEmpty() || !user || !user->pw_name)
        return {};
    return QStringLiteral("_DBUS_SESSION_BUS_SELECTION_%1_%2")
        .arg(QString::fromLocal8Bit(user->pw_name), QString::fromLatin1(machineID));
}

void SessionBus::preventAutolaunch()
{
    // An address that names no transport makes libdbus (Qt's tray) and GDBus (libsecret) fail at
    // once instead of autolaunching a daemon through the X display.
    if (!exists())
        qputenv("DBUS_SESSION_BUS_ADDRESS", disabledAddress);
}

bool SessionBus::exists()
{
    if (!qEnvironmentVariableIsEmpty("DBUS_SESSION_BUS_ADDRESS"))
        return qgetenv("DBUS_SESSION_BUS_ADDRESS") != disabledAddress;
    // Without an address GLib takes the user bus socket, and else autolaunches through the X
    // display: that finds a bus already registered on the display, but starts a new daemon when
    // there is none, which would outlive this program. Only the first two count as a session bus.
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (!runtime.isEmpty() && QFileInfo::exists(runtime + QStringLiteral("/bus")))
        return true;
    const QString selection = autolaunchSelectionName();
    if (selection.isEmpty() || qEnvironmentVariableIsEmpty("DISPLAY"))
        return false;
    // A connection of its own: this runs off the main thread.
    const X11DisplayPtr display(XOpenDisplay(nullptr));
    if (!display)
        return false;
    const Atom atom = XInternAtom(display.get(), selection.toLatin1().constData(), True);
    return atom != None && XGetSelectionOwner(display.get(), atom) != None;
}
