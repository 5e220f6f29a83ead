// The top shelf and the right-edge tab on a real X server without a compositor: hover with the
// real pointer, the history hotkey, a card's context menu pasting into another program, the
// collapsed shelf covering nothing, and the edge tab revealing and closing the history panel.
#include "app/AppDelegate.h"
#include "clipboard/ClipboardSuspension.h"
#include "app/HotkeyService.h"
#include "clipboard/PasteService.h"
#include "history/HistoryEdgeRevealController.h"
#include "history/ImageDecoding.h"
#include "clipboard/AppIconCache.h"
#include "clipboard/ImageCache.h"
#include "platform/Dispatch.h"
#include "history/NotchShelfContentView.h"
#include "history/NotchShelfItemCard.h"
#include "history/NotchShelfWindowManager.h"
#include "history/SearchBar.h"
#include "history/QuickLookPanelManager.h"
#include "history/WindowManager.h"
#include "platform/NotificationCenter.h"
#include "platform/linux/JsonFilePreferences.h"
#include "platform/linux/X11Compositing.h"
#include "platform/linux/X11DisplayList.h"
#include "platform/linux/X11ForeignWindowTracker.h"
#include "platform/linux/X11HotkeyRegistrar.h"
#include "platform/linux/X11KeySynthesizer.h"
#include "platform/linux/X11Pasteboard.h"
#include "platform/linux/X11Permissions.h"
#include "platform/linux/X11PointerLocation.h"
#include "platform/linux/X11WindowShape.h"
#include "platform/linux/X11Workspace.h"
#include "store/ModelContext.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QGuiApplication>
#include <QMenu>
#include <QScreen>
#include <QTimer>
#include <gtest/gtest.h>
#include "X11TestSupport.h"
#include "TargetApp.h"
#include <X11/extensions/shape.h>

using namespace x11test;

namespace {

QImage grabScreen(const QRect& area)
{
    return QGuiApplication::primaryScreen()->grabWindow(0, area.x(), area.y(), area.width(), area.height()).toImage();
}

bool moveTo(int x, int y)
{
    return xdotool({QStringLiteral("mousemove"), QString::number(x), QString::number(y)});
}

// The number of rectangles of a window's shape (bounding or input).
int shapeRectangles(unsigned long window, int kind)
{
    Display* dpy = XOpenDisplay(nullptr);
    int count = 0, ordering = 0;
    XRectangle* rects = XShapeGetRectangles(dpy, window, kind, &count, &ordering);
    if (rects)
        XFree(rects);
    XCloseDisplay(dpy);
    return count;
}

class NotchShelfEndToEndTest : public ::testing::Test, protected X11AppServices {
protected:
    void SetUp() override
    {
        ASSERT_TRUE(store.container);
        ASSERT_TRUE(registrar.isAvailable()) << "needs an X display";
        ASSERT_FALSE(x11CompositingManagerRunning()) << "these checks are about a desktop without a compositor";
        Theme::install();
        Symbols::installIconTheme();
        Permissions::setShared(&permissions);
        prefs = std::make_unique<JsonFilePreferences>(dir.filePath(QStringLiteral("preferences.json")));
        prefs->registerDefaults(AppDelegate::registeredDefaults());
        shelf.setModelContainer(store.container);
        shelf.setFocusReturn([this] { tracker.restoreFocus(); });
        shelf.setContentFactory(
            [this](ModelContainer& container, NotchShelfWindowManager& manager, QWidget* parent) -> QWidget* {
                NotchShelfContentView::Needs needs {*prefs, notifications, paste, images, icons, &pasteboard, &tracker,
                    [&manager](const ClipItemPtr& item) { manager.showQuickLook(item); }};
                return new NotchShelfContentView(container.mainContext(), manager, std::move(needs), parent);
            },
            NotchShelfContentView::requiredHeight());
        windows = std::make_unique<WindowManager>(WindowManager::Needs {.paste = paste,
            .notifications = notifications,
            .preferences = *prefs,
            .quickLook = &quickLook,
            .permissions = &permissions,
            .pasteboard = &pasteboard});
        windows->setModelContainer(store.container);
        hotkeys = std::make_unique<HotkeyService>(registrar, *prefs, DispatchQueue::main(), *windows);
        hotkeys->setShelf(&shelf);
        hotkeys->registerHotkey();
    }
    void TearDown() override
    {
        hotkeys.reset();
        shelf.setEnabled(false);
        windows.reset();
        Permissions::setShared(nullptr);
        waitUntil([this] { return !suspension.isSuspended(); }, 3000);
    }

