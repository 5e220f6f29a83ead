#pragma once

// Keeps the X11 clock of Qt's own connection from being moved past the X server's by a selection
// request stamped ahead of it.
//
// Qt stamps the selections it takes (every copy a text field or view leaves to QClipboard: Ctrl+C,
// the context menu's Copy, the PRIMARY a mouse selection takes) with a clock it moves forward, never
// back, to the time of each event it handles, a SelectionRequest's among them. That time is the
// requestor's word: a GTK file manager (PCManFM) asks for a drag's data with a time far ahead of the
// server's. Once Qt's clock stands there, the server ignores each selection Qt takes with it (a
// SetSelectionOwner later than the server's present changes nothing), and every copy of the
// process is lost until the server's clock catches up, days later.
//
// install() puts a native event filter before Qt's handling of each event: a SelectionRequest of a
// time the server has not reached yet is stamped CurrentTime instead, which Qt's drag and clipboard
// serve as a request for the data they hold now; any other request passes unchanged.
namespace X11QtClockGuard {

// Call once the QGuiApplication exists; does nothing off xcb, and nothing on a second call.
void install();

}
