#include "platform/linux/X11HotkeyRegistrar.h"

#include "platform/Console.h"
#include "platform/linux/CarbonKeyMap.h"
#include "platform/linux/X11ErrorTrap.h"

#include <QSocketNotifier>
#include <X11/XKBlib.h>
#include <X11/Xlib.h>
#include <X11/keysym.h>

// After Qt's headers: Xlib defines Bool and Status as macros.
#include "platform/linux/X11Owners.h"

namespace {
const QString kTakenReason = QStringLiteral("the shortcut is taken by another program");
}

X11HotkeyRegistrar::X11HotkeyRegistrar(QObject* parent)
{
    setParent(parent);
    Display* dpy = m_connection.display();
    if (!dpy) {
        Console::log(QStringLiteral("X11HotkeyRegistrar: no X display; system-wide shortcuts are unavailable"));
        return;
    }
    // Held keys then repeat as presses only, without the interleaved releases.
    Bool supported = False;
    XkbSetDetectableAutoRepeat(dpy, True, &supported);
    readModifierMapping();
    m_notifier = new QSocketNotifier(ConnectionNumber(dpy), QSocketNotifier::Read, this);
    connect(m_notifier, &QSocketNotifier::activated, this, &X11HotkeyRegistrar::processEvents);
}

X11HotkeyRegistrar::~X11HotkeyRegistrar()
{
    if (Display* dpy = m_connection.display()) {
        for (const Grab& g : std::as_const(m_grabs))
            ungrab(g);
        XSync(dpy, False);
    }
}

void X11HotkeyRegistrar::readModifierMapping()
{
    Display* dpy = m_connection.display();
    m_numLockMask = 0;
    m_superMask = 0;
    m_altMask = 0;
    const X11ModifierMapPtr map(XGetModifierMapping(dpy));
    if (!map)
        return;
    const KeyCode numLock = XKeysymToKeycode(dpy, XK_Num_Lock);
    const KeyCode superL = XKeysymToKeycode(dpy, XK_Super_L);
    const KeyCode superR = XKeysymToKeycode(dpy, XK_Super_R);
    const KeyCode altL = XKeysymToKeycode(dpy, XK_Alt_L);
    const KeyCode altR = XKeysymToKeycode(dpy, XK_Alt_R);
    const KeyCode metaL = XKeysymToKeycode(dpy, XK_Meta_L);
    // Shift, Lock and Control are fixed; only the Mod1..Mod5 assignments vary.
    for (int modifier = Mod1MapIndex; modifier <= Mod5MapIndex; ++modifier) {
        for (int k = 0; k < map->max_keypermod; ++k) {
            const KeyCode code = map->modifiermap[modifier * map->max_keypermod + k];
            if (!code)
                continue;
            const unsigned int mask = 1u << modifier;
            if (code == numLock && !m_numLockMask)
                m_numLockMask = mask;
            if ((code == superL || code == superR) && !m_superMask)
                m_superMask = mask;
            if ((code == altL || code == altR || code == metaL) && !m_altMask)
                m_altMask = mask;
        }
    }
    // The usual assignment when the keyboard does not say.
    if (!m_superMask)
        m_superMask = Mod4Mask;
    if (!m_altMask)
        m_altMask = Mod1Mask;
}

std::optional<unsigned int> X11HotkeyRegistrar::xModifiers(quint32 carbon) const
{
    unsigned int mask = 0;
    if (carbon & KeyCodes::commandModifier)
        mask |= m_superMask;
    if (carbon & (KeyCodes::shiftModifier | KeyCodes::rightShiftModifier))
        mask |= ShiftMask;
    if (carbon & (KeyCodes::optionModifier | KeyCodes::rightOptionModifier))
        mask |= m_altMask;
    if (carbon & (KeyCodes::controlModifier | KeyCodes::rightControlModifier))
        mask |= ControlMask;
    // A modifier that shares its bit with NumLock cannot be told apart from it.
    if (mask & m_numLockMask)
        return std::nullopt;
    return mask;
}

QList<unsigned int> X11HotkeyRegistrar::lockVariants() const
{
    QList<unsigned int> variants {0, LockMask};
    if (m_numLockMask)
        variants << m_numLockMask << (m_numLockMask | LockMask);
    return variants;
}

bool X11HotkeyRegistrar::grab(const Grab& g, QString* error)
{
    Display* dpy = m_connection.display();
    const Window root = m_connection.rootWindow();
    X11ErrorTrap trap(dpy);
    int failure = 0;
    for (unsigned int variant : lockVariants()) {
        XGrabKey(dpy, static_cast<int>(g.keycode), g.modifiers | variant, root, False, GrabModeAsync, GrabModeAsync);
        // One round trip per variant tells which grab failed; the others are released below.
        if ((failure = trap.sync()))
            break;
    }
    if (!failure)
        return true;
    // Release what was grabbed; a grab held by another client is not ours to release.
    trap.clear();
    ungrab(g);
    trap.sync();
    if (error)
        *error = failure == BadAccess ? kTakenReason
                                      : QStringLiteral("the shortcut cannot be registered (X error %1)").arg(failure);
    return false;
}

