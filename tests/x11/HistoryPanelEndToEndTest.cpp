// The history panel on a real X server: entries copied by other clients, the history hotkey,
// typing to filter, keyboard paste into another program, plain paste, Escape, drag-out onto
// another program, and the panel's frame across a restart.
#include "app/AppDelegate.h"
#include "clipboard/ClipboardService.h"
#include "clipboard/ClipboardSuspension.h"
#include "app/HotkeyService.h"
#include "clipboard/PasteService.h"
#include "fakes/FakeLinkMetadataProvider.h"
#include "history/ClipHistoryController.h"
#include "history/ClipListView.h"
#include "history/FilterChip.h"
#include "history/HistoryPanel.h"
#include "history/HistoryView.h"
#include "history/ImageDecoding.h"
#include "history/SearchBar.h"
#include "history/QuickLookPanelManager.h"
#include "history/WindowManager.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/Compositing.h"
#include "platform/linux/JsonFilePreferences.h"
#include "platform/linux/X11Compositing.h"
#include "platform/linux/X11HotkeyRegistrar.h"
#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Permissions.h"
#include "platform/linux/X11Workspace.h"
#include "store/ModelContext.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QResizeEvent>
#include <QGuiApplication>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRandomGenerator>
#include <algorithm>
#include <cmath>
#include <QScreen>
#include <QStandardPaths>
#include <deque>
#include <gtest/gtest.h>
#include "X11TestSupport.h"
#include "TargetApp.h"

using namespace x11test;

namespace {

class HistoryPanelEndToEndTest : public ::testing::Test, protected X11AppServices {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(store.container);
        ASSERT_TRUE(registrar.isAvailable()) << "needs an X display";
        ASSERT_TRUE(keys.isAvailable()) << "needs the XTEST extension";
        Theme::install();
        Symbols::installIconTheme();
        Permissions::setShared(&permissions);
        Pasteboard::setShared(&pasteboard);
        prefs = std::make_unique<JsonFilePreferences>(dir.filePath(QStringLiteral("preferences.json")));
        prefs->registerDefaults(AppDelegate::registeredDefaults());
        prefs->set(QStringLiteral("showAsRightPanel"), false);
        prefs->set(QStringLiteral("downloadLinkPreviews"), false);
        monitorQueue = DispatchQueue::makeSerial(QStringLiteral("com.quorvel.clipboard"));
        notifications.observe(QStringLiteral("clipboardItemAdded"), nullptr, [this](const QVariantMap&) { ++added; });
        monitor = std::make_unique<ClipboardService>(pasteboard, workspace, *prefs, notifications, crypto.service,
            links, *monitorQueue, DispatchQueue::main(), suspension);
        monitor->setModelContainer(store.container);
        monitor->setShouldAnnounceNewItems([] { return true; });
        monitor->startMonitoring();
        makeWindows();
    }

    void TearDown() override
    {
        hotkeys.reset();
        windows.reset();
        monitor->stopMonitoring();
        monitor.reset();
        monitorQueue.reset();
        owners.clear();
        waitUntil([this] { return !suspension.isSuspended(); }, 3000);
        Permissions::setShared(nullptr);
        Pasteboard::setShared(nullptr);
    }

    // A window manager as the program makes it at start (a restart makes a new one).
    void makeWindows(Preferences* preferences = nullptr)
    {
        hotkeys.reset();
        windows.reset();
        Preferences& chosen = preferences ? *preferences : *prefs;
        windows = std::make_unique<WindowManager>(WindowManager::Needs {.paste = paste,
            .notifications = notifications,
            .preferences = chosen,
            .quickLook = &quickLook,
            .permissions = &permissions,
            .pasteboard = &pasteboard});
        windows->setModelContainer(store.container);
        hotkeys = std::make_unique<HotkeyService>(registrar, chosen, DispatchQueue::main(), *windows);
        hotkeys->registerHotkey();
    }

    // Another client copies; waits until the entry is stored.
    void copyWithXclip(const QByteArray& content, const QString& target = {})
    {
        const int before = added;
        owners.push_back(std::make_unique<XclipOwner>(content, QStringLiteral("clipboard"), target));
        ASSERT_TRUE(waitUntil([&] { return added > before; }, 8000))
            << "the copy was not stored: " << content.left(40).toStdString();
        while (owners.size() > 1)
            owners.pop_front();
    }
    // A copy with several types at once, from a second clipboard connection.
    void copyItems(const QList<Pasteboard::Item>& items)
    {
        const int before = added;
        other = std::make_unique<X11Pasteboard>();
        ASSERT_TRUE(other->writeItems(items));
        ASSERT_TRUE(waitUntil([&] { return added > before; }, 8000)) << "the copy was not stored";
    }

