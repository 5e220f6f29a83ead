#pragma once
#include "store/ModelContainerHolder.h"
#include "history/HoverIntent.h"
#include "history/NotchShelfGeometry.h"
#include "history/NotchShelfPanel.h"
#include "store/ClipItem.h"
#include "platform/Prefs.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QRegion>
#include <functional>
#include <memory>

class DisplayList;
class DispatchTimer;
class ModelContainer;
class NotificationCenter;
class PointerLocation;
class Preferences;
class QuickLookPanelManager;
class WindowShape;

// Owner of the top shelf: one clear, borderless panel at the top centre of the chosen display
// ("notchShelfDisplayUUID"; empty: the primary display). Collapsed it draws nothing and lets every
// click through; the pointer, polled while the panel exists, resting on a strip at the top centre
// for 130 ms expands it into a dark card with search, filters and clip cards; leaving the card
// for 300 ms collapses it, unless the user clicked into it (the panel holds the keyboard) or a
// drag or context menu of the shelf is running. Main thread only.
class NotchShelfWindowManager : public QObject, public ModelContainerHolder {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds pointerPollInterval {50};
    static inline const QString enabledKey = Prefs::notchShelfEnabled.key;
    static inline const QString displayKey = Prefs::notchShelfDisplayUUID.key;
    // Posted when the displays, their arrangement or their work areas change.
    static inline const QString screenParametersNotification = QStringLiteral("applicationDidChangeScreenParameters");

    struct DisplayOption {
        QString id;
        QString label;
        bool operator==(const DisplayOption&) const = default;
    };

    // Builds the expanded card for the store's container inside the given parent. The card
    // reports its needed height through sizeHint().
    using ContentFactory
        = std::function<QWidget*(ModelContainer& container, NotchShelfWindowManager& manager, QWidget* parent)>;

    // Any pointer may be null (no display list: the fallback geometry; no pointer: no hover;
    // no shape service: the panel is not shaped; no quick look: cards show none).
    struct Needs {
        Preferences* preferences;
        DisplayList* displays;
        PointerLocation* pointer;
        WindowShape* shape;
        NotificationCenter& notifications;
        DispatchQueue& mainQueue;
        std::function<bool()> isCompositing = {};
        QuickLookPanelManager* quickLook = nullptr;
    };

    explicit NotchShelfWindowManager(Needs needs);
    ~NotchShelfWindowManager() override;

    // The factory of the expanded card and the height that card needs below the band.
    // How the keyboard goes back to the application the user worked in when the shelf, holding
    // it, collapses (the window manager does not know the shelf took it).
    void setFocusReturn(std::function<void()> focusReturn) { m_focusReturn = std::move(focusReturn); }

    void setContentFactory(ContentFactory factory, int contentHeight = NotchShelfGeometry::cardHeight)
    {
        m_contentFactory = std::move(factory);
        m_contentHeight = contentHeight;
    }

    bool isEnabled() const { return m_isEnabled; }
    // Shows the panel when true, hides it when false (every assignment, also an equal one).
    void setEnabled(bool enabled);
    bool isExpanded() const { return m_isExpanded; }
    // The history hotkey and the tray menu: expand or collapse at once, creating the panel when
    // needed, without taking the focus. Nothing while disabled.
    void toggleExpanded();

    void showPanel();
    void hidePanel();

    // The display picker's choices: "Automatic (Main Display)" and every identifiable display.
    static QList<DisplayOption> availableDisplayOptions(const QList<DisplayDescription>& displays);
    QList<DisplayOption> availableDisplayOptions() const;

    // The geometry for the current displays and the card's needs (recomputed on every call).
    NotchShelfGeometry geometry() const;

    NotchShelfPanel* panel() const { return m_panel; }
    QWidget* content() const { return m_content; }
    // The strip or area watched for the pointer and the area that takes clicks, in panel
    // coordinates (empty while collapsed).
    QRect hoverTrackingFrame() const { return m_hoverTrackingFrame; }
    QRect interactiveFrame() const { return m_interactiveFrame; }
    // The region the panel is shaped to (drawing and input); empty while collapsed.
    QRegion visibleRegion() const;

    // A drag or a context menu of the shelf begins or ends: while one runs the shelf stays
    // expanded and its cards stay.
    void beginInteraction();
    void endInteraction();
    bool isInteracting() const { return m_interactions > 0; }

    // The quick look of an entry, below the shelf; the paste target stays as it is.
    void showQuickLook(const ClipItemPtr& item);

    // One poll of the pointer (the repeating timer calls it; exposed for tests).
    void pollPointer();

signals:
    void isExpandedChanged(bool expanded);

private:
    void positionPanel();
    void updateInteractiveRegion();
    void handleHoverChanged(bool isHovering);
    void setExpanded(bool expanded);
    bool panelIsKey() const;
    void onResignKey();
    void onScreenParametersChanged();

    Preferences* m_preferences;
    DisplayList* m_displays;
    PointerLocation* m_pointer;
    WindowShape* m_shape;
    NotificationCenter& m_notifications;
    DispatchQueue& m_mainQueue;
    std::function<bool()> m_isCompositing;
    QuickLookPanelManager* m_quickLook;
    ContentFactory m_contentFactory;
    std::function<void()> m_focusReturn;
    int m_contentHeight = NotchShelfGeometry::cardHeight;

    bool m_isExpanded = false;
    bool m_isEnabled = false;
    QPointer<NotchShelfPanel> m_panel;
    QPointer<QWidget> m_content;
    int m_screenObserver = 0;
    HoverIntent m_hover;
    std::unique_ptr<DispatchTimer> m_pollTimer;
    bool m_pointerInside = false;
    QRect m_hoverTrackingFrame;
    QRect m_interactiveFrame;
    int m_interactions = 0;
    std::shared_ptr<NotchShelfWindowManager*> m_alive;
};
