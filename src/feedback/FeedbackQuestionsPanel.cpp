#include "feedback/FeedbackQuestionsPanel.h"

#include "annotation/AnnotationDocument.h"
#include "feedback/FeedbackStyle.h"
#include "platform/Background.h"
#include "platform/ImageEncoding.h"
#include "platform/Pasteboard.h"
#include "ui/Theme.h"
#include "platform/PasteboardTypes.h"

#include <QApplication>
#include <QCoreApplication>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPainterPathStroker>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QToolButton>
#include <QVBoxLayout>

namespace {


const QString& kPngType = PasteboardTypes::png;
const QString& kTextType = PasteboardTypes::utf8PlainText;

// Font sizes are given in pixels, as the panel's layout is measured in them.
QFont panelFont(int pixelSize, QFont::Weight weight = QFont::Normal)
{
    QFont font = Theme::labelFont(10, weight);
    font.setPixelSize(pixelSize);
    return font;
}

QFont systemFont(int pixelSize)
{
    QFont font = QFont();
    font.setPixelSize(pixelSize);
    return font;
}

using FeedbackStyle::label;
using FeedbackStyle::symbol;

}

FeedbackQuestionsPanel::FeedbackQuestionsPanel(
    Host host, FeedbackService& service, Pasteboard& pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_host(std::move(host))
    , m_service(service)
    , m_pasteboard(pasteboard)
{
    setObjectName(QStringLiteral("FeedbackQuestionsPanel"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedWidth(kWidth);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Expanding);
    setStyleSheet(panelStyleSheet());

    // The questions scroll when the editor is shorter than they are.
    auto* outer = new QVBoxLayout(this);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setFrameShape(QFrame::NoFrame);
    outer->addWidget(scroll);

    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("panelContent"));
    auto* v = new QVBoxLayout(content);
    v->setContentsMargins(14, 14, 14, 14);
    v->setSpacing(12);

    v->addWidget(makeHeader(content));
    addQuestions(v, content);
    // The evidence: no control, the image is always attached.
    auto* evidence = new QHBoxLayout;
    evidence->setSpacing(6);
    auto* photo = new QLabel(content);
    photo->setPixmap(symbol(QStringLiteral("photo"), 14, Theme::secondaryText()));
    evidence->addWidget(photo, 0, Qt::AlignVCenter);
    QLabel* evidenceText = label(QStringLiteral("6. Beleg — dein annotiertes Bild (automatisch angehängt)"),
        panelFont(11), Theme::secondaryText(), content);
    evidenceText->setWordWrap(true);
    evidence->addWidget(evidenceText, 1, Qt::AlignVCenter);
    v->addLayout(evidence);

    addStatusAndButtons(v, content);
    v->addStretch(1);

    scroll->setWidget(content);
    refresh();
}

QString FeedbackQuestionsPanel::panelStyleSheet()
{
    return QStringLiteral("#FeedbackQuestionsPanel, #panelContent, QScrollArea { background: %1; border: none; }")
               .arg(Theme::annotationSurface().name())
        + Theme::fieldStyle(QStringLiteral("QLineEdit")) + Theme::buttonStyle(QStringLiteral("QPushButton"), QStringLiteral("5px 12px"))
        + Theme::prominentButtonStyle(QStringLiteral("QPushButton#sendButton"))
        + QStringLiteral("QPushButton#sendButton { border: none; font-weight: 600; padding: 5px 16px; }"
                         "QToolButton#closeButton { border: none; background: transparent; padding: 0; }")
        + Theme::scrollBarStyle(6);
}

void FeedbackQuestionsPanel::addQuestions(QVBoxLayout* v, QWidget* content)
{
    v->addWidget(fieldBox(QStringLiteral("App"), QStringLiteral("Quorvel"), m_targetApp, content, Qt::Horizontal));
    m_targetApp->setText(QStringLiteral("Quorvel"));
    m_targetApp->setObjectName(QStringLiteral("targetApp"));

    auto* divider = new QFrame(content);
    divider->setFixedHeight(1);
    divider->setStyleSheet(Theme::separatorStyle(Theme::whiteAlpha(77)));
    v->addWidget(divider);

    v->addWidget(fieldBox(QStringLiteral("1. Ziel"), QStringLiteral("Was wolltest du in dem Moment tun?"), m_ziel,
        content, Qt::Vertical));
    v->addWidget(fieldBox(QStringLiteral("2. Ort"), QStringLiteral("Wo warst du in der App? (welcher Bereich/Screen?)"),
        m_ort, content, Qt::Vertical));
    v->addWidget(fieldBox(
        QStringLiteral("3. Aktion"), QStringLiteral("Was genau hast du angetippt?"), m_aktion, content, Qt::Vertical));
    v->addWidget(fieldBox(QStringLiteral("4. Erwartung"), QStringLiteral("Was hast du erwartet, dass passiert?"),
        m_erwartung, content, Qt::Vertical));
    v->addWidget(fieldBox(QStringLiteral("5. Ergebnis"), QStringLiteral("Was ist stattdessen wirklich passiert?"),
        m_ergebnis, content, Qt::Vertical));
    m_ziel->setObjectName(QStringLiteral("ziel"));
    m_ort->setObjectName(QStringLiteral("ort"));
    m_aktion->setObjectName(QStringLiteral("aktion"));
    m_erwartung->setObjectName(QStringLiteral("erwartung"));
    m_ergebnis->setObjectName(QStringLiteral("ergebnis"));

}

void FeedbackQuestionsPanel::addStatusAndButtons(QVBoxLayout* v, QWidget* content)
{
    m_status = label(QString(), panelFont(11), Theme::success(), content);
    m_status->setObjectName(QStringLiteral("status"));
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse);
    v->addWidget(m_status);

    auto* buttons = new QHBoxLayout;
    buttons->setSpacing(8);
    m_copyButton = new QPushButton(QStringLiteral("Text + Bild kopieren"), content);
    m_copyButton->setObjectName(QStringLiteral("copyButton"));
    m_copyButton->setCursor(Qt::PointingHandCursor);
    m_copyButton->setFont(systemFont(12));
    connect(m_copyButton, &QPushButton::clicked, this, &FeedbackQuestionsPanel::copyToClipboardWithText);
    buttons->addWidget(m_copyButton);
    buttons->addStretch(1);
    m_sendButton = new QPushButton(QStringLiteral("Senden"), content);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setCursor(Qt::PointingHandCursor);
    m_sendButton->setFont(systemFont(12));
    // Wide enough for "Sende…", so the row does not jump while sending.
    m_sendButton->setMinimumWidth(86);
    connect(m_sendButton, &QPushButton::clicked, this, &FeedbackQuestionsPanel::send);
    buttons->addWidget(m_sendButton);
    v->addLayout(buttons);
}