    bool openWithHotkey()
    {
        return xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")})
            && waitUntil([this] { return windows->isVisible() && windows->historyPanel()->isActiveWindow(); });
    }
    HistoryView* view() { return windows->historyPanel()->findChild<HistoryView*>(); }
    QStringList listed()
    {
        QStringList out;
        for (const auto& model : view()->controller().filteredViewModels())
            out << model->searchIndex();
        return out;
    }
    QPushButton* tabButton(HistoryTab tab)
    {
        const QString label = tab == HistoryTab::clipboard ? QStringLiteral("Clipboard")
                                                           : QStringLiteral("Screenshots");
        for (QPushButton* button : view()->findChildren<QPushButton*>())
            if (button->text() == label)
                return button;
        return nullptr;
    }
    bool key(const char* keys)
    {
        return xdotool({QStringLiteral("key"), QStringLiteral("--clearmodifiers"), QString::fromLatin1(keys)});
    }

    ClipboardSuspension suspension;
    NotificationCenter notifications;
    FakeLinkMetadataProvider links;
    PasteService paste {
        pasteboard, workspace, keys, DispatchQueue::main(), suspension, dir.filePath(QStringLiteral("trace.txt"))};
    QuickLookPanelManager quickLook {pasteboard};
    std::unique_ptr<DispatchQueue> monitorQueue;
    std::unique_ptr<ClipboardService> monitor;
    std::unique_ptr<WindowManager> windows;
    std::unique_ptr<HotkeyService> hotkeys;
    std::deque<std::unique_ptr<XclipOwner>> owners;
    std::unique_ptr<X11Pasteboard> other;
    int added = 0;
};

TEST_F(HistoryPanelEndToEndTest, HotkeyFilterAndKeyboardPasteIntoAnotherProgram)
{
    copyWithXclip("alpha: the first copied text");
    copyWithXclip(imageBytes(240, 150, "png", QColor(70, 130, 180)), QStringLiteral("image/png"));
    copyWithXclip("https://www.qt.io/blog");
    copyItems({{QStringLiteral("public.html"), "<b>Bold</b> words"},
        {QStringLiteral("public.utf8-plain-text"), "Bold words"}});
    other.reset();
    copyWithXclip("zeta: the last copied text");

    TargetApp target;
    ASSERT_TRUE(target.start(QStringLiteral("Paste target"))) << "the target program did not come up";
    ASSERT_TRUE(openWithHotkey()) << "the history hotkey did not open the panel";
    EXPECT_EQ(paste.targetPID(), target.pid());
    ASSERT_TRUE(view());
    ASSERT_EQ(listed().size(), 5);
    EXPECT_EQ(listed().first(), QStringLiteral("zeta: the last copied text"));
    EXPECT_EQ(listed().last(), QStringLiteral("alpha: the first copied text"));

    // The open panel with text, image and link entries.
    ASSERT_TRUE(waitUntil([&] {
        ImageDecoding::waitForDecodes();
        return windows->historyPanel()->grab().toImage().pixelColor(10, 10).isValid();
    }));
    spin(300);
    EXPECT_TRUE(windows->historyPanel()->grab().save(artifact(QStringLiteral("history_panel_x11.png"))));

    // Typing filters the list.
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("alpha")}));
    ASSERT_TRUE(waitUntil([&] { return listed() == QStringList {QStringLiteral("alpha: the first copied text")}; }))
        << listed().join(QLatin1Char('|')).toStdString();

    // Return pastes the selected entry into the program that was frontmost.
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(waitUntil([&] { return !windows->isVisible(); }));
    EXPECT_TRUE(waitUntil([&] { return target.text() == QStringLiteral("alpha: the first copied text"); }, 8000))
        << "field holds: " << target.text().toStdString();
    ASSERT_TRUE(waitUntil([this] { return !suspension.isSuspended(); }, 3000));

    // Shift+Return pastes the HTML entry as plain text.
    ASSERT_TRUE(openWithHotkey());
    ASSERT_TRUE(waitUntil([&] { return listed().size() == 5; }));
    const int html = int(listed().indexOf(QStringLiteral("Bold words")));
    ASSERT_GE(html, 0) << listed().join(QLatin1Char('|')).toStdString();
    for (int i = 0; i < html; ++i)
        ASSERT_TRUE(key("Down"));
    ASSERT_TRUE(waitUntil([&] { return view()->selectedIndex() == html; }));
    ASSERT_TRUE(key("shift+Return"));
    EXPECT_TRUE(waitUntil([&] { return target.text().endsWith(QStringLiteral("Bold words")); }, 8000))
        << "field holds: " << target.text().toStdString();
    EXPECT_EQ(pasteboard.types(), QStringList {QStringLiteral("public.utf8-plain-text")});
    ASSERT_TRUE(waitUntil([this] { return !suspension.isSuspended(); }, 3000));

    // Space opens the quick look beside the panel, which keeps the focus; Escape closes the
    // quick look first, then hides the panel.
    ASSERT_TRUE(openWithHotkey());
    ASSERT_TRUE(key("space"));
    ASSERT_TRUE(waitUntil([&] { return quickLook.quickLookPanel() && quickLook.quickLookPanel()->isVisible(); }));
    spin(300);
    EXPECT_TRUE(windows->historyPanel()->isActiveWindow());
    EXPECT_TRUE(windows->isVisible());
    EXPECT_EQ(quickLook.quickLookPanel()->pos(),
        QuickLookPanelManager::placement(
            windows->historyPanel()->frameGeometry(), windows->historyPanel()->screen()->availableGeometry()));
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitUntil([&] { return !quickLook.quickLookPanel(); }));
    EXPECT_TRUE(windows->isVisible());
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitUntil([&] { return !windows->isVisible() && !windows->historyPanel()->isVisible(); }));
}

