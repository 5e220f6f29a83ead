#pragma once
#include <QIcon>
#include <QWidget>
#include <optional>

// The icon of an entry's source application, looked up off the main thread by its desktop entry
// and kept in the shared icon cache; until then (or for an unknown application) the entry's
// content symbol on a faint rounded square.
class AppIconView : public QWidget {
    Q_OBJECT
public:
    AppIconView(const QString& bundleID, const QString& contentTypeIcon, int side, QWidget* parent = nullptr);
    void setEntry(const QString& bundleID, const QString& contentTypeIcon);
    bool hasAppIcon() const { return m_appIcon.has_value(); }
    void loadIcon();

protected:
    void showEvent(QShowEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_bundleID;
    QString m_contentTypeIcon;
    std::optional<QIcon> m_appIcon;
};
