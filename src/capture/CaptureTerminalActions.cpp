#include "capture/CaptureTerminalActions.h"

#include "capture/ScreenshotCaptureService.h"
#include "capture/ScrollingCaptureService.h"
#include "platform/Pasteboard.h"
#include "platform/PasteboardTypes.h"
#include "platform/Permissions.h"
#include "platform/Preferences.h"
#include "platform/Prefs.h"
#include "recording/ScreenRecordingService.h"
#include "ui/AlertWindow.h"

#include <QMessageBox>
#include <QPushButton>

namespace {

QRectF toQRect(const CaptureRect& r)
{
    return {r.x, r.y, r.width, r.height};
}

}

CaptureTerminalActions::CaptureTerminalActions(Needs needs, QObject* parent)
    : QObject(parent)
    , m_needs(needs)
{
}

bool CaptureTerminalActions::recordsSystemAudio() const
{
    return m_needs.preferences.boolForKey(Prefs::recordSystemAudio.key);
}

double CaptureTerminalActions::mainScale(const CaptureScreens& screens)
{
    const CaptureScreen* main = screens.primary();
    return main ? main->scale : 2.0;
}

QImage CaptureTerminalActions::croppedSnapshot(
    const QHash<quint32, QImage>& snapshots, quint32 displayID, const CaptureRect& local, double scale)
{
    const auto found = snapshots.constFind(displayID);
    if (found == snapshots.constEnd() || found->isNull())
        return {};
    const PixelRect crop = CaptureScreens::snapshotCrop(local, scale, found->width(), found->height());
    if (crop.isEmpty())
        return {};
    return found->copy(crop.x, crop.y, crop.width, crop.height);
}

std::optional<LastAreaCapture> CaptureTerminalActions::perform(const Request& request)
{
    const bool marquee = request.paradigm == SelectionParadigm::marquee;
    if (marquee && request.globalRect) {
        switch (request.action) {
        case TerminalAction::screenshot:
            return performAreaCapture(request);
        case TerminalAction::ocr:
            performOCRCapture(request);
            return std::nullopt;
        case TerminalAction::record:
            performAreaRecording(request);
            return std::nullopt;
        case TerminalAction::scrollingCapture:
            return std::nullopt;
        }
    }
    if (!marquee && request.window) {
        switch (request.action) {
        case TerminalAction::screenshot:
            performWindowCapture(*request.window, mainScale(request.screens));
            break;
        case TerminalAction::record:
            performWindowRecording(*request.window);
            break;
        case TerminalAction::scrollingCapture:
            performScrollingCapture(*request.window, mainScale(request.screens));
            break;
        case TerminalAction::ocr:
            break;
        }
    }
    return std::nullopt;
}

bool CaptureTerminalActions::needsLiveScreen(const Request& request)
{
    if (request.paradigm != SelectionParadigm::marquee || !request.globalRect)
        return false;
    switch (request.action) {
    case TerminalAction::record:
        return true;
    case TerminalAction::screenshot:
    case TerminalAction::ocr: {
        if (request.forceLiveGrab)
            return true;
        const std::optional<LocalSelection> resolved = request.screens.resolveDisplayLocalRect(*request.globalRect);
        if (!resolved || resolved->localRect.isEmpty())
            return false;
        const CaptureScreen& screen = request.screens.screens()[size_t(resolved->screenIndex)];
        const QImage snapshot = request.snapshots.value(screen.displayID);
        return snapshot.isNull()
            || CaptureScreens::snapshotCrop(resolved->localRect, screen.scale, snapshot.width(), snapshot.height())
                   .isEmpty();
    }
    case TerminalAction::scrollingCapture:
        return false;
    }
    return false;
}