// With the settings a user starts with (a frameless column at the right that hides when it
// loses the focus), the panel opened over another program takes the keyboard at once: typing
// filters, Return pastes into that program, Escape and a click into the program hide it. Runs
// on this display and, by the test further below, on openbox.
TEST_F(HistoryPanelEndToEndTest, TheHotkeyPanelTakesTheKeyboardFromTheProgramInFront)
{
    prefs->set(QStringLiteral("showAsRightPanel"), true);
    copyWithXclip("an older entry");
    copyWithXclip("the entry to paste");
    TargetApp target;
    ASSERT_TRUE(target.start(QStringLiteral("Paste target")));
    auto inFront = [&] {
        const auto front = workspace.frontmostApplication();
        return front && front->processIdentifier == target.pid();
    };
    ASSERT_TRUE(waitUntil(inFront, 20000)) << "the target program did not get the focus";
    auto opened = [&](const char* how) {
        EXPECT_TRUE(waitUntil([&] { return windows->isVisible(); }, 20000)) << how << ": the panel did not open";
        EXPECT_EQ(paste.targetPID(), target.pid()) << how;
        const bool active = waitUntil([&] { return windows->historyPanel()->isActiveWindow(); }, 20000);
        EXPECT_TRUE(active) << how << ": the panel did not get the focus";
        return active && view()->searchBar()->field()->hasFocus();
    };

    // The user types in the program, then presses the hotkey: what they type next lands in the
    // search field, not in the program.
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("typed ")}));
    ASSERT_TRUE(waitUntil([&] { return target.text() == QStringLiteral("typed "); }, 20000));
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(opened("hotkey"));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("paste")}));
    QLineEdit* field = view()->searchBar()->field();
    EXPECT_TRUE(waitUntil([&] { return field->text() == QStringLiteral("paste"); }, 20000))
        << "search: " << field->text().toStdString() << ", program: " << target.text().toStdString();
    spin(200);
    EXPECT_TRUE(windows->historyPanel()->grab().save(artifact(QStringLiteral("history_hotkey_focus_typed.png"))));
    ASSERT_TRUE(waitUntil([&] { return listed() == QStringList {QStringLiteral("the entry to paste")}; }))
        << listed().join(QLatin1Char('|')).toStdString();
    ASSERT_TRUE(key("Return"));
    EXPECT_TRUE(waitUntil([&] { return !windows->isVisible(); }));
    EXPECT_TRUE(waitUntil([&] { return target.text() == QStringLiteral("typed the entry to paste"); }, 20000))
        << "program: " << target.text().toStdString();
    ASSERT_TRUE(waitUntil([this] { return !suspension.isSuspended(); }, 3000));
    ASSERT_TRUE(waitUntil(inFront, 20000)) << "the paste did not bring the program back";

    // Again by the hotkey; Escape hides the panel.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(opened("hotkey again"));
    EXPECT_TRUE(field->text().isEmpty());
    ASSERT_TRUE(key("Escape"));
    EXPECT_TRUE(waitUntil([&] { return !windows->isVisible() && !windows->historyPanel()->isVisible(); }));

    // Opened from the tray menu, then hidden and shown again at once (the hotkey pressed twice):
    // it has the keyboard each time. A click into the program hides it.
    ASSERT_TRUE(waitUntil(inFront, 20000));
    const auto program = workspace.frontmostApplication();
    windows->showHistoryWindow();
    ASSERT_TRUE(opened("tray"));
    windows->hideHistoryWindow();
    windows->showHistoryWindow();
    ASSERT_TRUE(opened("hidden and shown again"));
    ASSERT_TRUE(key("Down"));
    EXPECT_TRUE(waitUntil([&] { return view()->selectedIndex() == 1; }));
    ASSERT_TRUE(xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), QString::number(program->windowId),
        QStringLiteral("30"), QStringLiteral("30"), QStringLiteral("click"), QStringLiteral("1")}));
    EXPECT_TRUE(waitUntil([&] { return !windows->isVisible() && !windows->historyPanel()->isVisible(); }, 20000))
        << "the panel stayed after it lost the focus";
}

