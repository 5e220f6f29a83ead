#include "feedback/FeedbackSheet.h"

#include "feedback/FeedbackStyle.h"
#include "feedback/FeedbackToggleSwitch.h"

#include "platform/Background.h"
#include "platform/ImageEncoding.h"
#include "store/ModelContainer.h"
#include "store/ModelContext.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QBuffer>
#include <QFrame>
#include <QHBoxLayout>
#include <QKeySequence>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPlainTextEdit>
#include <QPointer>
#include <QPushButton>
#include <QScrollArea>
#include <QShortcut>
#include <QVBoxLayout>
#include <cstdio>

namespace {

QColor cardColor()
{
    return Theme::annotationSurface().lighter(165);
}

using FeedbackStyle::symbol;

QLabel* label(const QString& text, const QFont& font, const QColor& color, QWidget* parent = nullptr)
{
    QLabel* l = FeedbackStyle::label(text, font, color, parent);
    l->setWordWrap(true);
    return l;
}

QFrame* divider(QWidget* parent)
{
    auto* line = new QFrame(parent);
    line->setFixedHeight(1);
    line->setStyleSheet(Theme::separatorStyle());
    return line;
}

// A section of the grouped form: its header above a rounded card.
QWidget* section(const QString& header, QLayout* cardLayout, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* v = new QVBoxLayout(box);
    v->setContentsMargins(0, 0, 0, 0);
    v->setSpacing(6);
    if (!header.isEmpty()) {
        QLabel* title = label(header, Theme::labelFont(9.5, QFont::DemiBold), Theme::secondaryText(), box);
        title->setContentsMargins(4, 0, 0, 0);
        v->addWidget(title);
    }
    auto* card = new QFrame(box);
    card->setObjectName(QStringLiteral("card"));
    card->setLayout(cardLayout);
    cardLayout->setContentsMargins(12, 10, 12, 10);
    v->addWidget(card);
    return box;
}


// The picture scaled to fit at most maxHeight high and maxWidth wide, corners rounded.
QPixmap roundedPreview(const QImage& image, int maxWidth, int maxHeight, qreal dpr)
{
    QSize size = image.size().scaled(maxWidth, maxHeight, Qt::KeepAspectRatio);
    if (size.isEmpty())
        return {};
    QPixmap out(size * dpr);
    out.setDevicePixelRatio(dpr);
    out.fill(Qt::transparent);
    QPainter p(&out);
    p.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    QPainterPath clip;
    clip.addRoundedRect(QRectF(QPointF(0, 0), QSizeF(size)), 6, 6);
    p.setClipPath(clip);
    p.drawImage(QRectF(QPointF(0, 0), QSizeF(size)), image);
    return out;
}

}

FeedbackSheet::FeedbackSheet(QString herkunft, std::function<void()> onClose, std::weak_ptr<ModelContainer> container,
    FeedbackService& service, PanelPictureProvider historyPanelPicture, QWidget* parent)
    : QWidget(parent)
    , m_herkunft(std::move(herkunft))
    , m_onClose(std::move(onClose))
    , m_container(std::move(container))
    , m_service(service)
    , m_historyPanelPicture(std::move(historyPanelPicture))
{
    setObjectName(QStringLiteral("FeedbackSheet"));
    setAttribute(Qt::WA_StyledBackground);
    setFixedSize(540, 540);
    setFont(Theme::labelFont(10));
    setStyleSheet(
        QStringLiteral(
            "#FeedbackSheet { background: %1; }"
            "QScrollArea, #content { background: %1; border: none; }"
            "#card { background: %2; border-radius: 8px; }")
            .arg(Theme::annotationSurface().name(), cardColor().name())
        + Theme::fieldStyle(QStringLiteral("QPlainTextEdit")) + Theme::buttonStyle(QStringLiteral("QPushButton"), QStringLiteral("5px 14px"))
        + Theme::prominentButtonStyle(QStringLiteral("QPushButton#sendButton"))
        + QStringLiteral("QPushButton#sendButton { border: none; font-weight: 600; }") + Theme::scrollBarStyle(8));

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(divider(this));
    auto* scroll = new QScrollArea(this);
    scroll->setWidgetResizable(true);
    scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    scroll->setWidget(makeContent());
    layout->addWidget(scroll, 1);
    layout->addWidget(divider(this));
    layout->addWidget(makeFooter());

    m_closeTimer.setSingleShot(true);
    m_closeTimer.setInterval(1500);
    connect(&m_closeTimer, &QTimer::timeout, this, [this] {
        m_sending = false;
        refresh();
        if (m_onClose)
            m_onClose();
    });

    auto* escape = new QShortcut(QKeySequence(Qt::Key_Escape), this);
    escape->setContext(Qt::WidgetWithChildrenShortcut);
    connect(escape, &QShortcut::activated, this, &FeedbackSheet::cancel);
    // Return belongs to the message; Ctrl+Return sends from anywhere in the form.
    for (const QKeySequence& keys : {QKeySequence(Qt::CTRL | Qt::Key_Return), QKeySequence(Qt::CTRL | Qt::Key_Enter)}) {
        auto* send = new QShortcut(keys, this);
        send->setContext(Qt::WidgetWithChildrenShortcut);
        connect(send, &QShortcut::activated, this, [this] {
            if (m_sendButton->isEnabled())
                m_sendButton->click();
        });
    }
    refresh();
}

