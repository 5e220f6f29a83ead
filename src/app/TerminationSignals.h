#pragma once

class QCoreApplication;

// SIGTERM, SIGINT and SIGHUP (the terminal it runs in closed) end `app`'s event loop normally, so
// that the termination steps run (a recording under way is finished and kept). A SIGHUP that is
// ignored when install() runs (the process was started under nohup) stays ignored. Each also
// requests the exit deadline at its arrival (ExitDeadline::request()), so that the process ends
// within the deadline's bound even when the main thread never gets back to its event loop.
namespace TerminationSignals {

void install(QCoreApplication& app);

}
