#pragma once
#include "feedback/FeedbackService.h"

#include <QImage>
#include <QTimer>
#include <QWidget>
#include <functional>
#include <memory>
#include <optional>

class ModelContainer;
class QAbstractButton;
class QLabel;
class QPlainTextEdit;
class QPushButton;

// The feedback form: the user's message, an optional picture of the program's own window, the
// diagnostics that go along, and one button that sends it all through FeedbackService. Talks to
// the user only through its status row and the hint under the switch. Lives in the feedback
// window; onClose closes that window.
class FeedbackSheet : public QWidget {
    Q_OBJECT
public:
    // The history panel's picture, also while the panel is hidden (its last rendering, or a
    // render of the hidden panel); a null image when there is no panel.
    using PanelPictureProvider = std::function<QImage()>;

    // historyPanelPicture: the picture the form attaches first; unset where there is no panel.
    FeedbackSheet(QString herkunft, std::function<void()> onClose, std::weak_ptr<ModelContainer> container,
        FeedbackService& service, PanelPictureProvider historyPanelPicture = {}, QWidget* parent = nullptr);
    ~FeedbackSheet() override;

    // The history panel's picture, else a render of the visible "Quorvel Settings" window, else
    // a null image. Never the feedback window or the notch shelf.
    static QImage captureAppWindowImage(const PanelPictureProvider& historyPanelPicture);
    // "2 KB", "1.0 MB": n / 1024 as KB without decimals, from 1024 KB on as MB with one.
    static QString formatBytes(qint64 byteCount);

    const QString& herkunft() const { return m_herkunft; }
    bool isSending() const { return m_sending; }
    const QString& status() const { return m_status; }
    std::optional<bool> statusOK() const { return m_statusOK; }
    // PNG of the attached picture; absent while none is taken or being encoded.
    const std::optional<QByteArray>& screenshotData() const { return m_screenshotData; }

protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    QWidget* makeHeader();
    QWidget* makeContent();
    QWidget* makeMessageSection(QWidget* content);
    QWidget* makeAttachmentSection(QWidget* content);
    QWidget* makeFactsSection(QWidget* content);
    QWidget* makeFooter();
    void laden();
    void senden();
    void sendFinished(const FeedbackService::Result& result);
    void erstelleScreenshot();
    void screenshotSwitchChanged(bool on);
    void cancel();
    void refresh();

    const QString m_herkunft;
    const std::function<void()> m_onClose;
    std::weak_ptr<ModelContainer> m_container;
    FeedbackService& m_service;
    const PanelPictureProvider m_historyPanelPicture;

    bool m_sending = false;
    QString m_status;
    std::optional<bool> m_statusOK;
    std::optional<QByteArray> m_screenshotData;
    bool m_screenshotUnavailable = false;
    quint64 m_captureGeneration = 0;
    QString m_appVersion;
    QString m_osVersion;
    QString m_userName;
    qint64 m_clipCount = 0;
    qint64 m_pinnedCount = 0;
    QTimer m_closeTimer;

    QPlainTextEdit* m_text = nullptr;
    QAbstractButton* m_switch = nullptr;
    QWidget* m_attachment = nullptr;
    QLabel* m_preview = nullptr;
    QLabel* m_previewSize = nullptr;
    QLabel* m_attachmentHint = nullptr;
    QLabel* m_userNameValue = nullptr;
    QLabel* m_appVersionValue = nullptr;
    QLabel* m_osVersionValue = nullptr;
    QWidget* m_statusRow = nullptr;
    QWidget* m_statusStretch = nullptr;
    QLabel* m_statusIcon = nullptr;
    QLabel* m_statusText = nullptr;
    QPushButton* m_cancelButton = nullptr;
    QPushButton* m_sendButton = nullptr;
};