FeedbackSheet::~FeedbackSheet() = default;

QWidget* FeedbackSheet::makeHeader()
{
    auto* header = new QWidget(this);
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(16, 14, 16, 14);
    row->setSpacing(12);
    auto* icon = new QLabel(header);
    icon->setPixmap(symbol(QStringLiteral("envelope.badge"), 30, Theme::blue()));
    row->addWidget(icon, 0, Qt::AlignVCenter);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(2);
    texts->addWidget(
        label(QStringLiteral("Feedback an Tobrin"), Theme::labelFont(12.5, QFont::DemiBold), Theme::text(), header));
    texts->addWidget(label(QStringLiteral("Geht direkt rein. Du musst nichts kopieren."), Theme::labelFont(9),
        Theme::secondaryText(), header));
    row->addLayout(texts, 1);
    return header;
}

QWidget* FeedbackSheet::makeContent()
{
    auto* content = new QWidget;
    content->setObjectName(QStringLiteral("content"));
    auto* v = new QVBoxLayout(content);
    v->setContentsMargins(18, 14, 18, 16);
    v->setSpacing(16);

    v->addWidget(makeMessageSection(content));
    v->addWidget(makeAttachmentSection(content));
    v->addWidget(makeFactsSection(content));
    v->addStretch(1);
    return content;
}

QWidget* FeedbackSheet::makeMessageSection(QWidget* content)
{
    // "Dein Feedback"
    auto* message = new QVBoxLayout;
    message->setSpacing(6);
    m_text = new QPlainTextEdit(content);
    m_text->setObjectName(QStringLiteral("message"));
    m_text->setFixedHeight(140);
    m_text->setTabChangesFocus(true);
    m_text->setFont(Theme::labelFont(10.5));
    connect(m_text, &QPlainTextEdit::textChanged, this, &FeedbackSheet::refresh);
    message->addWidget(m_text);
    message->addWidget(label(QStringLiteral("Was funktioniert nicht / was wäre cool / wo hängst du?"),
        Theme::labelFont(9), Theme::secondaryText(), content));
    return section(QStringLiteral("Dein Feedback"), message, content);
}

