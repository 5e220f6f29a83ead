#include "settings/ShortcutRecorderView.h"

#include "settings/SettingsSection.h"
#include "settings/SettingsStyle.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QTimer>
#include <QToolButton>

namespace {
QPointer<ShortcutRecorderView> g_active;

bool isModifierKey(int key)
{
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
        return true;
    default:
        return false;
    }
}
}

ShortcutRecorderView::ShortcutRecorderView(
    GlobalShortcuts& service, GlobalShortcuts::Action action, const QString& title, QWidget* parent)
    : QWidget(parent)
    , m_shortcuts(service)
    , m_action(action)
    , m_failureTimer(new QTimer(this))
    , m_failureLabel(textLabel(QString(), SettingsStyle::font(11), Theme::refusalText(), this))
    , m_button(new QPushButton(this))
    , m_reset(new QToolButton(this))
{
    setFixedHeight(32);
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    QLabel* titleLabel = textLabel(title, SettingsStyle::font(13), Theme::text(), this);
    titleLabel->setObjectName(QStringLiteral("recorderTitle"));
    layout->addWidget(titleLabel, 1);
    m_failureLabel->setObjectName(QStringLiteral("recorderFailure"));
    m_failureLabel->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    m_failureLabel->setMaximumWidth(320);
    m_failureLabel->hide();
    layout->addWidget(m_failureLabel);

    m_button->setFont(SettingsStyle::systemFont(11, QFont::Medium));
    m_button->setMinimumWidth(70);
    m_button->setCursor(Qt::PointingHandCursor);
    m_button->setObjectName(QStringLiteral("shortcutButton"));
    m_button->setAccessibleName(title);
    layout->addWidget(m_button);

    m_reset->setIcon(QIcon(SettingsStyle::symbol(QStringLiteral("arrow.counterclockwise"), 12, Theme::secondaryText())));
    m_reset->setToolTip(QStringLiteral("Reset to default"));
    m_reset->setAutoRaise(true);
    m_reset->setStyleSheet(Theme::flatButtonStyle());
    m_reset->setFocusPolicy(Qt::NoFocus);
    layout->addWidget(m_reset);

    m_failureTimer->setSingleShot(true);
    m_failureTimer->setInterval(failureShownMs);
    connect(m_failureTimer, &QTimer::timeout, this, [this] { setState(State::idle); });

    connect(m_button, &QPushButton::clicked, this, [this] {
        if (isRecording())
            stopRecording();
        else
            startRecording();
    });
    connect(m_reset, &QToolButton::clicked, this, [this] {
        shortcuts().resetToDefault(m_action);
        m_currentShortcut = shortcuts().shortcutDisplay(m_action);
        if (m_state == State::failed)
            setState(State::idle);
        restyle();
    });
    m_currentShortcut = shortcuts().shortcutDisplay(m_action);
    restyle();
}

ShortcutRecorderView::~ShortcutRecorderView()
{
    if (g_active == this)
        stopRecording();
}

QList<ShortcutRecorderView*> ShortcutRecorderView::addRows(
    SettingsSection* section, const QList<GlobalShortcuts::Action>& actions, GlobalShortcuts& shortcuts)
{
    QList<ShortcutRecorderView*> rows;
    for (const GlobalShortcuts::Action action : actions) {
        auto* row = new ShortcutRecorderView(shortcuts, action, action.title(), section);
        section->addRow(row);
        rows << row;
    }
    return rows;
}

quint32 ShortcutRecorderView::carbonModifiers(Qt::KeyboardModifiers modifiers)
{
    quint32 mask = 0;
    if (modifiers & Qt::MetaModifier)
        mask |= GlobalShortcuts::commandKey;
    if (modifiers & Qt::ShiftModifier)
        mask |= GlobalShortcuts::shiftKey;
    if (modifiers & Qt::AltModifier)
        mask |= GlobalShortcuts::optionKey;
    if (modifiers & Qt::ControlModifier)
        mask |= GlobalShortcuts::controlKey;
    return mask;
}

ShortcutRecorderView* ShortcutRecorderView::activeRecorder()
{
    return g_active;
}

QString ShortcutRecorderView::buttonText() const
{
    switch (m_state) {
    case State::recording:
        return QStringLiteral("Press keys...");
    case State::failed:
        return m_attempt;
    case State::idle:
        break;
    }
    return m_currentShortcut;
}

void ShortcutRecorderView::startRecording()
{
    if (isRecording())
        return;
    if (g_active && g_active != this)
        g_active->stopRecording();
    g_active = this;
    qApp->installEventFilter(this);
    shortcuts().setRecording(true);
    setState(State::recording);
    m_button->setFocus(Qt::OtherFocusReason);
    // An active grab of the keyboard: a combination that another program holds as its hotkey
    // (a passive grab) reaches this row instead of that program, so it can be tried and refused.
    grabKeyboard();
}

