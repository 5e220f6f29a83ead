#pragma once
#include <QString>

// Whether a D-Bus session bus can be reached without starting one.
namespace SessionBus {
// True when GLib would reach an existing session bus: DBUS_SESSION_BUS_ADDRESS, the user bus
// socket, or a bus registered on the X display for autolaunch. Never starts a bus; opens a short
// X connection of its own, so it may run on any thread.
bool exists();
// Without a session bus, sets an address that no library can autolaunch from, so that no stray
// dbus-daemon outlives this program. Called before anything connects to D-Bus.
void preventAutolaunch();
inline constexpr char disabledAddress[] = "disabled:";
// "_DBUS_SESSION_BUS_SELECTION_<user>_<machine id>": the X selection a bus registers under; empty
// without a machine id.
QString autolaunchSelectionName();
}