QWidget* FeedbackSheet::makeAttachmentSection(QWidget* content)
{
    // "Optional": the switch, what the picture shows, and the picture or why there is none.
    auto* optional = new QVBoxLayout;
    optional->setSpacing(6);
    auto* toggle = new FeedbackToggleSwitch(QStringLiteral("Aktuellen Screenshot mitschicken"), content);
    toggle->setObjectName(QStringLiteral("screenshotSwitch"));
    m_switch = toggle;
    connect(m_switch, &QAbstractButton::toggled, this, &FeedbackSheet::screenshotSwitchChanged);
    optional->addWidget(m_switch);
    QLabel* note = label(
        QStringLiteral("Das Bild zeigt das Clipboard-Fenster (sonst die Einstellungen) – mit den darin "
                       "sichtbaren Clipboard-Inhalten."),
        Theme::labelFont(8.5), Theme::secondaryText(), content);
    note->setObjectName(QStringLiteral("screenshotNote"));
    optional->addWidget(note);
    m_attachment = new QWidget(content);
    auto* attachment = new QVBoxLayout(m_attachment);
    attachment->setContentsMargins(0, 4, 0, 0);
    attachment->setSpacing(4);
    m_preview = new QLabel(m_attachment);
    m_preview->setObjectName(QStringLiteral("screenshotPreview"));
    attachment->addWidget(m_preview, 0, Qt::AlignLeft);
    m_previewSize = label(QString(), Theme::labelFont(8.5), Theme::secondaryText(), m_attachment);
    m_previewSize->setObjectName(QStringLiteral("screenshotSize"));
    attachment->addWidget(m_previewSize);
    m_attachmentHint = label(QString(), Theme::labelFont(9), Theme::secondaryText(), m_attachment);
    m_attachmentHint->setObjectName(QStringLiteral("screenshotHint"));
    attachment->addWidget(m_attachmentHint);
    optional->addWidget(m_attachment);
    return section(QStringLiteral("Optional"), optional, content);
}

QWidget* FeedbackSheet::makeFactsSection(QWidget* content)
{
    // What goes along on its own.
    auto* facts = new QVBoxLayout;
    facts->setSpacing(0);
    auto addRow = [&](const QString& name, const QString& value) {
        auto* row = new QHBoxLayout;
        row->setContentsMargins(0, 4, 0, 4);
        row->addWidget(label(name, Theme::labelFont(10), Theme::text(), content), 0, Qt::AlignTop);
        QLabel* valueLabel = label(value, Theme::labelFont(10), Theme::secondaryText(), content);
        valueLabel->setAlignment(Qt::AlignRight | Qt::AlignTop);
        valueLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
        row->addWidget(valueLabel, 1, Qt::AlignTop);
        facts->addLayout(row);
        return valueLabel;
    };
    m_userNameValue = addRow(QStringLiteral("Absender"), QString());
    m_appVersionValue = addRow(QStringLiteral("App-Version"), QString());
    // The operating system's row; the program runs on Linux.
    m_osVersionValue = addRow(QStringLiteral("System"), QString());
    if (!m_herkunft.isEmpty())
        addRow(QStringLiteral("Bereich"), m_herkunft)->setObjectName(QStringLiteral("herkunft"));
    QLabel* also = label(
        QStringLiteral(
            "Außerdem: Anzahl Clips, angepinnte Clips, Berechtigungen und Shortcut. KEINE Clipboard-Inhalte."),
        Theme::labelFont(8.5), Theme::secondaryText(), content);
    also->setContentsMargins(0, 6, 0, 0);
    facts->addWidget(also);
    return section(QStringLiteral("Wird automatisch mitgeschickt (zur Diagnose)"), facts, content);
}

QWidget* FeedbackSheet::makeFooter()
{
    auto* footer = new QWidget(this);
    auto* row = new QHBoxLayout(footer);
    row->setContentsMargins(16, 12, 16, 12);
    m_cancelButton = new QPushButton(QStringLiteral("Abbrechen"), footer);
    m_cancelButton->setObjectName(QStringLiteral("cancelButton"));
    m_cancelButton->setCursor(Qt::PointingHandCursor);
    m_cancelButton->setToolTip(QStringLiteral("Esc"));
    connect(m_cancelButton, &QPushButton::clicked, this, &FeedbackSheet::cancel);
    row->addWidget(m_cancelButton);
    // The status stays in view beside the send button, however far the form is scrolled.
    m_statusRow = new QWidget(footer);
    auto* status = new QHBoxLayout(m_statusRow);
    status->setContentsMargins(8, 0, 4, 0);
    status->setSpacing(6);
    m_statusIcon = new QLabel(m_statusRow);
    status->addWidget(m_statusIcon, 0, Qt::AlignVCenter);
    m_statusText = label(QString(), Theme::labelFont(9.5), Theme::text(), m_statusRow);
    m_statusText->setObjectName(QStringLiteral("status"));
    m_statusText->setTextInteractionFlags(Qt::TextSelectableByMouse);
    status->addWidget(m_statusText, 1, Qt::AlignVCenter);
    row->addWidget(m_statusRow, 1);
    m_statusStretch = new QWidget(footer);
    row->addWidget(m_statusStretch, 1);
    m_sendButton = new QPushButton(QStringLiteral("Feedback senden"), footer);
    m_sendButton->setObjectName(QStringLiteral("sendButton"));
    m_sendButton->setCursor(Qt::PointingHandCursor);
    m_sendButton->setToolTip(QStringLiteral("Strg+Eingabe"));
    m_sendButton->setMinimumWidth(140);
    connect(m_sendButton, &QPushButton::clicked, this, &FeedbackSheet::senden);
    row->addWidget(m_sendButton);
    return footer;
}