    void addEntry(const ClipItemPtr& item, int ageMinutes)
    {
        item->timestamp = QDateTime::currentDateTimeUtc().addSecs(-60 * ageMinutes);
        store.container->mainContext().insert(item);
        ASSERT_TRUE(store.container->mainContext().save());
    }
    void addSamples()
    {
        addEntry(
            std::make_shared<ClipItem>(QDateTime(), QStringLiteral("org.mozilla.firefox"), QStringLiteral("Firefox"),
                false, QStringLiteral("https://www.qt.io/blog"), std::vector<ClipRepresentationPtr> {},
                QStringLiteral("Qt Blog"), imageBytes(320, 180, "jpg", QColor(65, 205, 82)), false, false, 0,
                std::nullopt, std::nullopt, std::nullopt, false, std::nullopt, false, std::nullopt),
            90);
        addEntry(std::make_shared<ClipItem>(QDateTime(), QStringLiteral("org.gimp.GIMP"), QStringLiteral("GIMP"), false,
                     QString(), std::vector<ClipRepresentationPtr> {}, std::nullopt, std::nullopt, true, false, 0,
                     std::nullopt, std::nullopt, imageBytes(480, 300, "png", QColor(70, 130, 180)), false, std::nullopt,
                     false, std::nullopt),
            30);
        addEntry(
            makeTextEntry(QStringLiteral("Release checklist:\n1. tag the build\n2. write the notes\n3. tell the team")),
            5);
        addEntry(makeTextEntry(QStringLiteral("shelf paste works")), 1);
    }
    NotchShelfContentView* content() { return qobject_cast<NotchShelfContentView*>(shelf.content()); }
    QRect panelFrame() { return shelf.panel()->geometry(); }

    X11DisplayList displays;
    X11PointerLocation pointer;
    X11WindowShape shapes;
    X11ForeignWindowTracker tracker {workspace};
    ClipboardSuspension suspension;
    NotificationCenter notifications;
    ImageCache images {notifications};
    std::unique_ptr<DispatchQueue> iconLoading = DispatchQueue::makeSerial(QStringLiteral("test.appiconloading"));
    AppIconCache icons {*iconLoading, DispatchQueue::main()};
    PasteService paste {
        pasteboard, workspace, keys, DispatchQueue::main(), suspension, dir.filePath(QStringLiteral("trace.txt"))};
    QuickLookPanelManager quickLook {pasteboard};
    NotchShelfWindowManager shelf {{prefs.get(), &displays, &pointer, &shapes, notifications, DispatchQueue::main(),
        &x11CompositingManagerRunning, &quickLook}};
    std::unique_ptr<WindowManager> windows;
    std::unique_ptr<HotkeyService> hotkeys;
};

}

