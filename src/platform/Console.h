#pragma once
#include <QString>
#include <functional>

// Diagnostics as single console lines ("TypeName: message" or "Failed to ...: error").
// Tests install a sink to read what was printed.
namespace Console {
void log(const QString& line);
using Sink = std::function<void(const QString&)>;
// Replaces the sink (stderr by default); returns the previous one. An empty sink restores stderr.
Sink setSink(Sink sink);
}