TEST_F(HistoryPanelEndToEndTest, DragOfARowDeliversItsTextAndPng)
{
    const QByteArray png = imageBytes(64, 48, "png", QColor(200, 80, 60));
    copyItems(
        {{QStringLiteral("public.png"), png}, {QStringLiteral("public.utf8-plain-text"), "caption of the picture"}});
    other.reset();
    TargetApp target;
    ASSERT_TRUE(target.start(QStringLiteral("Drop target")));
    ASSERT_TRUE(openWithHotkey());
    ASSERT_TRUE(waitUntil([&] { return !view()->list()->rowRect(0).isEmpty(); }));
    const QRect row = view()->list()->rowRect(0);
    const QPoint from = view()->list()->viewport()->mapToGlobal(QPoint(row.left() + 60, row.center().y()));
    // Somewhere of the target's window outside the panel.
    const QRect panel = windows->historyPanel()->frameGeometry();
    const QRect screen = windows->historyPanel()->screen()->geometry();
    const QPoint to(panel.left() > 200 ? panel.left() / 2 : (panel.right() + screen.right()) / 2, screen.bottom() - 60);
    const QString script = QStringLiteral(
        "xdotool mousemove %1 %2 sleep 0.3 mousedown 1 sleep 0.2 mousemove %3 %4 sleep 0.2 "
        "mousemove %5 %6 sleep 0.3 mousemove %7 %8 sleep 0.5 mouseup 1")
                               .arg(from.x())
                               .arg(from.y())
                               .arg(from.x() + 20)
                               .arg(from.y() + 5)
                               .arg((from.x() + to.x()) / 2)
                               .arg((from.y() + to.y()) / 2)
                               .arg(to.x())
                               .arg(to.y());
    ASSERT_TRUE(QProcess::startDetached(QStringLiteral("sh"), {QStringLiteral("-c"), script}));
    ASSERT_TRUE(waitUntil([&] { return target.lines().contains(QStringLiteral("dropped")); }, 10000))
        << target.lines().join(QLatin1Char('\n')).toStdString();
    const QStringList lines = target.lines();
    EXPECT_TRUE(lines.contains(QStringLiteral("droptext:caption of the picture")))
        << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("dropimage:64x48"))) << lines.join(QLatin1Char('\n')).toStdString();
    EXPECT_TRUE(lines.contains(QStringLiteral("drop:image/png:%1").arg(png.size())));
}

TEST_F(HistoryPanelEndToEndTest, ARowDroppedOnThePanelsOwnSearchFieldIsRefused)
{
    copyItems({{QStringLiteral("public.utf8-plain-text"), "dragged onto ourselves"}});
    other.reset();
    ASSERT_TRUE(openWithHotkey());
    ASSERT_TRUE(waitUntil([&] { return !view()->list()->rowRect(0).isEmpty(); }));
    const QRect row = view()->list()->rowRect(0);
    QLineEdit* field = view()->searchBar()->field();
    const QPoint from = view()->list()->viewport()->mapToGlobal(QPoint(row.left() + 60, row.center().y()));
    const QPoint to = field->mapToGlobal(field->rect().center());
    bool ended = false;
    const QString script = QStringLiteral(
        "xdotool mousemove %1 %2 sleep 0.3 mousedown 1 sleep 0.2 mousemove %3 %4 sleep 0.2 "
        "mousemove %5 %6 sleep 0.3 mousemove %7 %8 sleep 0.5 mouseup 1")
                               .arg(from.x())
                               .arg(from.y())
                               .arg(from.x() + 10)
                               .arg(from.y() - 10)
                               .arg((from.x() + to.x()) / 2)
                               .arg((from.y() + to.y()) / 2)
                               .arg(to.x())
                               .arg(to.y());
    QProcess drag;
    drag.start(QStringLiteral("sh"), {QStringLiteral("-c"), script});
    ASSERT_TRUE(waitUntil(
        [&] {
            ended = drag.state() == QProcess::NotRunning;
            return ended;
        },
        10000));
    spin(300);
    EXPECT_TRUE(field->text().isEmpty()) << "the search field took our own clip: " << field->text().toStdString();
    EXPECT_EQ(listed().size(), 1); // and the list was not filtered by it
}

