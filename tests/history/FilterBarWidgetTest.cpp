#include "HistoryTestSupport.h"
#include "history/FilterChip.h"
#include "history/SavedAppFilters.h"
#include "history/SearchBar.h"
#include "history/SmartFilterBar.h"
#include "history/VisualEffectView.h"
#include "platform/Compositing.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QLineEdit>
#include <QMenu>
#include <QSignalSpy>
#include <QTest>
#include <QToolButton>
#include <QVBoxLayout>

namespace {

class FilterBarTest : public HistoryTest {
protected:
    static void SetUpTestSuite()
    {
        Theme::install();
        Symbols::installIconTheme();
    }
    void SetUp() override { controller.setModelContext(&context()); }
    QStringList labels(const SmartFilterBar& bar)
    {
        QStringList out;
        for (FilterChip* chip : bar.chips())
            out << chip->text() + (chip->isActive() ? "*" : "") + (chip->isSuggestion() ? "?" : "");
        return out;
    }
    static QStringList menuItems(FilterChip* chip)
    {
        QStringList out;
        if (std::unique_ptr<QMenu> menu = chip->makeContextMenu())
            for (QAction* action : menu->actions())
                out << action->text();
        return out;
    }
    static FilterChip* chipNamed(const SmartFilterBar& bar, const QString& label)
    {
        for (FilterChip* chip : bar.chips())
            if (chip->text() == label)
                return chip;
        return nullptr;
    }

    // Entries from Final Cut Pro, Kate and Firefox, with Kate saved as a filter, listed.
    void addThreeAppsWithKateSaved()
    {
        add(EntrySpec {QStringLiteral("clip"), QStringLiteral("com.apple.FinalCut"), QStringLiteral("Final Cut Pro"),
            false, true});
        add(EntrySpec {QStringLiteral("code"), QStringLiteral("org.kde.kate"), QStringLiteral("Kate")});
        add(EntrySpec {QStringLiteral("page"), QStringLiteral("org.mozilla.firefox"), QStringLiteral("Firefox")});
        preferences.set(SavedAppFilters::preferenceKey, QByteArray(R"([["org.kde.kate","Kate"]])"));
        controller.reset();
    }

    ClipHistoryController controller {preferences, queue};
};

}

TEST_F(FilterBarTest, ChipsFollowTheControllerInOrderWithTheActiveOneMarked)
{
    addThreeAppsWithKateSaved();
    SmartFilterBar bar(controller);
    EXPECT_EQ(labels(bar), QStringList({"All*", "Images", "Links", "FCP", "Kate", "Firefox?", "Final Cut Pro?"}));
    EXPECT_EQ(bar.height(), 24);

    // Clicking a chip selects its filter; clicking the active chip returns to All.
    QTest::mouseClick(chipNamed(bar, "Links"), Qt::LeftButton);
    EXPECT_EQ(labels(bar), QStringList({"All", "Images", "Links*", "FCP", "Kate", "Firefox?", "Final Cut Pro?"}));
    QTest::mouseClick(chipNamed(bar, "Links"), Qt::LeftButton);
    EXPECT_EQ(controller.activeFilter(), SmartFilter::all());
    EXPECT_TRUE(chipNamed(bar, "All")->isActive());

    // An inactive suggestion is faint, its label dimmer than a saved chip's; selected it looks like
    // any active chip.
    FilterChip* firefox = chipNamed(bar, "Firefox");
    EXPECT_EQ(firefox->chipOpacity(), 0.7);
    EXPECT_LT(firefox->contentColor().lightness(), chipNamed(bar, "Kate")->contentColor().lightness());
    FilterChip* all = chipNamed(bar, "All");
    QTest::mouseClick(firefox, Qt::LeftButton);
    // The same chips change state, fading over 0.15 s.
    EXPECT_EQ(chipNamed(bar, "Firefox"), firefox);
    EXPECT_TRUE(firefox->isActive());
    EXPECT_LT(firefox->activeProgress(), 1.0);
    QTest::qWait(FilterChip::transitionMs / 2);
    EXPECT_GT(firefox->activeProgress(), 0.0);
    EXPECT_LT(all->activeProgress(), 1.0);
    EXPECT_TRUE(QTest::qWaitFor([&] { return firefox->activeProgress() == 1.0; }, 1000));
    EXPECT_EQ(all->activeProgress(), 0.0);
    EXPECT_EQ(firefox->chipOpacity(), 1.0);
    EXPECT_EQ(firefox->contentColor(), Theme::accent());

    // Every chip preference off and nothing saved: only All (and the active filter falls back).
    preferences.set(SavedAppFilters::preferenceKey, QByteArray("[]"));
    for (const char* key : {"showImagesFilter", "showLinksFilter", "showFCPFilter", "showRecentApps"})
        preferences.set(QString::fromLatin1(key), false);
    EXPECT_EQ(labels(bar), QStringList({"All*"}));
}

