#include "fakes/FakeWorkspace.h"

namespace {
bool sameApp(const RunningApplication& a, const RunningApplication& b)
{
    if (a.processIdentifier != 0 && b.processIdentifier != 0)
        return a.processIdentifier == b.processIdentifier;
    return a.bundleIdentifier == b.bundleIdentifier;
}
}

bool FakeWorkspace::activate(const RunningApplication& app)
{
    activateCalls.append(app);
    switch (activation) {
    case Activation::Immediate:
        frontmost = app;
        pending_.reset();
        return true;
    case Activation::AfterPolls:
        pending_ = app;
        pollsLeft_ = activationPolls;
        if (pollsLeft_ <= 0) {
            frontmost = app;
            pending_.reset();
        }
        return true;
    case Activation::Never:
        return true;
    case Activation::Refused:
        return false;
    }
    return false;
}

bool FakeWorkspace::isActive(const RunningApplication& app)
{
    isActiveCalls.append(app);
    if (pending_ && sameApp(*pending_, app)) {
        if (--pollsLeft_ <= 0) {
            frontmost = *pending_;
            pending_.reset();
        }
    }
    return frontmost && sameApp(*frontmost, app);
}

bool FakeWorkspace::openURL(const QUrl& url)
{
    openedURLs.append(url);
    return openURLResult;
}
