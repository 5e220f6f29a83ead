#pragma once

// Wires the process-wide platform services to their Linux implementations (X11, libsecret,
// XDG files). Called once by main() before the application value is created.
namespace PlatformServices {
void installLinux();
}