FeedbackQuestionsPanel::~FeedbackQuestionsPanel() = default;

FeedbackQuestionsPanel::Host FeedbackQuestionsPanel::hostFor(
    AnnotationDocument& document, std::function<void()> commitPendingText, std::function<void()> onClose)
{
    QPointer<AnnotationDocument> doc(&document);
    return Host {
        std::move(commitPendingText),
        [doc] { return doc ? doc->renderExportImage() : QImage(); },
        std::move(onClose),
    };
}

QWidget* FeedbackQuestionsPanel::makeHeader(QWidget* parent)
{
    auto* header = new QWidget(parent);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(label(QStringLiteral("Feedback"), panelFont(14, QFont::DemiBold), Theme::text(), header));
    row->addStretch(1);
    auto* close = new QToolButton(header);
    close->setObjectName(QStringLiteral("closeButton"));
    close->setIcon(QIcon(symbol(QStringLiteral("xmark.circle.fill"), 16, Theme::secondaryText())));
    close->setIconSize(QSize(16, 16));
    close->setCursor(Qt::PointingHandCursor);
    close->setToolTip(QStringLiteral("Schließen"));
    // Queued: the editor may delete the panel in onClose, and the button is still in its click.
    connect(close, &QToolButton::clicked, this, [this] {
        if (m_host.onClose)
            QMetaObject::invokeMethod(
                this, [onClose = m_host.onClose] { onClose(); }, Qt::QueuedConnection);
    });
    row->addWidget(close);
    return header;
}

// A line edit with its name: beside it in a fixed-width column (horizontal) or above it (vertical).
QWidget* FeedbackQuestionsPanel::fieldBox(
    const QString& text, const QString& placeholder, QLineEdit*& field, QWidget* parent, Qt::Orientation orientation)
{
    const bool beside = orientation == Qt::Horizontal;
    auto* box = new QWidget(parent);
    QBoxLayout* layout = beside ? static_cast<QBoxLayout*>(new QHBoxLayout(box)) : new QVBoxLayout(box);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(beside ? 8 : 3);
    QLabel* name = label(text, panelFont(11, QFont::Medium), Theme::secondaryText(), box);
    if (beside) {
        name->setFixedWidth(40);
        name->setAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    }
    const Qt::Alignment alignment = beside ? Qt::Alignment(Qt::AlignVCenter) : Qt::Alignment();
    layout->addWidget(name, 0, alignment);
    field = new QLineEdit(box);
    field->setPlaceholderText(placeholder);
    field->setFont(systemFont(12));
    layout->addWidget(field, beside ? 1 : 0, alignment);
    return box;
}