TEST_F(NotchShelfEndToEndTest, HoverHotkeyAndPasteFromACard)
{
    addSamples();
    // A plain white window of another client fills the screen (the window manager maximises it).
    ForeignWindow backdrop("backdrop", "Backdrop", 4321, false);
    ASSERT_TRUE(backdrop.isValid());
    ASSERT_TRUE(moveTo(640, 600));
    spin(200);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QImage before = grabScreen(screen);

    prefs->set(NotchShelfWindowManager::enabledKey, true);
    shelf.setEnabled(prefs->boolForKey(NotchShelfWindowManager::enabledKey));
    ASSERT_TRUE(shelf.panel());
    spin(300);
    // Collapsed: the panel has no pixel and takes no click.
    EXPECT_EQ(shapeRectangles(shelf.panel()->winId(), ShapeBounding), 0);
    EXPECT_EQ(shapeRectangles(shelf.panel()->winId(), ShapeInput), 0);
    EXPECT_EQ(grabScreen(screen), before) << "the collapsed shelf covers pixels";

    // Resting on the top centre expands it; leaving collapses it.
    ASSERT_TRUE(moveTo(screen.center().x(), 8));
    ASSERT_TRUE(waitUntil([&] { return shelf.isExpanded(); })) << "hover did not expand the shelf";
    ASSERT_TRUE(content());
    ASSERT_EQ(content()->cardCount(), 4);
    ImageDecoding::waitForDecodes();
    spin(500);
    const QRect frame = panelFrame();
    const QImage expanded = grabScreen(frame);
    EXPECT_TRUE(expanded.save(artifact(QStringLiteral("notch_shelf_x11.png"))));
    // The card is dark; the band beside the strip and the rounded corners show what is below.
    const QRect card = shelf.interactiveFrame();
    EXPECT_LT(qGray(expanded.pixel(card.center().x(), card.top() + 6)), 40);
    EXPECT_EQ(expanded.pixel(2, 2), before.pixel(frame.x() + 2, frame.y() + 2));
    EXPECT_EQ(expanded.pixel(card.left(), card.top()), before.pixel(frame.x() + card.left(), frame.y() + card.top()));

    ASSERT_TRUE(moveTo(screen.center().x(), screen.height() - 40));
    ASSERT_TRUE(waitUntil([&] { return !shelf.isExpanded(); })) << "leaving did not collapse the shelf";
    spin(200);
    EXPECT_EQ(grabScreen(screen), before);

    // The history hotkey toggles the shelf, without taking the focus from the target.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(waitUntil([&] { return shelf.isExpanded(); })) << "the hotkey did not expand the shelf";
    EXPECT_FALSE(windows->isVisible());
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(waitUntil([&] { return !shelf.isExpanded(); })) << "the hotkey did not collapse the shelf";

    // The first card's menu pastes into the program that was active.
    TargetApp target;
    ASSERT_TRUE(target.start(QStringLiteral("Paste target"))) << "the target program did not come up";
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(waitUntil([&] { return shelf.isExpanded() && content() && content()->cardCount() > 0; }));
    const QPoint cardCentre = content()->mapToGlobal(content()->cardRect(0).center());
    ASSERT_TRUE(moveTo(cardCentre.x(), cardCentre.y()));
    // The menu runs its own event loop: a timer inside it picks "Paste" with the real pointer.
    bool menuSeen = false;
    bool heldOpen = false;
    QTimer chooser;
    QObject::connect(&chooser, &QTimer::timeout, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu || menuSeen)
            return;
        menuSeen = true;
        heldOpen = shelf.isInteracting();

        const QPoint item = menu->mapToGlobal(menu->actionGeometry(menu->actions().first()).center());
        moveTo(item.x(), item.y());
        xdotool({QStringLiteral("click"), QStringLiteral("1")});
    });
    chooser.start(100);
    ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("3")}));
    ASSERT_TRUE(waitUntil([&] { return menuSeen; })) << "no context menu";
    EXPECT_TRUE(heldOpen) << "the menu holds the shelf open";
    EXPECT_TRUE(waitUntil([&] { return target.text() == QStringLiteral("shelf paste works"); }, 8000))
        << "field holds: " << target.text().toStdString();
    EXPECT_EQ(paste.targetPID(), target.pid());
    EXPECT_TRUE(shelf.isExpanded()) << "pasting does not collapse the shelf";

    // Typing in the search field: the shelf takes the keyboard and stays while the pointer is away;
    // a click into the other program collapses it.
    const QPoint field = content()->searchBar()->mapToGlobal(content()->searchBar()->rect().center());
    ASSERT_TRUE(moveTo(field.x(), field.y()));
    ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return shelf.panel()->isActiveWindow(); }))
        << "the search field did not take the keyboard";
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("zzz")}));
    ASSERT_TRUE(waitUntil([&] { return content()->emptyText() == QStringLiteral("No results found"); }));
    ASSERT_TRUE(moveTo(screen.center().x(), screen.height() - 40));
    spin(800);
    EXPECT_TRUE(shelf.isExpanded()) << "the shelf collapsed while it held the keyboard";
    ASSERT_TRUE(xdotool({QStringLiteral("mousedown"), QStringLiteral("1")}));
    spin(200);
    ASSERT_TRUE(xdotool({QStringLiteral("mouseup"), QStringLiteral("1")}));
    EXPECT_TRUE(waitUntil([&] { return !shelf.isExpanded(); })) << "a click into another program did not collapse it";
    // The keyboard is the other program's again.
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("!")}));
    EXPECT_TRUE(waitUntil([&] { return target.text().endsWith(QLatin1Char('!')); }))
        << "field holds: " << target.text().toStdString();
}