void FeedbackSheet::showEvent(QShowEvent* event)
{
    QWidget::showEvent(event);
    laden();
}

void FeedbackSheet::hideEvent(QHideEvent* event)
{
    QWidget::hideEvent(event);
    // A form that is no longer shown does not close a window later on.
    if (m_closeTimer.isActive()) {
        m_closeTimer.stop();
        m_sending = false;
        refresh();
    }
}

void FeedbackSheet::laden()
{
    m_appVersion = FeedbackService::appVersion();
    m_osVersion = FeedbackService::osVersion();
    m_userName = FeedbackService::userName();
    m_clipCount = 0;
    m_pinnedCount = 0;
    if (auto container = m_container.lock()) {
        ModelContext& context = container->mainContext();
        m_clipCount = qMax<qint64>(0, context.fetchClipItemCount());
        FetchDescriptor pinned;
        pinned.predicate = QStringLiteral("isPinned = ?");
        pinned.arguments = {true};
        m_pinnedCount = qMax<qint64>(0, context.fetchClipItemCount(pinned));
    }
    m_userNameValue->setText(m_userName);
    m_appVersionValue->setText(m_appVersion);
    m_osVersionValue->setText(m_osVersion);
}

void FeedbackSheet::screenshotSwitchChanged(bool on)
{
    if (on) {
        erstelleScreenshot();
    } else {
        ++m_captureGeneration; // an encoding still running is dropped
        m_screenshotData.reset();
        m_screenshotUnavailable = false;
    }
    refresh();
}

void FeedbackSheet::erstelleScreenshot()
{
    const quint64 generation = ++m_captureGeneration;
    m_screenshotData.reset();
    const QImage image = captureAppWindowImage(m_historyPanelPicture);
    m_screenshotUnavailable = image.isNull();
    if (image.isNull())
        return;
    // The window is drawn here, on the main thread; encoding the PNG is left to a worker.
    Background::run(
        this, [image] { return ImageEncoding::png(image); },
        [this, generation](std::optional<QByteArray> png) {
            if (generation != m_captureGeneration || !m_switch->isChecked())
                return;
            if (png)
                m_screenshotData = std::move(png);
            else
                m_screenshotUnavailable = true;
            refresh();
        });
}

QImage FeedbackSheet::captureAppWindowImage(const PanelPictureProvider& historyPanelPicture)
{
    if (historyPanelPicture) {
        const QImage panel = historyPanelPicture();
        if (!panel.isNull() && panel.width() > 0 && panel.height() > 0)
            return panel;
    }
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->windowTitle() != QLatin1String("Quorvel Settings"))
            continue;
        if (window->width() <= 0 || window->height() <= 0)
            return {};
        // The window draws itself; the screen is not read.
        return window->grab().toImage();
    }
    return {};
}

QString FeedbackSheet::formatBytes(qint64 byteCount)
{
    // C's formatting, whose halves go to the even neighbour (2.5 KB reads "2 KB"); Qt's own
    // rounds them up.
    const double k = static_cast<double>(byteCount) / 1024.0;
    char text[64];
    if (k >= 1024.0)
        std::snprintf(text, sizeof text, "%.1f MB", k / 1024.0);
    else
        std::snprintf(text, sizeof text, "%.0f KB", k);
    return QString::fromLatin1(text);
}

