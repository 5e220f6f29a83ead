#include "menubar/MenuBarIconView.h"

#include "recording/ScreenRecordingService.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QColor>

MenuBarIconView::MenuBarIconView(ScreenRecordingService& recordingService, QObject* parent)
    : QObject(parent)
    , m_recordingService(recordingService)
{
    connect(&m_recordingService, &ScreenRecordingService::isRecordingChanged, this, &MenuBarIconView::iconChanged);
}

QString MenuBarIconView::symbolName() const
{
    return m_recordingService.isRecording() ? QStringLiteral("record.circle.fill") : QStringLiteral("doc.on.clipboard");
}

QColor MenuBarIconView::tint() const
{
    return m_recordingService.isRecording() ? Theme::recording() : Theme::text();
}

QIcon MenuBarIconView::icon() const
{
    return Symbols::icon(symbolName(), tint());
}
