#pragma once
#include <QIcon>
#include <QWidget>
#include <optional>

// The icon of an entry's source application from the shared icon cache (which looks it up off the
// main thread, once per program however many rows show it); until then (or for an unknown
// application) the entry's content symbol on a faint rounded square.
class AppIconView : public QWidget {
    Q_OBJECT
public:
    // How often a view looks again while its program's lookup is under way.
    static constexpr int lookupPollMs = 100;

    AppIconView(const QString& bundleID, const QString& contentTypeIcon, int side, QWidget* parent = nullptr);
    void setEntry(const QString& bundleID, const QString& contentTypeIcon);
    bool hasAppIcon() const { return m_appIcon.has_value(); }
    void loadIcon();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    void awaitLookup();

    QString m_bundleID;
    QString m_contentTypeIcon;
    std::optional<QIcon> m_appIcon;
};
