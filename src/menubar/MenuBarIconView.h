#pragma once
#include <QIcon>
#include <QPixmap>
#include <QObject>
#include <QString>

class ScreenRecordingService;

// The tray icon: "doc.on.clipboard" while no recording runs, a red "record.circle.fill" while
// one runs. Follows the recording flag at once. The glyph sits on a dark rim, so that it reads on
// dark panels (the light glyph) and light ones (the rim) alike.
class MenuBarIconView : public QObject {
    Q_OBJECT
public:
    explicit MenuBarIconView(ScreenRecordingService& recordingService, QObject* parent = nullptr);

    QString symbolName() const;
    QColor tint() const;
    QIcon icon() const;
    // The icon at size × size device-independent pixels: the glyph, inset by its rim.
    QPixmap pixmap(int size, qreal devicePixelRatio = 1) const;

signals:
    void iconChanged();

private:
    ScreenRecordingService& m_recordingService;
};
