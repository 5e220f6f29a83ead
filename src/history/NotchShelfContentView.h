#pragma once
#include "history/ClipItemViewModel.h"
#include "history/NotchShelfItemCard.h"

#include <QDateTime>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class AppIconCache;
class ClipHistoryController;
class ClipListModel;
class ClipPictures;
class DispatchQueue;
class ForeignWindowTracker;
class ImageCache;
class ModelContext;
class NotchShelfCardDelegate;
class NotchShelfItemCard;
class NotchShelfWindowManager;
class NotificationCenter;
class Pasteboard;
class PasteService;
class Preferences;
class QLabel;
class QListView;
class SearchBar;
class SmartFilterBar;

// The expanded shelf: on a black card with rounded corners (radius 20), the search field, the
// filter chips and one horizontal row of clip cards, from a list controller of its own that
// starts empty-searched on "All" each time the card is built. The cards are painted by a
// NotchShelfCardDelegate over a list model; the card under the pointer gets a NotchShelfItemCard
// laid over it for its gestures. Cards copy on click; their menus paste into the application
// the user worked in last, pin, preview and delete. While a card's menu or drag runs the row is
// not rebuilt (changes wait until it ends).
class NotchShelfContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int padding = 14;
    static constexpr int spacing = 8;
    static constexpr int cardSpacing = 10;
    static constexpr int cornerRadius = 20;
    // How often the cards' age texts are set anew while the card shows.
    static constexpr int ageRefreshMs = 15000;

    struct Needs {
        Preferences& preferences;
        NotificationCenter& notifications;
        PasteService& paste;
        ImageCache& images;
        AppIconCache& icons;
        Pasteboard* pasteboard = nullptr; // the desktop's drag formats; none: the stored types
        ForeignWindowTracker* foreignWindows = nullptr; // none: the frontmost application
        std::function<void(const ClipItemPtr&)> showQuickLook;
        DispatchQueue* queue = nullptr; // the controller's queue; none: the main queue
    };

    NotchShelfContentView(
        ModelContext& context, NotchShelfWindowManager& manager, Needs needs, QWidget* parent = nullptr);
    ~NotchShelfContentView() override;

    // The card's height for its content: padding, search field, chips and a row of cards.
    static int requiredHeight();

    ClipHistoryController& controller() { return *m_controller; }
    SearchBar* searchBar() const { return m_searchBar; }
    // The entries of the cards in order.
    const std::vector<ClipItemViewModelPtr>& cardModels() const;
    int cardCount() const { return int(cardModels().size()); }
    // A card's rectangle in this view's coordinates, and whether all of it shows.
    QRect cardRect(int index) const;
    bool isCardShown(int index) const;
    // The widget over the card under the pointer, if any; hoverCardAt lays it over a card as
    // when the pointer comes onto it.
    NotchShelfItemCard* hoverCard() const { return m_hoverCard; }
    NotchShelfItemCard* hoverCardAt(int index);
    // The caption shown instead of the row ("No clips yet" / "No results found"); empty when
    // cards are shown.
    QString emptyText() const;
    // The age a card shows ("1 min. ago").
    QString ageText(int index) const;
    // Sets every card's age text anew for a moment (the timer passes the current time).
    void refreshAges(const QDateTime& now = QDateTime::currentDateTimeUtc());

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void buildCardList();
    void rebuildCards();
    NotchShelfItemCard::Actions cardActions(const ClipItemPtr& item, qint64 id);
    void placeHoverCard();
    void dropHoverCard();
    void interactionBegan();
    void interactionEnded();
    void paste(const ClipItemPtr& item, bool asPlainText);

    NotchShelfWindowManager& m_manager;
    Needs m_needs;
    std::unique_ptr<ClipHistoryController> m_controller;
    SearchBar* m_searchBar;
    SmartFilterBar* m_filterBar;
    ClipPictures* m_pictures;
    ClipListModel* m_model;
    NotchShelfCardDelegate* m_delegate;
    QListView* m_cards;
    QPointer<NotchShelfItemCard> m_hoverCard;
    QLabel* m_empty;
    int m_interactions = 0;
    bool m_rebuildPending = false;
};