TEST_F(NotchShelfEndToEndTest, EdgeTabRevealsAndClosesTheHistoryPanel)
{
    addSamples();
    prefs->set(QStringLiteral("showAsRightPanel"), true);
    ForeignWindow backdrop("backdrop", "Backdrop", 4321, false);
    ASSERT_TRUE(moveTo(300, 400));
    HistoryEdgeRevealController edge(
        {&displays, &shapes, notifications, DispatchQueue::main(), [this] { return windows->isVisible(); },
            [this] { windows->showHistoryWindow(); }, [this] { windows->hideHistoryWindow(); },
            [this]() -> QWidget* { return windows->historyPanel(); }, &x11CompositingManagerRunning});
    prefs->set(HistoryEdgeRevealController::enabledKey, true);
    edge.setEnabled(prefs->boolForKey(HistoryEdgeRevealController::enabledKey));
    ASSERT_EQ(edge.panels().size(), 1);
    spin(300);
    const QRect tab = edge.panels().first()->geometry();
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    EXPECT_EQ(tab, QRect(screen.right() + 1 - 16, screen.center().y() + 1 - 45, 16, 90));
    const QImage around = grabScreen(tab.adjusted(-64, -20, 0, 20));
    EXPECT_TRUE(around.scaled(around.size() * 3).save(artifact(QStringLiteral("edge_tab_x11.png"))));

    ASSERT_TRUE(moveTo(tab.center().x(), tab.center().y()));
    ASSERT_TRUE(waitUntil([&] { return windows->isVisible(); })) << "resting on the tab did not open the panel";
    EXPECT_TRUE(edge.openedViaHover());
    ASSERT_TRUE(moveTo(200, 400));
    EXPECT_TRUE(waitUntil([&] { return !windows->isVisible(); })) << "leaving did not close the panel";
    EXPECT_FALSE(edge.openedViaHover());

    // Opened by the hotkey: a pass over the tab leaves it open.
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(waitUntil([&] { return windows->isVisible(); }));
    ASSERT_TRUE(moveTo(tab.center().x(), tab.center().y()));
    spin(400);
    ASSERT_TRUE(moveTo(200, 400));
    spin(800);
    EXPECT_TRUE(windows->isVisible());
}