TEST_F(FilterBarTest, MenusSaveSuggestionsAndRemoveSavedChips)
{
    add(EntrySpec {QStringLiteral("code"), QStringLiteral("org.kde.kate"), QStringLiteral("Kate")});
    controller.reset();
    SmartFilterBar bar(controller);
    for (const QString& kind : {QStringLiteral("All"), QStringLiteral("Images"), QStringLiteral("Links")})
        EXPECT_TRUE(menuItems(chipNamed(bar, kind)).isEmpty()) << kind.toStdString();

    FilterChip* suggestion = chipNamed(bar, "Kate");
    ASSERT_TRUE(suggestion && suggestion->isSuggestion());
    EXPECT_EQ(menuItems(suggestion), QStringList({"Save Filter"}));
    std::unique_ptr<QMenu> menu = suggestion->makeContextMenu();
    menu->actions().front()->trigger();
    menu.reset();
    // Saved: the application moves from the suggestions to the saved chips.
    EXPECT_EQ(labels(bar), QStringList({"All*", "Images", "Links", "Kate"}));
    EXPECT_EQ(preferences.dataForKey(SavedAppFilters::preferenceKey), QByteArray(R"([["org.kde.kate","Kate"]])"));

    FilterChip* saved = chipNamed(bar, "Kate");
    EXPECT_EQ(menuItems(saved), QStringList({"Remove Filter"}));
    menu = saved->makeContextMenu();
    EXPECT_TRUE(menu->actions().front()->property("destructive").toBool());
    menu->actions().front()->trigger();
    menu.reset();
    // Removed: it is a suggestion again, being among the recent applications.
    EXPECT_EQ(labels(bar), QStringList({"All*", "Images", "Links", "Kate?"}));
}

TEST_F(FilterBarTest, SearchBarClearButtonAndFocus)
{
    QWidget window;
    auto* layout = new QVBoxLayout(&window);
    auto* bar = new SearchBar(false);
    layout->addWidget(bar);
    QSignalSpy edited(bar, &SearchBar::textChanged);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QApplication::setActiveWindow(&window);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    EXPECT_FALSE(bar->field()->hasFocus()); // no auto focus
    QTest::mouseClick(bar->field(), Qt::LeftButton);
    EXPECT_TRUE(bar->field()->hasFocus());
    EXPECT_EQ(bar->field()->placeholderText(), "Search clipboard...");
    EXPECT_FALSE(bar->clearButton()->isVisible());

    QTest::keyClicks(bar->field(), QStringLiteral("a"));
    EXPECT_TRUE(bar->clearButton()->isVisible());
    EXPECT_EQ(edited.last().at(0).toString(), "a");
    QTest::mouseClick(bar->clearButton(), Qt::LeftButton);
    EXPECT_EQ(bar->text(), "");
    EXPECT_EQ(edited.last().at(0).toString(), "");
    EXPECT_FALSE(bar->clearButton()->isVisible());

    // The host's side of the binding does not echo back.
    edited.clear();
    bar->setText(QStringLiteral("from controller"));
    EXPECT_EQ(edited.count(), 0);
    EXPECT_TRUE(bar->clearButton()->isVisible());

    QWidget other;
    auto* focusing = new SearchBar(true, &other);
    (void)focusing;
    other.show();
    QApplication::setActiveWindow(&other);
    ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
    EXPECT_TRUE(focusing->field()->hasFocus());
}

TEST_F(FilterBarTest, VisualEffectViewIsOpaqueWithoutACompositor)
{
    QWidget window;
    window.setAttribute(Qt::WA_TranslucentBackground);
    VisualEffectView view(VisualEffectView::Material::hudWindow, VisualEffectView::BlendingMode::behindWindow, &window);
    Compositing::setProbe({});
    EXPECT_EQ(view.surfaceColor().alpha(), 255);
    Compositing::setProbe([] { return true; });
    EXPECT_LT(view.surfaceColor().alpha(), 255);
    Compositing::setProbe({});
}

TEST_F(FilterBarTest, PictureOfTheSearchAndFilterBars)
{
    addThreeAppsWithKateSaved();
    controller.setFilter(SmartFilter::links());

    VisualEffectView surface(VisualEffectView::Material::hudWindow, VisualEffectView::BlendingMode::behindWindow);
    surface.resize(420, 96);
    auto* layout = new QVBoxLayout(&surface);
    layout->setContentsMargins(12, 12, 12, 12);
    layout->setSpacing(8);
    auto* search = new SearchBar(true);
    search->setText(QStringLiteral("invoice"));
    layout->addWidget(search);
    layout->addWidget(new SmartFilterBar(controller));
    surface.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&surface));

    const QString path = artifactPath(QStringLiteral("history_search_and_filter_bar.png"));
    const QImage image = surface.grab().toImage();
    ASSERT_TRUE(image.save(path)) << path.toStdString();
    // The same at twice the size, to judge the symbols.
    QImage large(surface.size() * 2, QImage::Format_ARGB32);
    large.setDevicePixelRatio(2);
    large.fill(Qt::transparent);
    surface.render(&large);
    large.save(artifactPath(QStringLiteral("history_search_and_filter_bar@2x.png")));
    // The surface is the dark grey of the panels, under the chips too.
    EXPECT_LT(qGray(image.pixel(2, 2)), 40);
    EXPECT_LT(qGray(image.pixel(image.width() - 4, image.height() - 14)), 40);
}
