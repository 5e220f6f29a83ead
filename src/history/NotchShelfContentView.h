#pragma once
#include "history/ClipItemViewModel.h"

#include <QList>
#include <QPointer>
#include <QWidget>
#include <functional>
#include <memory>

class ClipHistoryController;
class DispatchQueue;
class ForeignWindowTracker;
class ModelContext;
class NotchShelfItemCard;
class NotchShelfWindowManager;
class NotificationCenter;
class PasteService;
class Preferences;
class QHBoxLayout;
class QLabel;
class QScrollArea;
class SearchBar;
class SmartFilterBar;

// The expanded shelf: on a black card with rounded corners (radius 20), the search field, the
// filter chips and one horizontal row of clip cards, from a list controller of its own that
// starts empty-searched on "All" each time the card is built. Cards copy on click; their menus
// paste into the application the user worked in last, pin, preview and delete. While a card's
// menu or drag runs the row is not rebuilt (changes wait until it ends).
class NotchShelfContentView : public QWidget {
    Q_OBJECT
public:
    static constexpr int padding = 14;
    static constexpr int spacing = 8;
    static constexpr int cardSpacing = 10;
    static constexpr int cornerRadius = 20;
    // How often the cards' age texts are set anew while the card shows.
    static constexpr int ageRefreshMs = 15000;

    struct Services {
        Preferences& preferences;
        NotificationCenter& notifications;
        PasteService& paste;
        ForeignWindowTracker* foreignWindows = nullptr; // none: the frontmost application
        std::function<void(const ClipItemPtr&)> showQuickLook;
        DispatchQueue* queue = nullptr; // the controller's queue; none: the main queue
    };

    NotchShelfContentView(
        ModelContext& context, NotchShelfWindowManager& manager, Services services, QWidget* parent = nullptr);
    ~NotchShelfContentView() override;

    // The card's height for its content: padding, search field, chips and a row of cards.
    static int requiredHeight();

    ClipHistoryController& controller() { return *m_controller; }
    SearchBar* searchBar() const { return m_searchBar; }
    QList<NotchShelfItemCard*> cards() const;
    // The caption shown instead of the row ("No clips yet" / "No results found"); empty when
    // cards are shown.
    QString emptyText() const;
    // Sets every card's age text anew for a moment (the timer passes the current time).
    void refreshAges(const QDateTime& now = QDateTime::currentDateTimeUtc());

protected:
    void paintEvent(QPaintEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void rebuildCards();
    void interactionBegan();
    void interactionEnded();
    void paste(const ClipItemPtr& item, bool asPlainText);

    NotchShelfWindowManager& m_manager;
    Services m_services;
    std::unique_ptr<ClipHistoryController> m_controller;
    SearchBar* m_searchBar;
    SmartFilterBar* m_filterBar;
    QScrollArea* m_scroll;
    QWidget* m_row;
    QHBoxLayout* m_rowLayout;
    QLabel* m_empty;
    int m_interactions = 0;
    bool m_rebuildPending = false;
};
