#pragma once

// Wires the process-wide platform services to their Linux implementations (X11, libsecret,
// XDG files). Called once by main() before the application value is created.
namespace PlatformServices {
void installLinux();
// Before the application object exists: no D-Bus session bus is autolaunched when none runs,
// large blocks of memory are kept out of the threads' pools, and the libraries' routine lines
// stay off the terminal.
void prepareEnvironment();
}