void ShortcutRecorderView::stopRecording()
{
    endRecording();
    if (m_state != State::idle)
        setState(State::idle);
}

void ShortcutRecorderView::releaseKeyboardGrab()
{
    if (QWidget::keyboardGrabber() == this)
        releaseKeyboard();
}

void ShortcutRecorderView::endRecording()
{
    releaseKeyboardGrab();
    qApp->removeEventFilter(this);
    if (g_active == this) {
        g_active = nullptr;
        shortcuts().setRecording(false);
    }
}

void ShortcutRecorderView::refresh()
{
    m_currentShortcut = shortcuts().shortcutDisplay(m_action);
    restyle();
}

bool ShortcutRecorderView::eventFilter(QObject* watched, QEvent* event)
{
    if (m_state == State::idle || (event->type() != QEvent::KeyPress && event->type() != QEvent::ShortcutOverride))
        return false;
    // Only keys aimed at this row's own window; every other window keeps its keys.
    auto* target = qobject_cast<QWidget*>(watched);
    if (!target || target->window() != window())
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    if (m_state == State::failed) {
        // Escape puts the failure away: the row shows the shortcut in force again.
        if (key->key() != Qt::Key_Escape || key->modifiers() != Qt::NoModifier)
            return false;
        event->accept();
        if (event->type() == QEvent::KeyPress)
            setState(State::idle);
        return true;
    }
    if (key->key() == Qt::Key_Escape && key->modifiers() == Qt::NoModifier && event->type() == QEvent::KeyPress) {
        // Escape gives the keyboard back to the desktop; the row still listens to its window.
        releaseKeyboardGrab();
        return false;
    }
    if (carbonModifiers(key->modifiers()) & ~GlobalShortcuts::shiftKey) {
        if (isModifierKey(key->key()))
            return false;
        if (event->type() == QEvent::ShortcutOverride) {
            event->accept(); // the window's own shortcuts do not see it
            return true;
        }
        return handleKeyPress(key);
    }
    return false;
}

bool ShortcutRecorderView::handleKeyPress(QKeyEvent* event)
{
    const quint32 mask = carbonModifiers(event->modifiers());
    // Plain keys, Shift with a key, Escape, Return and Delete never become shortcuts.
    if (!isRecording() || !(mask & ~GlobalShortcuts::shiftKey) || isModifierKey(event->key()))
        return false;
    const std::optional<quint32> keyCode = shortcuts().carbonKeyCode(*event);
    QString reason;
    if (!keyCode) {
        m_attempt = QStringLiteral("?");
        reason = QStringLiteral("Diese Taste ist als Kurzbefehl nicht möglich");
    } else if (shortcuts().assign(m_action, *keyCode, mask, &reason)) {
        m_currentShortcut = shortcuts().shortcutDisplay(m_action);
        stopRecording();
        return true;
    } else {
        m_attempt = shortcuts().display(*keyCode, mask);
    }
    m_failure = reason;
    endRecording();
    setState(State::failed);
    return true;
}

void ShortcutRecorderView::hideEvent(QHideEvent* event)
{
    // A hidden row (another tab, a closed window) records nothing.
    stopRecording();
    QWidget::hideEvent(event);
}

void ShortcutRecorderView::setState(State state)
{
    m_state = state;
    if (state == State::failed) {
        // Listens for Escape in its window while the failure shows.
        qApp->installEventFilter(this);
        m_failureTimer->start();
    } else {
        m_failure.clear();
        m_failureTimer->stop();
        if (state == State::idle && g_active != this)
            qApp->removeEventFilter(this);
    }
    restyle();
}

void ShortcutRecorderView::restyle()
{
    m_button->setText(buttonText());
    QColor text = Theme::text(), fill = Theme::whiteAlpha(20), outline = Qt::transparent;
    switch (m_state) {
    case State::recording:
        outline = Theme::accent();
        fill = outline;
        fill.setAlpha(51);
        break;
    case State::failed:
        outline = Theme::destructive();
        fill = outline;
        fill.setAlpha(46);
        text = Theme::errorText();
        break;
    case State::idle:
        break;
    }
    m_button->setStyleSheet(Theme::outlinedButtonStyle(text, fill, outline));
    m_failureLabel->setVisible(m_state == State::failed);
    m_failureLabel->setText(m_failure);
    m_failureLabel->setToolTip(m_failure);
    m_button->setToolTip(m_state == State::failed
            ? QStringLiteral("Nicht zugewiesen: %1. Es bleibt bei %2.").arg(m_failure, m_currentShortcut)
            : QString());
}
