#pragma once
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>
#include <optional>

// The desktop entries (.desktop files) of the installed applications, used to name an X client:
// its desktop-file ID becomes the application's identifier and the entry's Name= its name.
// Scanned once from $XDG_DATA_HOME/applications and each $XDG_DATA_DIRS/applications, and scanned
// again at most once per refresh interval when asked.
class DesktopEntryIndex {
public:
    struct Entry {
        QString id;             // desktop-file ID without ".desktop" ("org.gnome.Terminal", "kde4-foo")
        QString name;           // Name= of the [Desktop Entry] group
        QString startupWMClass; // StartupWMClass=, empty when absent
        bool operator==(const Entry&) const = default;
    };

    struct Identity {
        QString bundleIdentifier;
        QString name;
        // Every name that identifies the window: the identifier, the GTK and KDE IDs, the ID and
        // StartupWMClass of the matching desktop entry, WM_CLASS instance and class (no blanks,
        // no repeats ignoring case).
        QStringList identities;
    };

    explicit DesktopEntryIndex(int refreshIntervalMs = 30000);

    // The directories searched, in precedence order (an ID found earlier hides later ones).
    static QStringList applicationDirectories();

    std::optional<Entry> entryForId(const QString& id);
    // The entry whose StartupWMClass equals the WM_CLASS class (then instance), else whose ID
    // equals the class (then instance); all comparisons ignore case.
    std::optional<Entry> entryForWindowClass(const QString& instance, const QString& windowClass);

    // Identity of a window from its _GTK_APPLICATION_ID, _KDE_NET_WM_DESKTOP_FILE and WM_CLASS
    // (any may be empty). Identifier: the GTK application ID, else the KDE desktop file, else the
    // ID of a matching desktop entry, else the WM_CLASS class (instance when there is no class).
    // Name: the Name= of the identifier's entry, else the WM_CLASS class (or instance).
    Identity identify(const QString& gtkApplicationId, const QString& kdeDesktopFile, const QString& instance,
        const QString& windowClass);

    // Drops the scanned entries: the next query scans again.
    void invalidate();
    int scanCount() const { return m_scanCount; }

    // Parses the [Desktop Entry] group of one file's contents; absent when it is not a shown
    // application entry (other Type, Hidden=true, no Name).
    static std::optional<Entry> parse(const QByteArray& contents, const QString& id);

private:
    void ensureScanned();
    void scan();

    int m_refreshIntervalMs;
    bool m_scanned = false;
    int m_scanCount = 0;
    QElapsedTimer m_sinceScan;
    QList<Entry> m_entries; // precedence order
    QHash<QString, qsizetype> m_byId;
};