std::optional<LastAreaCapture> CaptureTerminalActions::performAreaCapture(const Request& request)
{
    const std::optional<LocalSelection> resolved = request.screens.resolveDisplayLocalRect(*request.globalRect);
    if (!resolved || resolved->localRect.isEmpty())
        return std::nullopt;
    const CaptureScreen& screen = request.screens.screens()[size_t(resolved->screenIndex)];
    const LastAreaCapture area {screen.displayID, toQRect(resolved->localRect), screen.scale};
    if (!request.forceLiveGrab) {
        const QImage crop = croppedSnapshot(request.snapshots, area.displayID, resolved->localRect, area.scale);
        if (!crop.isNull()) {
            m_needs.capture.finish(crop, area.localRect, area.displayID, CaptureKind::area);
            return area;
        }
    }
    captureArea(area.displayID, area.localRect, area.scale);
    return area;
}

void CaptureTerminalActions::captureArea(quint32 displayID, const QRectF& localRect, double scale)
{
    ScreenshotCaptureService& capture = m_needs.capture;
    capture.grabAreaImage(displayID, localRect, scale, this, [&capture, displayID, localRect](const QImage& image) {
        if (!image.isNull())
            capture.finish(image, localRect, displayID, CaptureKind::area);
    });
}

void CaptureTerminalActions::performOCRCapture(const Request& request)
{
    const std::optional<LocalSelection> resolved = request.screens.resolveDisplayLocalRect(*request.globalRect);
    if (!resolved || resolved->localRect.isEmpty())
        return;
    const CaptureScreen& screen = request.screens.screens()[size_t(resolved->screenIndex)];
    const QImage crop = request.forceLiveGrab
        ? QImage()
        : croppedSnapshot(request.snapshots, screen.displayID, resolved->localRect, screen.scale);
    if (!crop.isNull()) {
        recognize(crop);
        return;
    }
    m_needs.capture.grabAreaImage(
        screen.displayID, toQRect(resolved->localRect), screen.scale, this, [this](const QImage& image) {
            if (!image.isNull())
                recognize(image);
        });
}

void CaptureTerminalActions::recognize(const QImage& image)
{
    Pasteboard& pasteboard = m_needs.pasteboard;
    m_needs.capture.recognizeText(image, this, [&pasteboard](std::optional<QString> text) {
        if (!text || text->isEmpty())
            return;
        // Not held off from the clipboard monitor: the text enters the history like any copy.
        pasteboard.clearContents();
        pasteboard.writeItems({{PasteboardTypes::utf8PlainText, text->toUtf8()}});
    });
}

void CaptureTerminalActions::performAreaRecording(const Request& request)
{
    const std::optional<LocalSelection> resolved = request.screens.resolveDisplayLocalRect(*request.globalRect);
    if (!resolved || resolved->localRect.isEmpty())
        return;
    const CaptureScreen& screen = request.screens.screens()[size_t(resolved->screenIndex)];
    const bool audio = recordsSystemAudio();
    m_needs.recorder.startRecording(
        ScreenRecordingService::AreaTarget {screen.displayID, toQRect(resolved->localRect), screen.scale}, audio);
}

void CaptureTerminalActions::performWindowCapture(const ScreenWindow& window, double scale)
{
    ScreenshotCaptureService& capture = m_needs.capture;
    capture.grabWindowImage(window, scale, this, [&capture, window](const QImage& image) {
        if (!image.isNull())
            capture.finish(image, QRectF(window.frame), 0, CaptureKind::window);
    });
}

void CaptureTerminalActions::performWindowRecording(const ScreenWindow& window)
{
    const bool audio = recordsSystemAudio();
    m_needs.recorder.startRecording(ScreenRecordingService::WindowTarget {window}, audio);
}

void CaptureTerminalActions::performScrollingCapture(const ScreenWindow& window, double scale)
{
    if (!m_needs.preferences.boolForKey(Prefs::scrollingCaptureAutoScroll.key)) {
        beginManualScrolling(window, scale);
        return;
    }
    if (!m_needs.permissions.isAccessibilityTrusted()) {
        promptForAccessibilityPermission(window, scale);
        return;
    }
    m_needs.scrolling.beginAutoScrollCapture(
        window, scale, [this, window, scale](ScrollingCaptureService::Outcome outcome) {
            // The service reports its own endings; only a window that never moved gets an offer.
            if (outcome.kind == ScrollingCaptureService::Outcome::Kind::noMovementDetected)
                offerManualFallback(window, scale);
        });
}

