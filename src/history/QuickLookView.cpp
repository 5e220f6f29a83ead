#include "history/QuickLookView.h"

#include "clipboard/PasteService.h"
#include "history/ImageDecoding.h"
#include "platform/Background.h"
#include "platform/Pasteboard.h"
#include "platform/Unicode.h"
#include "ui/Symbols.h"
#include "ui/TextLabel.h"
#include "ui/Theme.h"

#include <QFontDatabase>
#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QPointer>
#include <QScrollArea>
#include <QTextEdit>
#include <QToolButton>
#include <QVBoxLayout>
#include <limits>

namespace {

QToolButton* symbolButton(const QString& symbol, int size, const QColor& color, QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setIcon(Symbols::icon(symbol, color, {size, size * 2}));
    button->setIconSize(QSize(size, size));
    button->setCursor(Qt::PointingHandCursor);
    button->setStyleSheet(Theme::flatTextButtonStyle(QStringLiteral("QToolButton"), Theme::text()));
    return button;
}

QColor withAlpha(QColor color, qreal alpha)
{
    color.setAlphaF(color.alphaF() * alpha);
    return color;
}

// A band on the "ultra-thin material": a faint lighter strip.
class MaterialBand : public QWidget {
public:
    using QWidget::QWidget;

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.fillRect(rect(), Theme::whiteAlpha(10));
    }
};

}

// --- ImageQuickLookView ---

ImageQuickLookView::ImageQuickLookView(const QByteArray& data, QWidget* parent)
    : QWidget(parent)
    , m_sizeLabel(textLabel(QString(), Theme::labelFont(9), Theme::text(), this))
    , m_zoomBar(new QWidget(this))
    , m_zoomLabel(textLabel(QString(), Theme::labelFont(9), Theme::text(), m_zoomBar))
{
    setMinimumHeight(200);
    m_sizeLabel->setContentsMargins(8, 4, 8, 4);
    m_sizeLabel->setAutoFillBackground(true);
    QPalette chip = m_sizeLabel->palette();
    chip.setColor(QPalette::Window, Theme::withAlpha(Theme::popoverTint(), 230));
    m_sizeLabel->setPalette(chip);
    m_sizeLabel->hide();

    auto* row = new QHBoxLayout(m_zoomBar);
    row->setContentsMargins(8, 8, 8, 8);
    row->setSpacing(0);
    QToolButton* minus = symbolButton(QStringLiteral("minus.magnifyingglass"), 14, Theme::text(), m_zoomBar);
    QToolButton* plus = symbolButton(QStringLiteral("plus.magnifyingglass"), 14, Theme::text(), m_zoomBar);
    minus->setText(QStringLiteral("−"));
    plus->setText(QStringLiteral("+"));
    m_zoomLabel->setFixedWidth(40);
    m_zoomLabel->setAlignment(Qt::AlignCenter);
    row->addWidget(minus);
    row->addWidget(m_zoomLabel);
    row->addWidget(plus);
    m_zoomBar->setAutoFillBackground(true);
    m_zoomBar->setPalette(chip);
    m_zoomBar->hide();
    connect(minus, &QToolButton::clicked, this, &ImageQuickLookView::zoomOut);
    connect(plus, &QToolButton::clicked, this, &ImageQuickLookView::zoomIn);
    m_zoomLabel->setText(zoomText());

    ImageDecoding::decodeAsync(
        this, data, {}, [self = QPointer<ImageQuickLookView>(this)](const QImage& image, bool alive) {
            if (!alive || !self)
                return;
            self->m_image = image;
            self->m_sizeLabel->setText(self->sizeText());
            self->m_sizeLabel->adjustSize();
            self->m_sizeLabel->show();
            self->m_zoomBar->show();
            self->layoutOverlays();
            self->update();
        });
}

void ImageQuickLookView::zoomIn()
{
    m_zoomScale = qMin(m_zoomScale + 0.25, 3.0);
    m_zoomLabel->setText(zoomText());
    update();
}

void ImageQuickLookView::zoomOut()
{
    m_zoomScale = qMax(m_zoomScale - 0.25, 0.5);
    m_zoomLabel->setText(zoomText());
    update();
}

QString ImageQuickLookView::zoomText() const
{
    return QString::number(int(m_zoomScale * 100)) + QLatin1Char('%');
}

QString ImageQuickLookView::sizeText() const
{
    return QStringLiteral("%1 × %2").arg(m_image.width()).arg(m_image.height());
}

void ImageQuickLookView::resizeEvent(QResizeEvent* event)
{
    QWidget::resizeEvent(event);
    layoutOverlays();
}

