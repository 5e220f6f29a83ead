#include "platform/linux/X11KeySynthesizer.h"

#include "platform/Console.h"
#include "platform/linux/X11ErrorTrap.h"

#include <QDeadlineTimer>
#include <QThread>
#include <X11/Xlib.h>
#include <X11/extensions/XTest.h>
#include <X11/keysym.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

X11KeySynthesizer::X11KeySynthesizer(Workspace* workspace)
    : m_workspace(workspace)
{
}

bool X11KeySynthesizer::isAvailable()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return false;
    if (m_xtestAvailable < 0) {
        int eventBase = 0;
        int errorBase = 0;
        int major = 0;
        int minor = 0;
        m_xtestAvailable = XTestQueryExtension(dpy, &eventBase, &errorBase, &major, &minor) ? 1 : 0;
    }
    return m_xtestAvailable == 1;
}

namespace {

// Terminal emulators and the paste key each binds out of the box, by desktop-file ID and
// WM_CLASS (matched ignoring case).
struct TerminalBinding {
    QStringList names;
    X11KeySynthesizer::PasteBinding binding;
};

const QList<TerminalBinding>& terminalBindings()
{
    using Selection = KeySynthesizer::PasteSelection;
    static const QList<TerminalBinding> table {
        // xterm binds no clipboard key: Shift+Insert inserts PRIMARY (insert-selection(SELECT),
        // SELECT being PRIMARY unless selectToClipboard is set); Ctrl+V would type ^V.
        {{QStringLiteral("xterm"), QStringLiteral("uxterm"), QStringLiteral("debian-xterm"),
             QStringLiteral("debian-uxterm")},
            {{XK_Shift_L, XK_Insert}, Selection::Primary}},
        // rxvt-unicode: Shift+Insert inserts PRIMARY (its clipboard key, Ctrl+Meta+V, needs a Meta
        // that not every keymap has).
        {{QStringLiteral("urxvt"), QStringLiteral("rxvt"), QStringLiteral("rxvt-unicode"),
             QStringLiteral("urxvtc"), QStringLiteral("urxvt-tabbed")},
            {{XK_Shift_L, XK_Insert}, Selection::Primary}},
        // VTE (GNOME Terminal, Xfce, LXDE, MATE, Tilix, Terminator, Sakura), Qt (Konsole,
        // QTerminal) and the GPU terminals bind Ctrl+Shift+V to the clipboard, as does st.
        {{QStringLiteral("gnome-terminal"), QStringLiteral("gnome-terminal-server"),
             QStringLiteral("org.gnome.Terminal"), QStringLiteral("konsole"), QStringLiteral("org.kde.konsole"),
             QStringLiteral("kitty"), QStringLiteral("alacritty"), QStringLiteral("terminator"),
             QStringLiteral("tilix"), QStringLiteral("com.gexperts.Tilix"), QStringLiteral("xfce4-terminal"),
             QStringLiteral("lxterminal"), QStringLiteral("mate-terminal"), QStringLiteral("qterminal"),
             QStringLiteral("sakura"), QStringLiteral("st"), QStringLiteral("st-256color"), QStringLiteral("foot"),
             QStringLiteral("wezterm"), QStringLiteral("org.wezfurlong.wezterm"), QStringLiteral("terminology")},
            {{XK_Control_L, XK_Shift_L, XK_v}, Selection::Clipboard}},
    };
    return table;
}

const TerminalBinding* terminalBindingFor(const RunningApplication& app)
{
    for (const TerminalBinding& terminal : terminalBindings())
        for (const QString& candidate : {app.bundleIdentifier, app.windowClass})
            if (!candidate.isEmpty() && terminal.names.contains(candidate, Qt::CaseInsensitive))
                return &terminal;
    return nullptr;
}

}

X11KeySynthesizer::PasteBinding X11KeySynthesizer::pasteBinding(const std::optional<RunningApplication>& app)
{
    if (app)
        if (const TerminalBinding* terminal = terminalBindingFor(*app))
            return terminal->binding;
    return {{XK_Control_L, XK_v}, PasteSelection::Clipboard};
}

bool X11KeySynthesizer::isTerminalEmulator(const RunningApplication& app)
{
    return terminalBindingFor(app) != nullptr;
}

bool X11KeySynthesizer::anyModifierDown()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return false;
    const X11ModifierMapPtr map(XGetModifierMapping(dpy));
    if (!map)
        return false;
    char keys[32] = {};
    XQueryKeymap(dpy, keys);
    bool down = false;
    for (int i = 0; i < 8 * map->max_keypermod && !down; ++i) {
        const KeyCode code = map->modifiermap[i];
        if (code && (keys[code / 8] & (1 << (code % 8))))
            down = true;
    }
    return down;
}

bool X11KeySynthesizer::pressAndRelease(const QList<unsigned long>& keysyms)
{
    Display* dpy = m_connection.display();
    QList<KeyCode> codes;
    for (unsigned long keysym : keysyms) {
        const KeyCode code = XKeysymToKeycode(dpy, keysym);
        if (!code) {
            Console::log(QStringLiteral("Failed to post the paste shortcut: no key for ")
                + QString::fromLatin1(XKeysymToString(keysym)));
            return false;
        }
        codes.append(code);
    }
    X11ErrorTrap trap(dpy);
    for (KeyCode code : std::as_const(codes))
        XTestFakeKeyEvent(dpy, code, True, CurrentTime);
    for (auto it = codes.crbegin(); it != codes.crend(); ++it)
        XTestFakeKeyEvent(dpy, *it, False, CurrentTime);
    XFlush(dpy);
    if (trap.sync()) {
        Console::log(QStringLiteral("Failed to post the paste shortcut: X error ") + QString::number(trap.errorCode()));
        return false;
    }
    return true;
}

std::optional<RunningApplication> X11KeySynthesizer::targetOrFocused(const std::optional<RunningApplication>& target)
{
    if (!target && m_workspace)
        return m_workspace->frontmostApplication();
    return target;
}

KeySynthesizer::PasteSelection X11KeySynthesizer::pasteSelection(const std::optional<RunningApplication>& target)
{
    return pasteBinding(targetOrFocused(target)).selection;
}

bool X11KeySynthesizer::postPaste(const std::optional<RunningApplication>& target)
{
    if (!isAvailable()) {
        Console::log(QStringLiteral("Failed to post the paste shortcut: the XTEST extension is not available"));
        return false;
    }
    return pressAndRelease(pasteBinding(targetOrFocused(target)).keysyms);
}
