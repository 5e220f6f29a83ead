#include "history/HistoryView.h"

#include "clipboard/PasteService.h"
#include "history/ClipHistoryController.h"
#include "history/ClipListView.h"
#include "clipboard/AppIconCache.h"
#include "clipboard/ImageCache.h"
#include "platform/Pasteboard.h"
#include "history/QuickLookPanelManager.h"
#include "history/SearchBar.h"
#include "history/HistoryViewChrome.h"
#include "history/SmartFilterBar.h"
#include "history/VisualEffectView.h"
#include "history/WindowManager.h"
#include "platform/Dispatch.h"
#include "platform/NotificationCenter.h"
#include "platform/NotificationNames.h"
#include "platform/Permissions.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QEnterEvent>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QPainter>
#include <QPainterPath>
#include <QStackedWidget>
#include <QToolButton>
#include <QVBoxLayout>

using namespace HistoryViewChrome;

// The picture caches of a view given none.
struct HistoryView::OwnPictures {
    explicit OwnPictures(NotificationCenter& notifications)
        : images(notifications)
        , iconQueue(DispatchQueue::makeSerial(QStringLiteral("com.quorvel.history-icons")))
        , icons(*iconQueue, DispatchQueue::main())
    {
    }
    ImageCache images;
    std::unique_ptr<DispatchQueue> iconQueue;
    AppIconCache icons;
};

