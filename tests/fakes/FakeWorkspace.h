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
        Immediate,    // activate() makes the app frontmost and active at once
        AfterPolls,   // the app becomes active after activationPolls calls of isActive()
        Never,        // activate() is accepted but the app never becomes active
        Refused,      // activate() returns false (the window manager cannot be asked)
    };

    std::optional<RunningApplication> frontmost;
    QList<RunningApplication> running;
    std::optional<RunningApplication> clipboardOwner;
    RunningApplication current{QStringLiteral("quorvel"), QStringLiteral("Quorvel"), 4242, 0};

    Activation activation = Activation::Immediate;
    int activationPolls = 3;

    QList<RunningApplication> activateCalls;
    QList<RunningApplication> isActiveCalls;
    QList<QUrl> openedURLs;
    bool openURLResult = true;

    std::optional<RunningApplication> frontmostApplication() override { return frontmost; }
    QList<RunningApplication> runningApplications() override { return running; }
    bool activate(const RunningApplication& app) override;
    bool isActive(const RunningApplication& app) override;
    bool openURL(const QUrl& url) override;
    std::optional<RunningApplication> clipboardOwnerApplication() override { return clipboardOwner; }
    RunningApplication currentApplication() override { return current; }

private:
    std::optional<RunningApplication> pending_;
    int pollsLeft_ = 0;
};