namespace {

// A window of one colour and an EWMH type across the top of the screen, height high (0: the whole
// screen): the desktop behind the windows, or a top bar that reserves its height.
class ScreenWindow {
public:
    ScreenWindow(const char* type, QRgb color, int height = 0)
        : m_display(XOpenDisplay(nullptr))
    {
        const int width = DisplayWidth(m_display, DefaultScreen(m_display));
        m_window = XCreateSimpleWindow(m_display, DefaultRootWindow(m_display), 0, 0, unsigned(width),
            unsigned(height ? height : DisplayHeight(m_display, DefaultScreen(m_display))), 0, 0, color & 0xffffff);
        const long atom = long(XInternAtom(m_display, type, False));
        XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_WINDOW_TYPE", False), XA_ATOM, 32,
            PropModeReplace, reinterpret_cast<const unsigned char*>(&atom), 1);
        XSizeHints place {};
        place.flags = USPosition | PPosition;
        XSetWMNormalHints(m_display, m_window, &place);
        const long strut[12] = {0, 0, height, 0, 0, 0, 0, 0, 0, width - 1, 0, 0};
        if (height)
            XChangeProperty(m_display, m_window, XInternAtom(m_display, "_NET_WM_STRUT_PARTIAL", False), XA_CARDINAL,
                32, PropModeReplace, reinterpret_cast<const unsigned char*>(strut), 12);
        XMapWindow(m_display, m_window);
        XSync(m_display, False);
    }
    ~ScreenWindow()
    {
        XDestroyWindow(m_display, m_window);
        XCloseDisplay(m_display);
    }

private:
    Display* m_display;
    Window m_window;
};

// A compositing manager that blends translucent windows (no shadows, no fading), for as long as
// it lives.
class Compositor {
public:
    Compositor()
    {
        m_process.start(QStringLiteral("xcompmgr"), QStringList {});
        m_running = m_process.waitForStarted() && waitUntil([] { return x11CompositingManagerRunning(); }, 10000);
        Compositing::setProbe(&x11CompositingManagerRunning);
    }
    ~Compositor()
    {
        Compositing::setProbe({});
        m_process.terminate();
        m_process.waitForFinished(5000);
        waitUntil([] { return !x11CompositingManagerRunning(); }, 5000);
    }
    bool isRunning() const { return m_running; }

private:
    QProcess m_process;
    bool m_running = false;
};