void FeedbackSheet::senden()
{
    if (m_sending || m_text->toPlainText().trimmed().isEmpty())
        return;
    m_sending = true;
    refresh();
    FeedbackService::Payload payload;
    payload.text = m_text->toPlainText();
    payload.userName = m_userName;
    payload.appVersion = m_appVersion;
    payload.osVersion = m_osVersion;
    payload.appModule = m_herkunft;
    payload.diagnose = m_service.sammeleDiagnose(m_clipCount, m_pinnedCount);
    if (m_switch->isChecked())
        payload.screenshotPNG = m_screenshotData;
    QPointer<FeedbackSheet> self(this);
    m_service.send(payload, [self](const FeedbackService::Result& result) {
        if (self)
            self->sendFinished(result);
    });
}

void FeedbackSheet::sendFinished(const FeedbackService::Result& result)
{
    if (result.ok()) {
        m_status = QStringLiteral("Danke! Feedback ist drin (ID: ") + *result.recordID + QLatin1Char(')');
        m_statusOK = true;
        // The form closes itself after a moment, unless it is no longer shown.
        if (isVisible())
            m_closeTimer.start();
        else
            m_sending = false;
    } else {
        m_status = QStringLiteral("Senden fehlgeschlagen: ")
            + (result.error ? result.error->localizedDescription() : QStringLiteral("Unbekannter Fehler"));
        m_statusOK = false;
        m_sending = false;
    }
    refresh();
}

void FeedbackSheet::cancel()
{
    // A send in flight goes on; its outcome no longer closes anything.
    m_closeTimer.stop();
    if (m_onClose)
        m_onClose();
}

void FeedbackSheet::refresh()
{
    m_sendButton->setText(m_sending ? QStringLiteral("Sende …") : QStringLiteral("Feedback senden"));
    m_sendButton->setEnabled(!m_sending && !m_text->toPlainText().trimmed().isEmpty());

    const bool on = m_switch->isChecked();
    m_attachment->setVisible(on);
    if (on) {
        QImage image;
        if (m_screenshotData)
            image.loadFromData(*m_screenshotData, "PNG");
        const bool showImage = !image.isNull();
        m_preview->setVisible(showImage);
        m_previewSize->setVisible(showImage);
        m_attachmentHint->setVisible(!showImage);
        if (showImage) {
            const int width = qMax(120, m_attachment->width() > 0 ? m_attachment->width() : 460);
            m_preview->setPixmap(roundedPreview(image, width, 160, devicePixelRatioF()));
            m_previewSize->setText(QStringLiteral("Größe: ") + formatBytes(m_screenshotData->size()));
        } else if (!m_screenshotUnavailable) {
            m_attachmentHint->setText(QStringLiteral("Screenshot wird erzeugt …"));
            QPalette p = m_attachmentHint->palette();
            p.setColor(QPalette::WindowText, Theme::secondaryText());
            m_attachmentHint->setPalette(p);
        } else {
            m_attachmentHint->setText(
                QStringLiteral("Kein sichtbares Quorvel-Fenster zum Mitschicken. Öffne zuerst das Clipboard (")
                + m_service.historyShortcutDisplay() + QStringLiteral(") und aktiviere den Schalter erneut."));
            QPalette p = m_attachmentHint->palette();
            p.setColor(QPalette::WindowText, Theme::warning());
            m_attachmentHint->setPalette(p);
        }
    }

    m_statusRow->setVisible(!m_status.isEmpty());
    m_statusStretch->setVisible(m_status.isEmpty());
    if (!m_status.isEmpty()) {
        const bool ok = m_statusOK.value_or(false);
        m_statusIcon->setPixmap(
            symbol(ok ? QStringLiteral("checkmark.circle.fill") : QStringLiteral("exclamationmark.circle.fill"), 16,
                ok ? Theme::success() : Theme::warning()));
        m_statusText->setText(m_status);
    }
}