void CaptureTerminalActions::beginManualScrolling(const ScreenWindow& window, double scale)
{
    m_needs.scrolling.beginManualCapture(window, scale, [](ScrollingCaptureService::Outcome) {});
}

void CaptureTerminalActions::promptForAccessibilityPermission(const ScreenWindow& window, double scale)
{
    auto* alert = new QMessageBox(QMessageBox::Information, QStringLiteral("Bedienungshilfen-Berechtigung fehlt"),
        QStringLiteral("Automatisches Scrollen braucht die Bedienungshilfen-Berechtigung. Öffne Systemeinstellungen → "
                       "Datenschutz & Sicherheit → Bedienungshilfen, aktiviere Quorvel — oder scrolle stattdessen "
                       "selbst, Quorvel erkennt automatisch, wann du fertig bist."));
    QPushButton* settings = alert->addButton(QStringLiteral("Systemeinstellungen öffnen"), QMessageBox::AcceptRole);
    QPushButton* manual = alert->addButton(QStringLiteral("Stattdessen manuell scrollen"), QMessageBox::ActionRole);
    alert->addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    alert->setDefaultButton(settings);
    showAlert(alert, [this, settings, manual, window, scale](QAbstractButton* clicked) {
        if (clicked == settings)
            m_needs.capture.openAccessibilityPrivacySettings();
        else if (clicked == manual)
            beginManualScrolling(window, scale);
    });
}

void CaptureTerminalActions::offerManualFallback(const ScreenWindow& window, double scale)
{
    auto* alert = new QMessageBox(QMessageBox::Information,
        QStringLiteral("Dieses Fenster reagiert nicht auf automatisches Scrollen"),
        QStringLiteral("Möchtest du stattdessen manuell scrollen? Quorvel erkennt automatisch, wenn du fertig bist."));
    QPushButton* manual = alert->addButton(QStringLiteral("Manuell scrollen"), QMessageBox::AcceptRole);
    alert->addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    alert->setDefaultButton(manual);
    showAlert(alert, [this, manual, window, scale](QAbstractButton* clicked) {
        if (clicked == manual)
            beginManualScrolling(window, scale);
    });
}

void CaptureTerminalActions::promptForScreenRecordingPermission()
{
    if (m_alert) {
        m_alert->raise();
        return;
    }
    auto* alert = new QMessageBox(QMessageBox::Information, QStringLiteral("Bildschirmaufnahme-Berechtigung fehlt"),
        QStringLiteral("Quorvel braucht die Bildschirmaufnahme-Berechtigung, um Screenshots aufzunehmen. Öffne "
                       "Systemeinstellungen → Datenschutz & Sicherheit → Bildschirmaufnahme, aktiviere Quorvel und "
                       "starte die App ggf. neu."));
    QPushButton* open = alert->addButton(QStringLiteral("Systemeinstellungen öffnen"), QMessageBox::AcceptRole);
    alert->addButton(QStringLiteral("Abbrechen"), QMessageBox::RejectRole);
    alert->setDefaultButton(open);
    showAlert(alert, [this, open](QAbstractButton* clicked) {
        if (clicked == open)
            m_needs.capture.openScreenRecordingPrivacySettings();
    });
}

void CaptureTerminalActions::dismissAlert()
{
    if (QWidget* alert = std::exchange(m_alert, nullptr))
        alert->close();
}

void CaptureTerminalActions::showAlert(QMessageBox* alert, std::function<void(QAbstractButton*)> answered)
{
    // Modal for the application, answered through a callback rather than a nested event loop, and
    // in front of every window of ours (the floating ones the user may have open included).
    alert->setAttribute(Qt::WA_DeleteOnClose);
    connect(alert, &QMessageBox::buttonClicked, this, std::move(answered));
    m_alert = alert;
    AlertWindow::show(alert, m_needs.workspace);
}