void ImageQuickLookView::layoutOverlays()
{
    m_sizeLabel->move(8, 8);
    m_zoomBar->adjustSize();
    m_zoomBar->move(width() - m_zoomBar->width() - 8, height() - m_zoomBar->height() - 8);
}

void ImageQuickLookView::paintEvent(QPaintEvent*)
{
    if (m_image.isNull())
        return;
    QPainter painter(this);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    painter.setClipRect(rect());
    QSizeF fitted = QSizeF(m_image.size()).scaled(QSizeF(size()), Qt::KeepAspectRatio) * m_zoomScale;
    const QRectF target(QPointF((width() - fitted.width()) / 2, (height() - fitted.height()) / 2), fitted);
    painter.drawImage(target, m_image);
}

// --- TextQuickLookView ---

TextQuickLookView::TextQuickLookView(const QString& text, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_textView(new QTextEdit(this))
    , m_copyButton(symbolButton(QStringLiteral("doc.on.doc"), 12, Theme::text(), this))
    , m_countLabel(textLabel(QString(), Theme::labelFont(9), Theme::secondaryText(), this))
{
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(12);

    auto* header = new QHBoxLayout;
    header->setSpacing(6);
    auto* sizeIcon = new QLabel(this);
    sizeIcon->setPixmap(Symbols::pixmap(QStringLiteral("textformat.size"), 12, Theme::secondaryText()));
    header->addWidget(sizeIcon);
    header->addWidget(m_countLabel);
    header->addStretch();
    m_copyButton->setText(QStringLiteral("Copy"));
    m_copyButton->setFont(Theme::labelFont(9));
    m_copyButton->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
    header->addWidget(m_copyButton);
    layout->addLayout(header);

    auto* divider = new QFrame(this);
    divider->setFixedHeight(1);
    divider->setStyleSheet(Theme::backgroundStyle(Theme::separator()));
    layout->addWidget(divider);

    // Counting a text of megabytes takes a while: short texts are counted here, long ones on the
    // pool, the label filled in when the count comes back.
    constexpr qsizetype countedInPlace = 4 * maxShownCharacters;
    if (text.size() <= countedInPlace) {
        m_countLabel->setText(countText(text));
    } else {
        Background::run(this, [text] { return countText(text); },
            [this](const QString& count) { m_countLabel->setText(count); });
    }

    const QString shown = Unicode::graphemePrefix(text.left(8 * qsizetype(maxShownCharacters)), maxShownCharacters);
    const bool code = isLikelyCode(shown);
    m_textView->setReadOnly(true);
    m_textView->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    m_textView->setFrameShape(QFrame::NoFrame);
    m_textView->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_textView->setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    m_textView->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    m_textView->viewport()->setAutoFillBackground(false);
    m_textView->setStyleSheet(Theme::transparentTextStyle(QStringLiteral("QTextEdit")));
    m_textView->document()->setDocumentMargin(0);
    m_textView->setFocusPolicy(Qt::NoFocus);
    QFont font = code ? QFontDatabase::systemFont(QFontDatabase::FixedFont) : QFont();
    font.setPixelSize(code ? 13 : 14);
    m_textView->setFont(font);
    m_textView->setPlainText(shown);
    QTextBlockFormat spacing;
    spacing.setLineHeight(2, QTextBlockFormat::LineDistanceHeight);
    QTextCursor cursor(m_textView->document());
    cursor.select(QTextCursor::Document);
    cursor.mergeBlockFormat(spacing);
    m_textView->setMinimumHeight(100);
    layout->addWidget(m_textView, 1);

    // A copy of what is shown, seen by the clipboard monitor like any copy.
    Pasteboard* board = &pasteboard;
    connect(m_copyButton, &QToolButton::clicked, this, [board, text] {
        board->clearContents();
        board->writeItems({{PasteboardTypes::utf8PlainText, text.toUtf8()}});
    });
}

QString TextQuickLookView::countText(const QString& text)
{
    const qsizetype all = std::numeric_limits<qsizetype>::max() - 1;
    return QString::number(Unicode::graphemeCount(text, all)) + QStringLiteral(" characters");
}

QString TextQuickLookView::countLabelText() const
{
    return m_countLabel->text();
}

bool TextQuickLookView::isLikelyCode(const QString& text)
{
    static const QStringList markers {QStringLiteral("{"), QStringLiteral("}"), QStringLiteral("func "),
        QStringLiteral("var "), QStringLiteral("let "), QStringLiteral("const "), QStringLiteral("import "),
        QStringLiteral("class "), QStringLiteral("def "), QStringLiteral("->"), QStringLiteral("=>"),
        QStringLiteral("();")};
    return std::any_of(markers.begin(), markers.end(), [&](const QString& marker) { return text.contains(marker); });
}

// --- QuickLookView ---

QuickLookView::ContentKind QuickLookView::kindOf(const ClipItem& item, QByteArray* imageData)
{
    if (item.cachedIsVideo && item.cachedFileURL) {
        const QUrl url(*item.cachedFileURL);
        if (url.isValid() && !url.isEmpty())
            return ContentKind::video;
    }
    if (item.hasImage()) {
        std::optional<QByteArray> data = item.fullImageData();
        if (!data)
            data = item.thumbnailData;
        if (data) {
            if (imageData)
                *imageData = *data;
            return ContentKind::image;
        }
    }
    return ContentKind::text;
}

QString QuickLookView::formattedDate(const QDateTime& timestamp)
{
    const QLocale locale;
    const QDateTime local = timestamp.toLocalTime();
    return locale.toString(local.date(), QStringLiteral("d MMM yyyy")) + QStringLiteral(", ")
        + locale.toString(local.time(), QLocale::ShortFormat);
}

QuickLookView::QuickLookView(const ClipItemPtr& item, Pasteboard& pasteboard, std::function<void()> onDismiss,
    const std::optional<QIcon>& appIcon, QWidget* parent)
    : QWidget(parent)
{
    setAttribute(Qt::WA_StyledBackground, false);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);

    // Header: icon (when already cached), application name, close button.
    auto* header = new QHBoxLayout;
    header->setContentsMargins(16, 12, 16, 12);
    header->setSpacing(8);
    if (appIcon) {
        auto* iconLabel = new QLabel(this);
        iconLabel->setPixmap(appIcon->pixmap(20, 20));
        iconLabel->setFixedSize(20, 20);
        header->addWidget(iconLabel);
    }
    header->addWidget(textLabel(Unicode::singleLine(item->appName, ClipItem::maxAppNameCharacters),
        Theme::labelFont(10.5, QFont::Medium), Theme::text(), this));
    header->addStretch();
    QToolButton* close = symbolButton(QStringLiteral("xmark.circle.fill"), 18, Theme::secondaryText(), this);
    close->setToolTip(QStringLiteral("Close"));
    connect(close, &QToolButton::clicked, this, [onDismiss] {
        if (onDismiss)
            onDismiss();
    });
    header->addWidget(close);
    layout->addLayout(header);

    auto* divider = new QFrame(this);
    divider->setFixedHeight(1);
    divider->setStyleSheet(Theme::backgroundStyle(Theme::separator()));
    layout->addWidget(divider);

    QByteArray imageData;
    m_kind = kindOf(*item, &imageData);
    auto* body = new QWidget(this);
    auto* bodyLayout = new QVBoxLayout(body);
    bodyLayout->setContentsMargins(16, 16, 16, 16);
    switch (m_kind) {
    case ContentKind::video:
        m_video = new VideoQuickLookView(QUrl(*item->cachedFileURL), body);
        bodyLayout->addWidget(m_video);
        break;
    case ContentKind::image:
        m_image = new ImageQuickLookView(imageData, body);
        bodyLayout->addWidget(m_image);
        break;
    case ContentKind::text:
        m_text = new TextQuickLookView(item->searchIndex().value_or(QString()), pasteboard, body);
        bodyLayout->addWidget(m_text);
        break;
    }
    layout->addWidget(body, 1);

    auto* footer = new MaterialBand(this);
    auto* footerLayout = new QHBoxLayout(footer);
    footerLayout->setContentsMargins(16, 10, 16, 10);
    footerLayout->addWidget(
        textLabel(formattedDate(item->timestamp), Theme::labelFont(9), Theme::secondaryText(), footer));
    footerLayout->addStretch();
    if (item->cachedHasFCPContent) {
        const QColor orange(255, 149, 0);
        auto* film = new QLabel(footer);
        film->setPixmap(Symbols::pixmap(QStringLiteral("film"), 12, orange));
        footerLayout->addWidget(film);
        footerLayout->addWidget(textLabel(QStringLiteral("Final Cut Pro"), Theme::labelFont(9), orange, footer));
    }
    layout->addWidget(footer);
}

void QuickLookView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const bool translucent = window()->testAttribute(Qt::WA_TranslucentBackground);
    QPainterPath path;
    path.addRoundedRect(QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5), 12, 12);
    if (!translucent)
        painter.fillRect(rect(), Theme::annotationSurface());
    painter.fillPath(path, Theme::hudSurface());
    painter.setPen(QPen(withAlpha(Theme::whiteAlpha(255), 0.1), 1));
    painter.drawPath(path);
}
