#pragma once
#include "feedback/FeedbackService.h"

#include <QImage>
#include <QWidget>
#include <functional>
#include <optional>

class AnnotationDocument;
class Pasteboard;
class QLabel;
class QLineEdit;
class QPushButton;
class QVBoxLayout;

// The annotation editor's side panel for reporting a problem in some application: six
// structured questions (goal, place, action, expectation, result, and the annotated image as
// evidence), turned into one German text that is copied with the image to the clipboard or sent
// with it as one feedback record. The panel stays open after copying or sending; its answers
// live as long as the panel.
//
// The editor hosts it at its right edge while its feedback mode is on and hands in what the
// panel needs from it through Host; the panel knows nothing of the editor window.
class FeedbackQuestionsPanel : public QWidget {
    Q_OBJECT
public:
    struct Host {
        // Commits the text being typed on the canvas, so that it is part of the picture. May be
        // empty when the editor has nothing pending to commit.
        std::function<void()> commitPendingText;
        // The image as the editor exports it: the strokes, and the Beautify frame when it is on.
        // A null image when it cannot be drawn. Called on the main thread; the panel encodes
        // the PNG on a worker.
        std::function<QImage()> renderExportImage;
        // The header's close button; the editor turns its feedback mode off.
        std::function<void()> onClose;
    };

    static constexpr int kWidth = 320;
    // The attachment's file name in the sent record.
    static constexpr const char* kImageFileName = "feedback.png";

    FeedbackQuestionsPanel(Host host, FeedbackService& service, Pasteboard& pasteboard, QWidget* parent = nullptr);
    ~FeedbackQuestionsPanel() override;

    // A host over an open document: renders its export image (nothing once the document is
    // gone), after commitPendingText.
    static Host hostFor(
        AnnotationDocument& document, std::function<void()> commitPendingText, std::function<void()> onClose);

    // "Ziel: …\nOrt: …\nAktion: …\nErwartung: …\nErgebnis: …\nBeleg: siehe angehängtes Bild",
    // the answers exactly as typed.
    QString formattedText() const;
    QString targetApp() const;

    // "Text + Bild kopieren": the PNG and formattedText() as one clipboard item.
    void copyToClipboardWithText();
    // "Senden": one record through FeedbackService with the PNG attached.
    void send();

    bool isSending() const { return m_isSending; }
    const std::optional<QString>& statusMessage() const { return m_statusMessage; }
    bool statusIsError() const { return m_statusIsError; }

private:
    static QString panelStyleSheet();
    QWidget* makeHeader(QWidget* parent);
    // The target application's field and the five questions.
    void addQuestions(QVBoxLayout* v, QWidget* content);
    // The status line, the copy and the send button.
    void addStatusAndButtons(QVBoxLayout* v, QWidget* content);
    // A line edit with its name beside it (horizontal) or above it (vertical).
    QWidget* fieldBox(const QString& label, const QString& placeholder, QLineEdit*& field, QWidget* parent,
        Qt::Orientation orientation);
    // Commits the pending text and renders the export; null when it failed (the status then
    // says so).
    QImage exportImage();
    void encodeThen(const QImage& image, std::function<void(FeedbackQuestionsPanel&, std::optional<QByteArray>)> then);
    void setStatus(std::optional<QString> message, bool isError);
    void sendFinished(const FeedbackService::Result& result);
    void refresh();

    Host m_host;
    FeedbackService& m_service;
    Pasteboard& m_pasteboard;

    bool m_isSending = false;
    std::optional<QString> m_statusMessage;
    bool m_statusIsError = false;
    // Only the newest copy writes the clipboard when encodings overlap.
    quint64 m_copyGeneration = 0;

    QLineEdit* m_targetApp = nullptr;
    QLineEdit* m_ziel = nullptr;
    QLineEdit* m_ort = nullptr;
    QLineEdit* m_aktion = nullptr;
    QLineEdit* m_erwartung = nullptr;
    QLineEdit* m_ergebnis = nullptr;
    QLabel* m_status = nullptr;
    QPushButton* m_copyButton = nullptr;
    QPushButton* m_sendButton = nullptr;
};