HistoryView::HistoryView(
    ModelContext& context, Needs needs, std::function<void()> onDismiss, DispatchQueue* listQueue, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_needs(std::move(needs))
    , m_preferences(m_needs.preferences)
    , m_notifications(m_needs.notifications)
    , m_pasteService(m_needs.paste)
    , m_windowManager(m_needs.windowManager)
    , m_quickLook(m_needs.quickLook)
    , m_onDismiss(std::move(onDismiss))
    , m_controller(new ClipHistoryController(m_preferences, listQueue ? *listQueue : DispatchQueue::main(), this))
{
    setMinimumSize(320, 300);
    setAttribute(Qt::WA_Hover);
    m_controller->setModelContext(&m_context);

    m_background = new VisualEffectView(
        VisualEffectView::Material::hudWindow, VisualEffectView::BlendingMode::behindWindow, this);
    m_tint = new TintView(m_preferences, this);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addSpacing(6);

    QWidget* tabs = makeTabSwitcher();
    auto* tabsBox = new QVBoxLayout;
    tabsBox->setContentsMargins(14, 0, 14, 8);
    tabsBox->addWidget(tabs);
    layout->addLayout(tabsBox);

    m_pages = new QStackedWidget(this);
    m_pages->addWidget(makeClipboardPage());
    m_pages->addWidget(makeScreenshotsPage());
    layout->addWidget(m_pages, 1);

    m_footer = makeFooter();
    layout->addWidget(m_footer);
    // The glass: the surface at the bottom, the darkness over it, every piece of content above.
    m_tint->lower();
    m_background->lower();

    connectListAndController();
    connect(&m_preferences, &Preferences::changed, this, [this](const QString& key) {
        if (key == Prefs::imageThumbnailSize.key || key == Prefs::showFullText.key
            || key == Prefs::doubleClickToPaste.key)
            m_list->setOptions(rowOptions());
        else if (key == Prefs::glassDarkness.key)
            m_tint->update();
    });

    observeCommands();
    if (m_quickLook) {
        // However the quick look closes, this view's record follows.
        connect(m_quickLook, &QuickLookPanelManager::closed, this, [this] { m_showingQuickLook = false; });
    }
    updateTabButtons();
    updateFooter();
    updateEmptyState();
}

QWidget* HistoryView::makeClipboardPage()
{
    auto* clipboardPage = new QWidget(m_pages);
    auto* clipboardLayout = new QVBoxLayout(clipboardPage);
    clipboardLayout->setContentsMargins(0, 0, 0, 0);
    clipboardLayout->setSpacing(0);
    m_searchBar = new SearchBar(true, clipboardPage);
    auto* searchBox = new QVBoxLayout;
    searchBox->setContentsMargins(14, 0, 14, 6);
    searchBox->addWidget(m_searchBar);
    clipboardLayout->addLayout(searchBox);
    m_filterBar = new SmartFilterBar(*m_controller, clipboardPage);
    auto* filterBox = new QVBoxLayout;
    filterBox->setContentsMargins(14, 0, 14, 8);
    filterBox->addWidget(m_filterBar);
    clipboardLayout->addLayout(filterBox);
    m_banner = makeAccessibilityBanner(this, [this] { recheckAccessibility(); });
    auto* bannerBox = new QVBoxLayout;
    bannerBox->setContentsMargins(14, 0, 14, 8);
    bannerBox->addWidget(m_banner);
    clipboardLayout->addLayout(bannerBox);
    m_banner->setVisible(false);
    clipboardLayout->addWidget(divider(clipboardPage));
    if (!m_needs.images || !m_needs.icons)
        m_ownPictures = std::make_unique<OwnPictures>(m_needs.notifications);
    m_list = new ClipListView({m_needs.images ? *m_needs.images : m_ownPictures->images,
                                  m_needs.icons ? *m_needs.icons : m_ownPictures->icons, m_needs.pasteboard},
        clipboardPage);
    m_list->setOptions(rowOptions());
    clipboardLayout->addWidget(m_list, 1);
    m_emptyState = makeEmptyState();
    m_emptyState->setParent(m_list->viewport());
    return clipboardPage;
}

// The gallery's grid where the application provides it, else an empty state.
QWidget* HistoryView::makeScreenshotsPage()
{
    auto* screenshotsPage = new QWidget(m_pages);
    auto* screenshotsLayout = new QVBoxLayout(screenshotsPage);
    screenshotsLayout->setContentsMargins(0, 0, 0, 0);
    screenshotsLayout->addWidget(divider(screenshotsPage));
    if (m_needs.screenshotsPage)
        m_screenshotsContent = m_needs.screenshotsPage(screenshotsPage);
    if (m_screenshotsContent) {
        screenshotsLayout->addWidget(m_screenshotsContent, 1);
    } else {
        addNoScreenshotsState(screenshotsLayout, screenshotsPage);
    }
    return screenshotsPage;
}

void HistoryView::connectListAndController()
{
    // The search field and the controller's search text, both ways.
    connect(m_searchBar, &SearchBar::textChanged, m_controller, &ClipHistoryController::setSearchText);
    connect(m_controller, &ClipHistoryController::searchTextChanged, this, [this](const QString& text) {
        if (m_searchBar->text() != text)
            m_searchBar->setText(text);
        updateEmptyState();
    });
    connect(
        m_controller, &ClipHistoryController::activeFilterChanged, this, [this] { m_resetSelectionOnNextList = true; });
    connect(m_controller, &ClipHistoryController::debouncedSearchTextChanged, this,
        [this] { m_resetSelectionOnNextList = true; });
    connect(m_controller, &ClipHistoryController::filteredViewModelsChanged, this, &HistoryView::onFilteredListChanged);
    connect(m_controller, &ClipHistoryController::itemChanged, m_list, &ClipListView::updateItem);
    m_controller->observeClipboardChanges(m_notifications, [this] { return m_windowManager.isVisible(); });

    connect(m_list, &ClipListView::pasteRequested, this,
        [this](const ClipItemViewModelPtr& model, bool plain) { pasteItem(model->clipItem, plain); });
    connect(m_list, &ClipListView::pinRequested, this,
        [this](const ClipItemViewModelPtr& model) { m_controller->togglePin(model->clipItem); });
    connect(m_list, &ClipListView::deleteRequested, this, [this](const ClipItemViewModelPtr& model) {
        if (m_hoveredId && *m_hoveredId == model->id)
            m_hoveredId.reset();
        m_controller->deleteItem(model->clipItem);
    });
    connect(m_list, &ClipListView::hoverChanged, this, &HistoryView::hoverChanged);
    connect(m_list, &ClipListView::selectRequested, this, &HistoryView::selectItem);
    connect(m_list, &ClipListView::copyRequested, this,
        [this](const ClipItemViewModelPtr& model) { m_pasteService.copyToClipboard(model->clipItem); });
    connect(m_list, &ClipListView::annotateRequested, this, [this](const QImage& image) {
        if (m_needs.annotate)
            m_needs.annotate(image);
    });
}

// The panel's commands, as its keys post them.
void HistoryView::observeCommands()
{
    m_notifications.observe(NotificationNames::historyWindowDidShow, this, [this](const QVariantMap&) {
        m_searchBar->focusField();
        m_controller->reset();
        setSelectedIndex(0);
        recheckAccessibility();
        m_list->scrollToTop();
    });
    m_notifications.observe(NotificationNames::historyWindowDidHide, this, [this](const QVariantMap&) {
        m_hoveredId.reset();
        if (m_quickLook)
            m_quickLook->hideQuickLook();
    });
    connect(&m_windowManager, &WindowManager::commandIssued, this, &HistoryView::runCommand);
}

void HistoryView::runCommand(HistoryCommand command)
{
    const bool clipboard = onClipboardTab();
    const ClipItemViewModelPtr selected = clipboard ? selectedViewModel() : nullptr;
    switch (command) {
    case HistoryCommand::showQuickLook:
        if (clipboard)
            showQuickLookForHoveredOrSelected();
        break;
    case HistoryCommand::hideQuickLook:
        if (clipboard && m_showingQuickLook)
            closeQuickLookRecord();
        break;
    case HistoryCommand::moveSelectionUp:
    case HistoryCommand::moveSelectionDown:
        if (clipboard)
            moveSelection(command == HistoryCommand::moveSelectionUp ? -1 : 1);
        break;
    case HistoryCommand::pasteSelectedItem:
    case HistoryCommand::pasteSelectedItemAsPlainText:
        if (selected)
            pasteItem(selected->clipItem, command == HistoryCommand::pasteSelectedItemAsPlainText);
        break;
    case HistoryCommand::escapePressed:
        if (m_showingQuickLook)
            closeQuickLookRecord();
        else if (m_onDismiss)
            m_onDismiss();
        break;
    case HistoryCommand::copySelectedItem:
        if (selected)
            m_pasteService.copyToClipboard(selected->clipItem);
        break;
    }
}

HistoryView::~HistoryView()
{
    m_notifications.removeObservers(this);
    // The list goes before the caches of the view's own that it draws from.
    delete m_list;
}

ClipRowOptions HistoryView::rowOptions() const
{
    ClipRowOptions options;
    options.imageThumbnailSize = int(m_preferences.integerForKey(Prefs::imageThumbnailSize.key));
    options.showFullText = m_preferences.boolForKey(Prefs::showFullText.key);
    const QVariant doubleClick = m_preferences.object(Prefs::doubleClickToPaste.key);
    options.doubleClickToPaste = doubleClick.isValid() && doubleClick.toBool();
    return options;
}

QWidget* HistoryView::makeTabSwitcher()
{
    // The switcher stands on a solid piece of the surface: its labels read the same over any
    // desktop and at any glass darkness.
    auto* switcher = new RoundedBand(8, Theme::whiteAlpha(13), this, Theme::hudSurface());
    m_tabBand = switcher->surface();
    auto* row = new QHBoxLayout(switcher);
    row->setContentsMargins(3, 3, 3, 3);
    row->setSpacing(4);
    auto makeButton = [&](HistoryTab tab, const QString& label) {
        auto* button = new QPushButton(switcher);
        button->setText(label);
        button->setFlat(true);
        button->setSizePolicy(QSizePolicy::Expanding, QSizePolicy::Fixed);
        button->setFocusPolicy(Qt::NoFocus);
        button->setCursor(Qt::PointingHandCursor);
        button->setIconSize(QSize(11, 11));
        connect(button, &QPushButton::clicked, this, [this, tab] { setSelectedTab(tab); });
        row->addWidget(button);
        return button;
    };
    m_clipboardTabButton = makeButton(HistoryTab::clipboard, QStringLiteral("Clipboard"));
    m_screenshotsTabButton = makeButton(HistoryTab::screenshots, QStringLiteral("Screenshots"));
    return switcher;
}

void HistoryView::updateTabButtons()
{
    const QColor accent = Theme::accent();
    const QColor selectedFill = Theme::withAlpha(accent, 51);
    const QColor band = m_tabBand;
    for (auto [button, tab, symbol] :
        {std::tuple {m_clipboardTabButton, HistoryTab::clipboard, QStringLiteral("clock")},
            std::tuple {m_screenshotsTabButton, HistoryTab::screenshots, QStringLiteral("camera.viewfinder")}}) {
        const bool selected = m_selectedTab == tab;
        // The accent, or the secondary colour, lightened where it would not read at 4.5:1 (with
        // some room for the edges of small glyphs).
        const QColor color = selected ? legibleOn(accent, over(selectedFill, band), tabLabelContrast)
                                      : legibleOn(Theme::secondaryText(), band, tabLabelContrast);
        button->setIcon(Symbols::icon(symbol, color, {11, 22}));
        button->setFont(pixelFont(11, selected ? QFont::DemiBold : QFont::Normal));
        button->setStyleSheet(Theme::tabButtonStyle(color, selected ? std::optional(selectedFill) : std::nullopt));
    }
}

void HistoryView::setSelectedTab(HistoryTab tab)
{
    if (tab == m_selectedTab)
        return;
    m_selectedTab = tab;
    m_pages->setCurrentIndex(tab == HistoryTab::clipboard ? 0 : 1);
    updateTabButtons();
    updateFooter();
}

void HistoryView::recheckAccessibility()
{
    // Without a permissions service (a view made outside the program) there is nothing to warn of.
    m_hasAccessibilityPermission = !m_needs.permissions || m_needs.permissions->isAccessibilityTrusted();
    m_banner->setVisible(!m_hasAccessibilityPermission);
}

QWidget* HistoryView::makeEmptyState()
{
    auto* empty = new QWidget(this);
    empty->setAttribute(Qt::WA_TransparentForMouseEvents);
    auto* column = new QVBoxLayout(empty);
    column->setContentsMargins(0, 40, 0, 40);
    column->setSpacing(12);
    column->addWidget(symbolLabel(QStringLiteral("clipboard"), 36, withAlpha(Theme::secondaryText(), 0.5), empty), 0,
        Qt::AlignHCenter);
    m_emptyTitle = textLabel(QString(), pixelFont(14), Theme::secondaryText(), empty);
    column->addWidget(m_emptyTitle, 0, Qt::AlignHCenter);
    m_emptyHint = textLabel(
        QStringLiteral("Try a different search term"), pixelFont(11), withAlpha(Theme::secondaryText(), 0.7), empty);
    column->addWidget(m_emptyHint, 0, Qt::AlignHCenter);
    return empty;
}

QString HistoryView::emptyStateTitle() const
{
    return m_controller->searchText().isEmpty() ? QStringLiteral("No clipboard history")
                                                : QStringLiteral("No results found");
}

void HistoryView::updateEmptyState()
{
    const bool empty = m_controller->filteredViewModels().empty();
    m_emptyTitle->setText(emptyStateTitle());
    m_emptyHint->setVisible(!m_controller->searchText().isEmpty());
    m_emptyState->setVisible(empty);
    if (empty) {
        m_emptyState->adjustSize();
        const QSize area = m_list->viewport()->size();
        m_emptyState->setGeometry(0, qMax(0, (area.height() - m_emptyState->sizeHint().height()) / 2), area.width(),
            m_emptyState->sizeHint().height());
        m_emptyState->raise();
    }
}

QString HistoryView::itemCountText(size_t count)
{
    return count == 1 ? QStringLiteral("1 item") : QStringLiteral("%1 items").arg(count);
}

QString HistoryView::footerCountText() const
{
    return itemCountText(m_controller->filteredViewModels().size());
}

QWidget* HistoryView::makeFooter()
{
    auto* footer = new FooterBand(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(14, 8, 14, 8);
    row->setSpacing(16);
    auto* settings = new QToolButton(footer);
    settings->setIcon(Symbols::icon(QStringLiteral("gearshape"), Theme::secondaryText(), {12, 24}));
    settings->setIconSize(QSize(12, 12));
    settings->setAutoRaise(true);
    settings->setToolTip(QStringLiteral("Settings"));
    settings->setFocusPolicy(Qt::NoFocus);
    settings->setCursor(Qt::PointingHandCursor);
    settings->setStyleSheet(Theme::flatButtonStyle());
    connect(settings, &QToolButton::clicked, this, [this] {
        if (m_onDismiss)
            m_onDismiss();
        if (m_needs.openSettings)
            m_needs.openSettings();
    });
    row->addWidget(settings);
    const QFont hintFont = pixelFont(11, QFont::Medium);
    m_countLabel = textLabel(QString(), hintFont, withAlpha(Theme::secondaryText(), 0.7), footer);
    row->addWidget(m_countLabel);
    row->addStretch();
    m_hints = new QWidget(footer);
    auto* hints = new QHBoxLayout(m_hints);
    hints->setContentsMargins(0, 0, 0, 0);
    hints->setSpacing(12);
    for (const QString& hint : {QStringLiteral("↵ Paste"), QStringLiteral("␣ Preview"), QStringLiteral("⇧↵ Plain")})
        hints->addWidget(textLabel(hint, hintFont, Theme::secondaryText(), m_hints));
    row->addWidget(m_hints);
    m_galleryHint = textLabel(
        QStringLiteral("Klick: Kopieren · Rechtsklick: mehr Optionen"), hintFont, Theme::secondaryText(), footer);
    row->addWidget(m_galleryHint);
    return footer;
}

void HistoryView::updateFooter()
{
    const bool clipboard = onClipboardTab();
    m_countLabel->setText(footerCountText());
    m_countLabel->setVisible(clipboard);
    m_hints->setVisible(clipboard);
    m_galleryHint->setVisible(!clipboard);
}

ClipItemViewModelPtr HistoryView::selectedViewModel() const
{
    const auto& models = m_controller->filteredViewModels();
    if (m_selectedIndex < 0 || m_selectedIndex >= int(models.size()))
        return nullptr;
    return models[size_t(m_selectedIndex)];
}

ClipItemViewModelPtr HistoryView::hoveredViewModel() const
{
    if (!m_hoveredId)
        return nullptr;
    for (const ClipItemViewModelPtr& model : m_controller->filteredViewModels())
        if (model->id == *m_hoveredId)
            return model;
    return nullptr;
}

void HistoryView::setSelectedIndex(int index)
{
    const bool changed = index != m_selectedIndex;
    m_selectedIndex = index;
    const ClipItemViewModelPtr selected = selectedViewModel();
    m_selectedId = selected ? std::optional<qint64>(selected->id) : std::nullopt;
    m_list->setSelectedId(m_selectedId);
    if (!changed)
        return;
    if (selected)
        m_list->scrollToCentre(index);
    if (m_showingQuickLook)
        closeQuickLookRecord();
}

void HistoryView::onFilteredListChanged()
{
    const auto& models = m_controller->filteredViewModels();
    // A refresh forgets the hover; the mouse reports it again when it moves.
    m_hoveredId.reset();
    m_list->setViewModels(models);
    const std::optional<qint64> previous = m_selectedId;
    if (m_resetSelectionOnNextList) {
        m_resetSelectionOnNextList = false;
        setSelectedIndex(0);
    } else if (previous) {
        // The selection follows its entry; when the selected last entry went, the new last one.
        int found = -1;
        for (size_t i = 0; i < models.size(); ++i)
            if (models[i]->id == *previous) {
                found = int(i);
                break;
            }
        if (found >= 0)
            setSelectedIndex(found);
        else if (m_selectedIndex >= int(models.size()) && !models.empty())
            setSelectedIndex(int(models.size()) - 1);
        else
            setSelectedIndex(m_selectedIndex);
    } else {
        setSelectedIndex(m_selectedIndex);
    }
    updateEmptyState();
    updateFooter();
}

void HistoryView::selectItem(const ClipItemViewModelPtr& model)
{
    const auto& models = m_controller->filteredViewModels();
    for (size_t i = 0; i < models.size(); ++i) {
        if (*models[i] == *model) {
            setSelectedIndex(int(i));
            return;
        }
    }
}

void HistoryView::moveSelection(int step)
{
    const int next = m_selectedIndex + step;
    if (next < 0 || next >= int(m_controller->filteredViewModels().size()))
        return;
    setSelectedIndex(next);
}

void HistoryView::hoverChanged(const ClipItemViewModelPtr& model, bool hovering)
{
    if (hovering) {
        m_hoveredId = model->id;
        return;
    }
    // Only the row that is hovered clears the hover when the mouse leaves it.
    if (m_hoveredId && *m_hoveredId == model->id)
        m_hoveredId.reset();
}

void HistoryView::showQuickLookForHoveredOrSelected()
{
    ClipItemViewModelPtr target = hoveredViewModel();
    if (!target)
        target = selectedViewModel();
    if (!target || m_showingQuickLook || !m_quickLook)
        return;
    m_quickLook->showQuickLook(target->clipItem);
    m_showingQuickLook = true;
}

void HistoryView::closeQuickLookRecord()
{
    m_showingQuickLook = false;
    if (m_quickLook)
        m_quickLook->hideQuickLook();
}

void HistoryView::pasteItem(const ClipItemPtr& item, bool asPlainText)
{
    if (m_showingQuickLook)
        closeQuickLookRecord();
    if (m_preferences.boolForKey(Prefs::autoCloseAfterPaste.key))
        m_windowManager.hideHistoryWindow();
    m_pasteService.paste(item, asPlainText);
}

void HistoryView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    m_notifications.post(NotificationNames::historyContentHoverChanged, {{QStringLiteral("hovering"), true}});
}

void HistoryView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    m_notifications.post(NotificationNames::historyContentHoverChanged, {{QStringLiteral("hovering"), false}});
}

void HistoryView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    m_background->setGeometry(rect());
    m_tint->setGeometry(rect());
    updateEmptyState();
}