void X11HotkeyRegistrar::ungrab(const Grab& g)
{
    Display* dpy = m_connection.display();
    for (unsigned int variant : lockVariants())
        XUngrabKey(dpy, static_cast<int>(g.keycode), g.modifiers | variant, m_connection.rootWindow());
}

bool X11HotkeyRegistrar::registerHotkey(quint32 id, quint32 keyCode, quint32 modifiers, QString* error)
{
    auto fail = [error](const QString& reason) {
        if (error)
            *error = reason;
        return false;
    };
    Display* dpy = m_connection.display();
    if (!dpy)
        return fail(QStringLiteral("no X display is available"));
    // Registering an id again replaces its combination.
    unregisterHotkey(id);

    const quint32 keysym = CarbonKeyMap::keysymForCarbonKeyCode(keyCode);
    if (!keysym)
        return fail(QStringLiteral("the key cannot be used for a shortcut"));
    Grab g;
    g.carbonKeyCode = keyCode;
    g.carbonModifiers = modifiers;
    g.keycode = XKeysymToKeycode(dpy, keysym);
    if (!g.keycode)
        return fail(QStringLiteral("the key is not on the keyboard"));
    const auto mask = xModifiers(modifiers);
    if (!mask)
        return fail(QStringLiteral("the modifier keys cannot be told apart on this keyboard"));
    g.modifiers = *mask;
    // The server would let this connection grab the same combination twice, silently replacing
    // the first grab; a second registration of one combination fails instead.
    for (const Grab& other : std::as_const(m_grabs)) {
        if (other.keycode == g.keycode && other.modifiers == g.modifiers)
            return fail(QStringLiteral("the shortcut is already in use"));
    }
    if (!grab(g, error))
        return false;
    m_grabs.insert(id, g);
    // Events read during the round trips sit in Xlib's queue, where the notifier does not see them.
    QMetaObject::invokeMethod(this, &X11HotkeyRegistrar::processEvents, Qt::QueuedConnection);
    return true;
}

void X11HotkeyRegistrar::unregisterHotkey(quint32 id)
{
    const auto it = m_grabs.constFind(id);
    if (it == m_grabs.cend())
        return;
    const Grab g = *it;
    m_grabs.erase(it);
    if (Display* dpy = m_connection.display()) {
        X11ErrorTrap trap(dpy);
        ungrab(g);
    }
    if (m_heldKeycode == g.keycode)
        m_heldKeycode = 0;
}

void X11HotkeyRegistrar::regrabAll()
{
    // The keyboard mapping changed: keycodes and modifier bits may have moved.
    Display* dpy = m_connection.display();
    const QHash<quint32, Grab> previous = m_grabs;
    {
        X11ErrorTrap trap(dpy);
        for (const Grab& g : previous)
            ungrab(g);
    }
    readModifierMapping();
    m_grabs.clear();
    for (auto it = previous.cbegin(); it != previous.cend(); ++it) {
        QString reason;
        if (!registerHotkey(it.key(), it->carbonKeyCode, it->carbonModifiers, &reason))
            Console::log(QStringLiteral("Failed to register hotkey again after a keyboard change: ") + reason);
    }
}

bool X11HotkeyRegistrar::handleKeyPress(unsigned int keycode, unsigned int state)
{
    const unsigned int relevant = ShiftMask | ControlMask | m_superMask | m_altMask;
    const unsigned int mods = state & relevant & ~(LockMask | m_numLockMask);
    for (auto it = m_grabs.cbegin(); it != m_grabs.cend(); ++it) {
        if (it->keycode == keycode && it->modifiers == mods) {
            emit hotkeyPressed(it.key());
            return true;
        }
    }
    return false;
}

bool X11HotkeyRegistrar::dispatchKeyPress(quint32 nativeKeyCode, quint32 nativeModifiers)
{
    return handleKeyPress(nativeKeyCode, nativeModifiers);
}

void X11HotkeyRegistrar::processEvents()
{
    Display* dpy = m_connection.display();
    if (!dpy)
        return;
    bool mappingChanged = false;
    while (XPending(dpy) > 0) {
        XEvent event;
        XNextEvent(dpy, &event);
        switch (event.type) {
        case KeyPress: {
            const unsigned int keycode = event.xkey.keycode;
            // A press that follows a press of the same key without a release is auto-repeat.
            if (keycode == m_heldKeycode)
                break;
            m_heldKeycode = keycode;
            handleKeyPress(keycode, event.xkey.state);
            break;
        }
        case KeyRelease:
            if (event.xkey.keycode == m_heldKeycode)
                m_heldKeycode = 0;
            break;
        case MappingNotify:
            if (event.xmapping.request == MappingKeyboard || event.xmapping.request == MappingModifier) {
                XRefreshKeyboardMapping(&event.xmapping);
                mappingChanged = true;
            }
            break;
        default:
            break;
        }
    }
    if (mappingChanged && !m_grabs.isEmpty())
        regrabAll();
}
