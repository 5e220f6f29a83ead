#pragma once
#include "history/VideoQuickLookView.h"
#include "store/ClipItem.h"

#include <QIcon>
#include <QImage>
#include <QUrl>
#include <QWidget>
#include <functional>
#include <optional>

class QLabel;
class QTextEdit;
class QToolButton;
class Pasteboard;

// A zoomable image: fitted into the space, scaled 50 % to 300 % in steps of 25 %, with its
// point size at the top left and the zoom buttons at the bottom right. Decodes off the main thread.
class ImageQuickLookView : public QWidget {
    Q_OBJECT
public:
    explicit ImageQuickLookView(const QByteArray& data, QWidget* parent = nullptr);
    qreal zoomScale() const { return m_zoomScale; }
    void zoomIn();
    void zoomOut();
    QString zoomText() const;
    QString sizeText() const;
    bool hasImage() const { return !m_image.isNull(); }

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;

private:
    void layoutOverlays();

    QImage m_image;
    qreal m_zoomScale = 1.0;
    QLabel* m_sizeLabel;
    QWidget* m_zoomBar;
    QLabel* m_zoomLabel;
};

// Selectable text with its character count and a Copy button (monospaced for code). Shows at
// most maxShownCharacters (what capture keeps of a copied text), wrapped between words where it
// can and anywhere where it cannot, so that no stored text, however long or unbroken, holds up
// the window. The count and Copy are about the whole text.
class TextQuickLookView : public QWidget {
    Q_OBJECT
public:
    static constexpr int maxShownCharacters = 10000;

    TextQuickLookView(const QString& text, Pasteboard& pasteboard, QWidget* parent = nullptr);
    static bool isLikelyCode(const QString& text);
    // "N characters", N in user-perceived characters.
    static QString countText(const QString& text);
    QTextEdit* textView() const { return m_textView; }
    QToolButton* copyButton() const { return m_copyButton; }
    QString countLabelText() const;

private:
    QTextEdit* m_textView;
    QToolButton* m_copyButton;
    QLabel* m_countLabel;
};

// The quick look of one history entry: a header with the source application and a close button,
// the content (video, image or text) and a footer with the date (and "Final Cut Pro" for such
// entries), on a dark rounded surface.
class QuickLookView : public QWidget {
    Q_OBJECT
public:
    enum class ContentKind { video, image, text };

    // appIcon: the entry's application icon where it is at hand.
    QuickLookView(const ClipItemPtr& item, Pasteboard& pasteboard, std::function<void()> onDismiss,
        const std::optional<QIcon>& appIcon = std::nullopt, QWidget* parent = nullptr);

    ContentKind contentKind() const { return m_kind; }
    // The text view of a text entry (null for images and videos).
    TextQuickLookView* textContent() const { return m_text; }
    ImageQuickLookView* imageContent() const { return m_image; }
    VideoQuickLookView* videoContent() const { return m_video; }
    static ContentKind kindOf(const ClipItem& item, QByteArray* imageData = nullptr);
    static QString formattedDate(const QDateTime& timestamp);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    ContentKind m_kind;
    TextQuickLookView* m_text = nullptr;
    ImageQuickLookView* m_image = nullptr;
    VideoQuickLookView* m_video = nullptr;
};
