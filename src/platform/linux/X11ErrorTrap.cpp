#include "platform/linux/X11ErrorTrap.h"

#include <X11/Xlib.h>
#include <X11/Xproto.h>

// From Xlibint.h (not included: its macros clash with C++ code). Installs a per-connection hook
// for one error code; a hook that returns False drops the error before any global handler.
extern "C" Bool (*XESetWireToError(Display*, int, Bool (*)(Display*, XErrorEvent*, xError*)))(
    Display*, XErrorEvent*, xError*);

namespace {
X11ErrorTrap* currentTrap = nullptr;
using Handler = int (*)(Display*, XErrorEvent*);
}

struct X11ErrorTrapHandler {
    static int handle(Display* display, XErrorEvent* event)
    {
        // Walk the nested traps: the innermost one on this display takes the error. Errors of
        // displays without a trap are dropped: they belong to windows that went away meanwhile.
        for (X11ErrorTrap* trap = currentTrap; trap; trap = trap->m_previousTrap) {
            if (trap->m_display == display) {
                if (trap->m_errorCode == 0)
                    trap->m_errorCode = event->error_code;
                return 0;
            }
        }
        return 0;
    }
};

X11ErrorTrap::X11ErrorTrap(_XDisplay* display)
    : m_display(display)
    , m_previousTrap(currentTrap)
{
    if (m_display)
        XSync(m_display, False); // errors of earlier requests are not ours
    currentTrap = this;
    m_previousHandler = reinterpret_cast<void*>(XSetErrorHandler(&X11ErrorTrapHandler::handle));
}

X11ErrorTrap::~X11ErrorTrap()
{
    sync();
    XSetErrorHandler(reinterpret_cast<Handler>(m_previousHandler));
    currentTrap = m_previousTrap;
}

namespace {
Bool dropError(Display*, XErrorEvent*, xError*)
{
    return False;
}
}

void X11ErrorTrap::dropAllErrorsOf(_XDisplay* display)
{
    if (!display)
        return;
    for (int code = 1; code < 256; ++code)
        XESetWireToError(display, code, &dropError);
}

int X11ErrorTrap::sync()
{
    if (m_display)
        XSync(m_display, False);
    return m_errorCode;
}