QString FeedbackQuestionsPanel::targetApp() const
{
    return m_targetApp->text();
}

QString FeedbackQuestionsPanel::formattedText() const
{
    return QStringLiteral("Ziel: ") + m_ziel->text() + QStringLiteral("\nOrt: ") + m_ort->text()
        + QStringLiteral("\nAktion: ") + m_aktion->text() + QStringLiteral("\nErwartung: ") + m_erwartung->text()
        + QStringLiteral("\nErgebnis: ") + m_ergebnis->text() + QStringLiteral("\nBeleg: siehe angehängtes Bild");
}

QImage FeedbackQuestionsPanel::exportImage()
{
    // Text still being typed on the canvas belongs in the picture.
    if (m_host.commitPendingText)
        m_host.commitPendingText();
    QImage image = m_host.renderExportImage ? m_host.renderExportImage() : QImage();
    if (image.isNull())
        setStatus(QStringLiteral("Fehler: Bild konnte nicht erzeugt werden"), true);
    return image;
}

void FeedbackQuestionsPanel::encodeThen(
    const QImage& image, std::function<void(FeedbackQuestionsPanel&, std::optional<QByteArray>)> then)
{
    // Encoding a large image takes a while; the editor stays responsive meanwhile.
    Background::run(
        this, [image] { return ImageEncoding::png(image); },
        [this, then = std::move(then)](std::optional<QByteArray> result) { then(*this, result); });
}

void FeedbackQuestionsPanel::copyToClipboardWithText()
{
    const QImage image = exportImage();
    if (image.isNull())
        return;
    const QString text = formattedText();
    const quint64 generation = ++m_copyGeneration;
    encodeThen(image, [text, generation](FeedbackQuestionsPanel& panel, std::optional<QByteArray> png) {
        if (generation != panel.m_copyGeneration)
            return; // a newer copy follows
        if (!png) {
            panel.setStatus(QStringLiteral("Fehler: Bild konnte nicht erzeugt werden"), true);
            return;
        }
        // One item with both representations; the clipboard monitor records it like any copy.
        const bool written = panel.m_pasteboard.writeItems({{kPngType, *png}, {kTextType, text.toUtf8()}});
        if (written)
            panel.setStatus(QStringLiteral("In Zwischenablage kopiert (Bild + Text)."), false);
        else
            panel.setStatus(QStringLiteral("Fehler: Zwischenablage konnte nicht beschrieben werden"), true);
    });
}

void FeedbackQuestionsPanel::send()
{
    if (m_isSending)
        return;
    const QImage image = exportImage();
    if (image.isNull())
        return;
    m_isSending = true;
    setStatus(std::nullopt, false);

    // The answers as they are at the press; later typing does not change this record.
    FeedbackService::Payload payload;
    payload.text = formattedText();
    payload.userName = FeedbackService::userName();
    payload.appVersion = FeedbackService::appVersion();
    payload.osVersion = FeedbackService::osVersion();
    payload.appModule = targetApp() + QStringLiteral(" – Annotation-Feedback");
    payload.diagnose = QString();
    encodeThen(image, [payload](FeedbackQuestionsPanel& panel, std::optional<QByteArray> png) mutable {
        if (!png) {
            panel.m_isSending = false;
            panel.setStatus(QStringLiteral("Fehler: Bild konnte nicht erzeugt werden"), true);
            return;
        }
        payload.screenshotPNG = std::move(png);
        QPointer<FeedbackQuestionsPanel> self(&panel);
        panel.m_service.send(payload, [self](const FeedbackService::Result& result) {
            if (self)
                self->sendFinished(result);
        });
    });
}

void FeedbackQuestionsPanel::sendFinished(const FeedbackService::Result& result)
{
    m_isSending = false;
    if (result.ok())
        setStatus(QStringLiteral("Gesendet — danke!"), false);
    else
        setStatus(QStringLiteral("Fehler: ")
                + (result.error ? result.error->localizedDescription() : QStringLiteral("Unbekannter Fehler")),
            true);
}

void FeedbackQuestionsPanel::setStatus(std::optional<QString> message, bool isError)
{
    m_statusIsError = isError;
    m_statusMessage = std::move(message);
    refresh();
}

void FeedbackQuestionsPanel::refresh()
{
    m_sendButton->setText(m_isSending ? QStringLiteral("Sende…") : QStringLiteral("Senden"));
    m_sendButton->setEnabled(!m_isSending);
    m_status->setVisible(m_statusMessage.has_value());
    if (m_statusMessage) {
        m_status->setText(*m_statusMessage);
        QPalette palette = m_status->palette();
        palette.setColor(QPalette::WindowText, m_statusIsError ? Theme::destructive() : Theme::success());
        m_status->setPalette(palette);
    }
}
