#pragma once
#include "platform/Workspace.h"

#include <QList>
#include <QUrl>
#include <optional>

// Workspace for tests: the frontmost application, the running applications and the clipboard
// owner are set by the test; activate() and isActive() follow a chosen activation behaviour.
class FakeWorkspace : public Workspace {
public:
    enum class Activation {
        Immediate,  // activate() makes the app frontmost and active at once
        AfterPolls, // the app becomes active after activationPolls calls of isActive()
        Never,      // activate() is accepted but the app never becomes active
        Refused,    // activate() returns false (the window manager cannot be asked)
    };

    std::optional<RunningApplication> frontmost;
    QList<RunningApplication> running;
    std::optional<RunningApplication> clipboardOwner;
    RunningApplication current {QStringLiteral("quorvel"), QStringLiteral("Quorvel"), 4242, 0};

    Activation activation = Activation::Immediate;
    int activationPolls = 3;

    QList<RunningApplication> activateCalls;
    QList<RunningApplication> isActiveCalls;

    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    QList<RunningApplication> runningApplications() override { return running; }
    bool activate(const RunningApplication& app) override
    {
        activateCalls.append(app);
        if (activation == Activation::Immediate || (activation == Activation::AfterPolls && activationPolls <= 0)) {
            frontmost = app;
            m_pending.reset();
        } else if (activation == Activation::AfterPolls)
            m_pending = {app, activationPolls};
        return activation != Activation::Refused;
    }
    bool isActive(const RunningApplication& app) override
    {
        isActiveCalls.append(app);
        if (m_pending && sameApp(m_pending->first, app) && --m_pending->second <= 0) {
            frontmost = m_pending->first;
            m_pending.reset();
        }
        return frontmost && sameApp(*frontmost, app);
    }
    QList<QUrl> openedURLs;
    bool openURL(const QUrl& url) override
    {
        openedURLs.append(url);
        return true;
    }
    std::optional<RunningApplication> clipboardOwnerApplication() override { return clipboardOwner; }
    RunningApplication currentApplication() override { return current; }

private:
    static bool sameApp(const RunningApplication& a, const RunningApplication& b)
    {
        if (a.processIdentifier != 0 && b.processIdentifier != 0)
            return a.processIdentifier == b.processIdentifier;
        return a.bundleIdentifier == b.bundleIdentifier;
    }
    std::optional<std::pair<RunningApplication, int>> m_pending; // app and polls left
};
