#pragma once
#include <QIcon>
#include <QObject>
#include <QString>

class ScreenRecordingService;

// The tray icon: "doc.on.clipboard" while no recording runs, a red "record.circle.fill" while
// one runs. Follows the recording flag at once.
class MenuBarIconView : public QObject {
    Q_OBJECT
public:
    explicit MenuBarIconView(ScreenRecordingService& recordingService, QObject* parent = nullptr);

    QString symbolName() const;
    QColor tint() const;
    QIcon icon() const;

signals:
    void iconChanged();

private:
    ScreenRecordingService& m_recordingService;
};