double luminance(QRgb color)
{
    auto channel = [](int c) {
        const double v = c / 255.0;
        return v <= 0.04045 ? v / 12.92 : std::pow((v + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(qRed(color)) + 0.7152 * channel(qGreen(color)) + 0.0722 * channel(qBlue(color));
}

double contrast(QRgb a, QRgb b)
{
    const double la = luminance(a), lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

// How a tab's label reads in its picture: the background is the commonest colour of the button,
// the label's the tenth strongest of its pixels (the cores of the glyphs, not one stray pixel).
double labelContrast(const QImage& button)
{
    QHash<QRgb, int> counts;
    for (int y = 0; y < button.height(); ++y)
        for (int x = 0; x < button.width(); ++x)
            ++counts[button.pixel(x, y) | 0xff000000];
    const QRgb background = std::max_element(counts.cbegin(), counts.cend()).key();
    std::vector<double> ratios;
    for (int y = 0; y < button.height(); ++y)
        for (int x = 0; x < button.width(); ++x)
            ratios.push_back(contrast(button.pixel(x, y), background));
    std::sort(ratios.begin(), ratios.end(), std::greater<>());
    return ratios.size() >= 10 ? ratios[9] : 1.0;
}

}

// The Clipboard / Screenshots switcher, and the filter chip of the application a copy came from,
// read at 4.5:1 or more against what is behind them, with the glass at every darkness, over a light
// and a dark desktop, with and without a compositor.
TEST_F(HistoryPanelEndToEndTest, TheTabsReadOverAnyDesktopAtEveryGlassDarkness)
{
    prefs->set(QStringLiteral("closeOnFocusLoss"), false);
    copyWithXclip("from a program without a name"); // offered as the suggested "Unknown" chip
    QStringList failures;
    for (const bool compositing : {false, true}) {
        std::optional<Compositor> compositor;
        if (compositing) {
            compositor.emplace();
            ASSERT_TRUE(compositor->isRunning()) << "xcompmgr did not start";
        }
        for (const QRgb desk : {qRgb(255, 255, 255), qRgb(0, 0, 0)}) {
            ScreenWindow desktop("_NET_WM_WINDOW_TYPE_DESKTOP", desk);
            // A new manager makes a new panel, see-through only under a compositor.
            makeWindows();
            windows->showHistoryWindow();
            ASSERT_TRUE(waitUntil([&] { return windows->historyPanel()->isActiveWindow(); }));
            HistoryPanel* panel = windows->historyPanel();
            EXPECT_EQ(panel->testAttribute(Qt::WA_TranslucentBackground), compositing);
            const QWidget* switcher = tabButton(HistoryTab::clipboard)->parentWidget();
            const QRect band(switcher->mapToGlobal(QPoint(0, 0)), switcher->size());
            // Beside the switcher: the glass itself, which shows when the new darkness is on the screen.
            const QPoint glass(panel->mapToGlobal(QPoint(7, 0)).x(), band.center().y());
            for (const double darkness : {0.0, 0.45, 0.7, 1.0}) {
                prefs->set(QStringLiteral("glassDarkness"), darkness);
                // 1.0 is beyond what the setting offers: the default darkness shows.
                const double shown = darkness > 0.7 ? 0.45 : darkness;
                const double behind = compositing ? 0.82 * 30 + 0.18 * qRed(desk) : 30;
                const int expected = qRound(behind * (1 - shown));
                QImage picture;
                const bool settled = waitUntil(
                    [&] {
                        picture = QGuiApplication::primaryScreen()->grabWindow(0).toImage();
                        return std::abs(qRed(picture.pixel(glass)) - expected) <= 3;
                    },
                    10000);
                EXPECT_TRUE(settled) << "the glass beside the tabs is " << qRed(picture.pixel(glass)) << ", not "
                                     << expected;
                const QString name = QStringLiteral("history_tabs_%1_%2_%3.png")
                                         .arg(compositing ? "compositor" : "opaque", qRed(desk) ? "light" : "dark")
                                         .arg(qRound(darkness * 100));
                picture.copy(panel->frameGeometry().adjusted(-20, -20, 20, 20).intersected(picture.rect()))
                    .save(artifact(name));
                QList<QWidget*> labelled {tabButton(HistoryTab::clipboard), tabButton(HistoryTab::screenshots)};
                for (FilterChip* chip : view()->findChildren<FilterChip*>())
                    if (chip->isSuggestion())
                        labelled << chip;
                ASSERT_EQ(labelled.size(), 3);
                for (QWidget* widget : labelled) {
                    const QRect area(widget->mapToGlobal(QPoint(0, 0)), widget->size());
                    const double ratio = labelContrast(picture.copy(area));
                    if (ratio < 4.5)
                        failures << QStringLiteral("%1, %2: %3:1")
                                        .arg(name, qobject_cast<QAbstractButton*>(widget)->text())
                                        .arg(ratio, 0, 'f', 2);
                }
            }
            windows->hideHistoryWindow();
        }
    }
    EXPECT_TRUE(failures.isEmpty()) << failures.join(QLatin1Char('\n')).toStdString();
}

namespace {

// The rectangle of the window manager's frame around a client: the client's place on the screen
// widened by its _NET_FRAME_EXTENTS (left, right, top, bottom); empty before the frame exists.
QRect wmFrameOf(unsigned long client)
{
    Display* display = XOpenDisplay(nullptr);
    QRect frame;
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    XWindowAttributes attributes {};
    Window child = 0;
    int x = 0, y = 0;
    if (XGetWindowProperty(display, client, XInternAtom(display, "_NET_FRAME_EXTENTS", False), 0, 4, False, XA_CARDINAL,
            &type, &format, &count, &after, &data)
            == Success
        && count == 4 && XGetWindowAttributes(display, client, &attributes)
        && XTranslateCoordinates(display, client, DefaultRootWindow(display), 0, 0, &x, &y, &child)) {
        const long* extents = reinterpret_cast<const long*>(data);
        frame = QRect(x, y, attributes.width, attributes.height)
                    .adjusted(-int(extents[0]), -int(extents[2]), int(extents[1]), int(extents[3]));
    }
    if (data)
        XFree(data);
    XCloseDisplay(display);
    return frame;
}

// Where the window manager's frame around a client was while it was on the screen, as the X
// server tells a client that watches the windows at the top of the tree.
class FrameWatch {
public:
    FrameWatch()
        : m_display(XOpenDisplay(nullptr))
    {
        XSelectInput(m_display, DefaultRootWindow(m_display), SubstructureNotifyMask);
        XSync(m_display, False);
    }
    ~FrameWatch() { XCloseDisplay(m_display); }

    // Every place, borders included, of the frame that holds client now, from its first mapping on
    // (a place that did not change is listed once).
    QStringList placesOnScreen(unsigned long client)
    {
        Window frame = client, root = 0, parent = 0, *children = nullptr;
        unsigned int count = 0;
        while (XQueryTree(m_display, frame, &root, &parent, &children, &count) && parent != root) {
            XFree(children);
            frame = parent;
        }
        XFree(children);
        // After the query's reply: every event of the frame found (the window manager may have made
        // a new one for this show) came before it.
        handlePendingEvents(m_display, [this](const XEvent& event) { m_events.push_back(event); });
        QRect place;
        bool mapped = false;
        QStringList places;
        for (const XEvent& event : m_events) {
            if (event.type == CreateNotify && event.xcreatewindow.window == frame) {
                const XCreateWindowEvent& e = event.xcreatewindow;
                place = QRect(e.x, e.y, e.width + 2 * e.border_width, e.height + 2 * e.border_width);
            } else if (event.type == ConfigureNotify && event.xconfigure.window == frame) {
                const XConfigureEvent& e = event.xconfigure;
                place = QRect(e.x, e.y, e.width + 2 * e.border_width, e.height + 2 * e.border_width);
            } else if (event.type == MapNotify && event.xmap.window == frame) {
                mapped = true;
            } else if (event.type == UnmapNotify && event.xunmap.window == frame) {
                mapped = false;
            }
            if (mapped && (places.isEmpty() || places.last() != WindowManager::rectToString(place)))
                places << WindowManager::rectToString(place);
        }
        return places;
    }

private:
    Display* m_display;
    std::vector<XEvent> m_events;
};

// The sizes the history panel is given while it is on the screen.
class PanelResizes : public QObject {
public:
    PanelResizes() { qApp->installEventFilter(this); }
    QList<QSize> sizes;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Resize && qobject_cast<HistoryPanel*>(watched)
            && static_cast<QWidget*>(watched)->isVisible())
            sizes << static_cast<QResizeEvent*>(event)->size();
        return false;
    }
};

}

// Run by the test below on a display of its own with a window manager that draws title bars:
// the titled right-side panel, frame and title bar included, lies inside the work area.
TEST_F(HistoryPanelEndToEndTest, TitledRightPanelOnADesktopWithATopBar)
{
    if (qEnvironmentVariableIsEmpty("QUORVEL_TITLED_WM"))
        GTEST_SKIP() << "runs on a display with a window manager that draws title bars";
    ScreenWindow bar("_NET_WM_WINDOW_TYPE_DOCK", qRgb(48, 80, 160), 32);
    QScreen* screen = QGuiApplication::primaryScreen();
    ASSERT_TRUE(waitUntil([&] { return screen->availableGeometry().top() == 32; }, 20000))
        << "the work area did not leave out the top bar";
    const QRect workArea = screen->availableGeometry();
    prefs->set(QStringLiteral("hideTitleBar"), false);
    prefs->set(QStringLiteral("showAsRightPanel"), true);
    prefs->set(QStringLiteral("closeOnFocusLoss"), false);
    makeWindows();
    // Frame, title bar and borders included, the panel fills the column at the right edge of the
    // work area.
    const QRect column(workArea.right() + 1 - WindowManager::rightPanelWidth, workArea.top(),
        WindowManager::rightPanelWidth, workArea.height());
    QRect frame;
    auto framedInColumn = [&] {
        frame = wmFrameOf(windows->historyPanel()->winId());
        return frame == column;
    };
    // The picture once the panel's content is on the screen.
    auto shot = [&](const QString& name) {
        HistoryPanel* panel = windows->historyPanel();
        // Its top and its foot (the footer, once it was laid out for the panel's height).
        const QPoint top = panel->geometry().topLeft() + QPoint(panel->width() / 2, 20);
        const QPoint foot = panel->geometry().bottomLeft() + QPoint(panel->width() / 2, -10);
        QImage picture;
        EXPECT_TRUE(waitUntil(
            [&] {
                picture = screen->grabWindow(0).toImage();
                return picture.pixelColor(top) != QColor(Qt::black) && picture.pixelColor(foot) != QColor(Qt::black);
            },
            20000))
            << "nothing drawn at the top or the foot of the panel";
        picture.save(artifact(name));
    };
    // From the first show of the session on, the frame comes on the screen at its place and
    // stays there, and the panel is laid out once for its height.
    FrameWatch watch;
    for (int show = 0; show < 2; ++show) {
        PanelResizes resizes;
        windows->showHistoryWindow();
        EXPECT_TRUE(waitUntil(framedInColumn, 20000))
            << "frame " << WindowManager::rectToString(frame).toStdString() << ", not "
            << WindowManager::rectToString(column).toStdString() << " in the work area "
            << WindowManager::rectToString(workArea).toStdString();
        shot(QStringLiteral("history_titled_right_panel_%1.png").arg(show + 1));
        EXPECT_EQ(
            watch.placesOnScreen(windows->historyPanel()->winId()), QStringList {WindowManager::rectToString(column)})
            << "show " << show + 1;
        EXPECT_TRUE(resizes.sizes.isEmpty()) << "show " << show + 1 << ": resized after it was shown";
        windows->hideHistoryWindow();
    }
    // The title bar taken away and given back on the open panel: the frame fills the column again.
    windows->showHistoryWindow();
    windows->updateTitleBar(true);
    windows->updateTitleBar(false);
    EXPECT_TRUE(waitUntil(framedInColumn, 20000)) << WindowManager::rectToString(frame).toStdString();
    shot(QStringLiteral("history_titled_right_panel_toggled.png"));
    windows->hideHistoryWindow();
}

namespace {

// A private X server with openbox on it, which draws title bars, keeps the area that docks
// reserve out of the work area, and weighs requests for the focus against the user's last input.
class OpenboxDisplay {
public:
    ~OpenboxDisplay() { stop(); }
    // True once openbox manages the screen; tries a few servers. Tells in failure what went wrong.
    bool start(std::string& failure)
    {
        for (int attempt = 0; attempt < 5; ++attempt) {
            stop();
            if (!m_server.start(QStringLiteral("1280x800"), failure))
                return false;
            display = m_server.display;
            environment = QProcessEnvironment::systemEnvironment();
            environment.insert(QStringLiteral("DISPLAY"), display);
            environment.remove(QStringLiteral("XAUTHORITY"));
            m_windowManager.setProcessEnvironment(environment);
            m_windowManager.setProcessChannelMode(QProcess::MergedChannels);
            m_windowManager.start(QStringLiteral("openbox"), {QStringLiteral("--sm-disable")});
            const QString check = QStringLiteral("xprop -display %1 -root _NET_SUPPORTING_WM_CHECK").arg(display);
            bool managed = false;
            waitUntil(
                [&] {
                    QProcess xprop;
                    xprop.start(QStringLiteral("sh"), {QStringLiteral("-c"), check});
                    managed = xprop.waitForFinished(5000) && xprop.readAllStandardOutput().contains("window id")
                        && m_windowManager.state() == QProcess::Running;
                    return managed || m_windowManager.state() == QProcess::NotRunning;
                },
                60000);
            if (managed)
                return true;
            failure += "openbox on " + display.toStdString() + ": " + m_windowManager.readAll().toStdString() + "\n";
        }
        return false;
    }
    void stop()
    {
        m_windowManager.terminate();
        m_windowManager.waitForFinished(10000);
        m_server.stop();
    }

    QString display;
    QProcessEnvironment environment;

private:
    PrivateXServer m_server;
    QProcess m_windowManager;
};

// Runs one test of this file on a display of its own with openbox.
void runUnderOpenbox(const QString& test)
{
    OpenboxDisplay openbox;
    std::string failure;
    ASSERT_TRUE(openbox.start(failure)) << failure;
    QProcessEnvironment environment = openbox.environment;
    QProcess inner;
    environment.insert(QStringLiteral("QUORVEL_TITLED_WM"), QStringLiteral("1"));
    inner.setProcessEnvironment(environment);
    inner.setProcessChannelMode(QProcess::MergedChannels);
    inner.start(QCoreApplication::applicationFilePath(), {QStringLiteral("--gtest_filter=") + test});
    ASSERT_TRUE(inner.waitForStarted(20000));
    const bool ended = waitUntil([&] { return inner.state() == QProcess::NotRunning; }, 120000);
    const QByteArray output = inner.readAll();
    ASSERT_TRUE(ended) << output.toStdString();
    EXPECT_EQ(inner.exitCode(), 0) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

bool skipUnderOpenbox(std::string& reason)
{
    if (!qEnvironmentVariableIsEmpty("QUORVEL_TITLED_WM"))
        reason = "this is the display the test runs on";
    else if (QStandardPaths::findExecutable(QStringLiteral("openbox")).isEmpty())
        reason = "openbox is not installed (scripts/setup installs it)";
    return !reason.empty();
}

}

// The test above on openbox.
TEST(HistoryPanelTitleBar, TheTitledRightPanelStaysInsideTheWorkArea)
{
    if (std::string reason; skipUnderOpenbox(reason))
        GTEST_SKIP() << reason;
    runUnderOpenbox(QStringLiteral("HistoryPanelEndToEndTest.TitledRightPanelOnADesktopWithATopBar"));
}

// The hotkey's panel takes the keyboard from the program in front, on openbox.
TEST(HistoryPanelUnderOpenbox, TheHotkeyPanelTakesTheKeyboardFocus)
{
    if (std::string reason; skipUnderOpenbox(reason))
        GTEST_SKIP() << reason;
    runUnderOpenbox(QStringLiteral("HistoryPanelEndToEndTest.TheHotkeyPanelTakesTheKeyboardFromTheProgramInFront"));
}

TEST_F(HistoryPanelEndToEndTest, FrameIsKeptAcrossARestart)
{
    copyWithXclip("something to show");
    ASSERT_TRUE(openWithHotkey());
    HistoryPanel* panel = windows->historyPanel();
    panel->setGeometry(140, 90, 460, 560);
    ASSERT_TRUE(waitUntil([&] { return panel->geometry() == QRect(140, 90, 460, 560); }))
        << WindowManager::rectToString(panel->geometry()).toStdString();
    windows->hideHistoryWindow();
    const QString saved = prefs->stringForKey(WindowManager::windowFrameKey);
    EXPECT_EQ(saved, QStringLiteral("{{140, 90}, {460, 560}}"));

    // A new process: preferences read from the file, a new manager, the same frame.
    JsonFilePreferences restarted(dir.filePath(QStringLiteral("preferences.json")));
    restarted.registerDefaults(AppDelegate::registeredDefaults());
    EXPECT_EQ(restarted.stringForKey(WindowManager::windowFrameKey), saved);
    makeWindows(&restarted);
    ASSERT_TRUE(openWithHotkey());
    EXPECT_TRUE(waitUntil([&] { return windows->historyPanel()->geometry() == QRect(140, 90, 460, 560); }))
        << WindowManager::rectToString(windows->historyPanel()->geometry()).toStdString();
    windows->hideHistoryWindow();
    hotkeys.reset();
    windows.reset();
}

}