TEST_F(NotchShelfEndToEndTest, SearchTypedIntoTheShelfShowsTheMatchingCards)
{
    addSamples();
    prefs->set(NotchShelfWindowManager::enabledKey, true);
    shelf.setEnabled(true);
    ASSERT_TRUE(shelf.panel());
    ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("super+shift+v")}));
    ASSERT_TRUE(waitUntil([&] { return shelf.isExpanded() && content() && content()->cardCount() == 4; }));
    const QPoint field = content()->searchBar()->mapToGlobal(content()->searchBar()->rect().center());
    ASSERT_TRUE(moveTo(field.x(), field.y()));
    ASSERT_TRUE(xdotool({QStringLiteral("click"), QStringLiteral("1")}));
    ASSERT_TRUE(waitUntil([&] { return shelf.panel()->isActiveWindow(); }));
    ASSERT_TRUE(xdotool({QStringLiteral("type"), QStringLiteral("checklist")}));
    // One card, on screen: its tile is lighter than the shelf's black.
    const auto shown = [&](int count) {
        return waitUntil([&] {
            if (content()->cardCount() != count)
                return false;
            for (int i = 0; i < count; ++i) {
                const QRect card = content()->cardRect(i);
                const QPoint centre = content()->mapToGlobal(QPoint(card.center().x(), card.bottom() - 11));
                if (!content()->isCardShown(i) || qGray(grabScreen(QRect(centre, QSize(1, 1))).pixel(0, 0)) < 8)
                    return false;
            }
            return true;
        });
    };
    EXPECT_TRUE(shown(1)) << "the matching card is not shown";
    EXPECT_TRUE(content()->emptyText().isEmpty());
    const QImage searched = grabScreen(panelFrame());
    EXPECT_TRUE(searched.save(artifact(QStringLiteral("notch_shelf_search_x11.png"))));
    for (int i = 0; i < 9; ++i)
        ASSERT_TRUE(xdotool({QStringLiteral("key"), QStringLiteral("BackSpace")}));
    EXPECT_TRUE(shown(4)) << "clearing the search did not bring every card back";
}

TEST_F(NotchShelfEndToEndTest, EdgeTabIsDrawnShapedInItsOwnColoursWithoutACompositor)
{
    ForeignWindow backdrop("backdrop", "Backdrop", 4321, false);
    ASSERT_TRUE(moveTo(300, 400));
    spin(200);
    const QRect screen = QGuiApplication::primaryScreen()->geometry();
    const QRect expected(screen.right() + 1 - 16, screen.center().y() + 1 - 45, 16, 90);
    const QImage before = grabScreen(expected);
    HistoryEdgeRevealController edge(
        {&displays, &shapes, notifications, DispatchQueue::main(), [this] { return windows->isVisible(); },
            [this] { windows->showHistoryWindow(); }, [this] { windows->hideHistoryWindow(); },
            [this]() -> QWidget* { return windows->historyPanel(); }, &x11CompositingManagerRunning});
    edge.setEnabled(true);
    ASSERT_EQ(edge.panels().size(), 1);
    spin(300);
    const QRect tab = edge.panels().first()->geometry();
    ASSERT_EQ(tab, expected);
    const QImage drawn = grabScreen(tab);
    const QImage around = grabScreen(tab.adjusted(-40, -20, 0, 20));
    EXPECT_TRUE(around.scaled(around.size() * 4).save(artifact(QStringLiteral("edge_tab_no_compositor_x11.png"))));
    // The rounded corners show the desktop below; the tab is its dark grey, the chevron light.
    EXPECT_EQ(drawn.pixel(0, 0), before.pixel(0, 0));
    EXPECT_EQ(drawn.pixel(0, 89), before.pixel(0, 89));
    EXPECT_EQ(drawn.pixelColor(8, 20), HistoryEdgeTabPanel::opaqueFill());
    EXPECT_EQ(drawn.pixelColor(15, 70), HistoryEdgeTabPanel::opaqueFill());
    int light = 0;
    for (int y = 38; y < 52; ++y)
        for (int x = 4; x < 12; ++x)
            light += qGray(drawn.pixel(x, y)) > 150 ? 1 : 0;
    EXPECT_GT(light, 6) << "no chevron";
}
