#include "history/ClipRowView.h"

#include "clipboard/PasteService.h"
#include "history/AppIconView.h"
#include "history/ClipDragSourceView.h"
#include "history/FCPThumbnailView.h"
#include "history/FullWidthImageView.h"
#include "history/ImageDecoding.h"
#include "history/ImageThumbnailView.h"
#include "platform/Console.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QBuffer>
#include <QContextMenuEvent>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QImageReader>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QTextLayout>
#include <QToolButton>
#include <QVBoxLayout>
#include <cmath>

namespace {

constexpr int hPadding = 12;
constexpr int vPadding = 10;
constexpr int iconSide = 28;
constexpr int spacing = 10;
constexpr int buttonSide = 16;
constexpr int buttonSpacing = 6;
constexpr int columnSpacing = 3;
constexpr int fullWidthIconSide = 20;
// Enough characters for six lines of the widest row; longer texts are cut before layout.
constexpr int maxLaidOutCharacters = 1500;

const QColor orange(255, 149, 0);
const QColor purple(191, 90, 242);

QColor alpha(QColor color, qreal a)
{
    color.setAlphaF(color.alphaF() * a);
    return color;
}

QFont pixelFont(int px, QFont::Weight weight = QFont::Normal)
{
    QFont font = Theme::labelFont(10, weight);
    font.setPixelSize(px);
    return font;
}

// The lines of a text wrapped at a width, at most maxLines (0: all), the last one elided when
// text remains.
QStringList wrapLines(QString text, const QFont& font, int width, int maxLines)
{
    // No line holds more characters than the width allows for the narrowest glyph: cutting the
    // text there keeps the layout of a long text as cheap as that of a short one.
    static const int narrowest = qMax(1, QFontMetrics(font).horizontalAdvance(QLatin1Char('i')) - 1);
    const qsizetype cap = maxLines > 0 ? qsizetype(maxLines) * (qMax(width, 1) / narrowest + 2) : maxLaidOutCharacters;
    if (text.size() > qMin<qsizetype>(cap, maxLaidOutCharacters))
        text.truncate(qMin<qsizetype>(cap, maxLaidOutCharacters));
    text.replace(QLatin1String("\r\n"), QString(QChar::LineSeparator));
    text.replace(QLatin1Char('\n'), QChar::LineSeparator);
    text.replace(QLatin1Char('\r'), QChar::LineSeparator);
    text.replace(QLatin1Char('\t'), QLatin1Char(' '));
    QStringList lines;
    if (width <= 0)
        return {text.section(QChar::LineSeparator, 0, 0)};
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    const QFontMetrics metrics(font);
    for (;;) {
        QTextLine line = layout.createLine();
        if (!line.isValid())
            break;
        line.setLineWidth(width);
        const bool last = maxLines > 0 && lines.size() == maxLines - 1;
        if (last) {
            QString rest = text.mid(line.textStart());
            const qsizetype breakAt = rest.indexOf(QChar::LineSeparator);
            const bool more = breakAt >= 0 || line.textStart() + line.textLength() < text.size();
            if (breakAt >= 0)
                rest = rest.left(breakAt) + QStringLiteral(" …");
            lines << (more ? metrics.elidedText(rest + (breakAt >= 0 ? QString() : QString()), Qt::ElideRight, width)
                           : rest);
            break;
        }
        QString piece = text.mid(line.textStart(), line.textLength());
        piece.remove(QChar::LineSeparator);
        lines << piece;
    }
    layout.endLayout();
    if (lines.isEmpty())
        lines << QString();
    return lines;
}

// How many lines a text takes at a width, judged by an average character width, at most maxLines.
int estimateLineCount(const QString& text, int width, int maxLines)
{
    static const qreal average = QFontMetricsF(ClipRowView::titleFont()).averageCharWidth();
    const qreal perLine = qMax<qreal>(1, width / qMax<qreal>(1, average));
    int lines = 0;
    qsizetype segment = 0;
    const qsizetype limit = qMin<qsizetype>(text.size(), maxLaidOutCharacters);
    for (qsizetype i = 0; i <= limit; ++i) {
        if (i == limit || text.at(i) == QLatin1Char('\n')) {
            lines += qMax(1, int(std::ceil(segment / perLine)));
            segment = 0;
            if (maxLines > 0 && lines >= maxLines)
                return maxLines;
        } else {
            ++segment;
        }
    }
    return qMax(1, lines);
}

QSize headerImageSize(const QByteArray& data)
{
    QBuffer buffer;
    buffer.setData(data);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    reader.setAutoTransform(true);
    QSize size = reader.size();
    if (size.isValid() && (reader.transformation() & QImageIOHandler::TransformationRotate90))
        size.transpose();
    return size;
}

QToolButton* rowButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFixedSize(buttonSide, buttonSide);
    button->setIconSize(QSize(11, 11));
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(
        QStringLiteral("QToolButton { border: none; background: transparent; }"
                       "QToolButton:hover { background: rgba(255,255,255,0.08); border-radius: 4px; }"));
    return button;
}

// A rounded placeholder with a symbol: video and link rows without a picture, Final Cut Pro
// rows without a thumbnail.
class SymbolTile : public QWidget {
public:
    SymbolTile(QSize size, const QString& symbol, int symbolSize, const QColor& symbolColor, const QColor& fill,
        QWidget* parent)
        : QWidget(parent)
        , m_symbol(symbol)
        , m_symbolSize(symbolSize)
        , m_symbolColor(symbolColor)
        , m_fill(fill)
    {
        setFixedSize(size.width(), size.height() + 2);
        setAttribute(Qt::WA_TransparentForMouseEvents);
    }
    QString symbol() const { return m_symbol; }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF frame(0, 0, width(), height() - 2);
        QPainterPath path;
        path.addRoundedRect(frame, 6, 6);
        painter.fillPath(path, m_fill);
        const qreal ratio = devicePixelRatioF();
        QPixmap pixmap = Symbols::pixmap(m_symbol, qRound(m_symbolSize * ratio), m_symbolColor);
        pixmap.setDevicePixelRatio(ratio);
        painter.drawPixmap(
            QPointF(frame.center().x() - m_symbolSize / 2.0, frame.center().y() - m_symbolSize / 2.0), pixmap);
    }

private:
    QString m_symbol;
    int m_symbolSize;
    QColor m_symbolColor;
    QColor m_fill;
};

}

struct ClipRowView::Geometry {
    bool fullWidth = false;
    int height = 0;
    QRect icon;
    QRect thumbnail;
    QRect title;
    QStringList titleLines;
    QRect meta;
    QRect image;
    QRect pin;
    QRect selectText;
};

QFont ClipRowView::titleFont()
{
    return pixelFont(14);
}
QFont ClipRowView::metaFont()
{
    return pixelFont(11);
}

ClipRowView::Kind ClipRowView::kindOf(const ClipItemViewModel& model)
{
    if (model.hasFCPContent)
        return Kind::fcp;
    if (model.isVideo)
        return Kind::video;
    if (model.isFileCopy)
        return Kind::file;
    if (model.hasImage && model.thumbnailData)
        return Kind::image;
    if (model.hasLinkPreview || model.isURL)
        return Kind::link;
    return Kind::text;
}

QSize ClipRowView::thumbnailSize(int imageThumbnailSize)
{
    switch (imageThumbnailSize) {
    case 0:
        return {40, 30};
    case 2:
        return {100, 75};
    default:
        return {56, 42};
    }
}

bool ClipRowView::usesFullWidthLayout(const ClipItemViewModel& model, const ClipRowOptions& options)
{
    return options.imageThumbnailSize == 3 && model.thumbnailData.has_value();
}

QString ClipRowView::fcpPreviewText(const ClipItemViewModel& model)
{
    const int count = model.fcpClipCount;
    if (model.fcpDescription) {
        if (model.fcpDuration && count < 2)
            return *model.fcpDescription + QStringLiteral(" (") + *model.fcpDuration + QLatin1Char(')');
        return *model.fcpDescription;
    }
    if (count < 2) {
        if (count != 1)
            return QStringLiteral("Final Cut Pro content");
        return model.fcpDuration ? QStringLiteral("Final Cut Pro clip (") + *model.fcpDuration + QLatin1Char(')')
                                 : QStringLiteral("Final Cut Pro clip");
    }
    QString text = QStringLiteral("Final Cut Pro: %1 clips").arg(count);
    if (model.fcpDuration)
        text += QStringLiteral(" (") + *model.fcpDuration + QLatin1Char(')');
    return text;
}

QString ClipRowView::fcpBadgeText(const ClipItemViewModel& model)
{
    if (model.fcpDuration)
        return *model.fcpDuration;
    if (model.fcpClipCount < 2)
        return QStringLiteral("FCP");
    return QStringLiteral("%1 clips").arg(model.fcpClipCount);
}

namespace {
// The full text when the row shows it and it could be read; else the preview (which says what
// is wrong with sealed text that cannot be read).
QString shownText(const ClipItemViewModel& model, const ClipRowOptions& options)
{
    const bool readable = model.textProblem == ClipItemViewModel::TextProblem::none;
    return options.showFullText && readable ? model.searchIndex() : model.previewText;
}
}

ClipRowView::Title ClipRowView::titleOf(const ClipItemViewModel& model, const ClipRowOptions& options)
{
    const int textLines = options.showFullText ? 6 : 2;
    switch (kindOf(model)) {
    case Kind::fcp:
        return {fcpPreviewText(model), 2, false};
    case Kind::video:
        return {model.fileName.value_or(QStringLiteral("Video")), 2, false};
    case Kind::file:
        return {model.fileName.value_or(QStringLiteral("File")), 2, false};
    case Kind::image:
        return {QStringLiteral("Screenshot"), 0, false};
    case Kind::link:
        if (model.linkTitle && !model.linkTitle->isEmpty())
            return {*model.linkTitle, textLines, false};
        return {shownText(model, options), textLines, true};
    case Kind::text:
        return {shownText(model, options), textLines, false};
    }
    return {};
}

QString ClipRowView::relativeDateString(const QDateTime& time, const QDateTime& now)
{
    const qint64 seconds = time.secsTo(now);
    const bool future = seconds < 0;
    const qint64 s = qAbs(seconds);
    auto phrase = [future](qint64 n, const QString& unit) {
        return future ? QStringLiteral("in %1 %2").arg(n).arg(unit) : QStringLiteral("%1 %2 ago").arg(n).arg(unit);
    };
    if (s < 60)
        return phrase(s, QStringLiteral("sec."));
    if (s < 3600)
        return phrase(s / 60, QStringLiteral("min."));
    if (s < 86400)
        return phrase(s / 3600, QStringLiteral("hr."));
    const qint64 days = s / 86400;
    if (days < 7)
        return phrase(days, days == 1 ? QStringLiteral("day") : QStringLiteral("days"));
    if (days < 30)
        return phrase(days / 7, QStringLiteral("wk."));
    if (days < 365)
        return phrase(days / 30, QStringLiteral("mo."));
    return phrase(days / 365, QStringLiteral("yr."));
}

bool ClipRowView::offersSelectText(const ClipItemViewModel& model)
{
    return model.searchIndexUtf8Size() > 0 && !model.hasImage;
}

ClipRowView::Geometry ClipRowView::computeGeometry(
    const ClipItemViewModel& model, const ClipRowOptions& options, int width, bool exactText)
{
    Geometry g;
    const QFontMetrics metaMetrics(metaFont());
    if (usesFullWidthLayout(model, options)) {
        g.fullWidth = true;
        const int imageHeight = FullWidthImageView::heightFor(width, headerImageSize(*model.thumbnailData));
        g.image = QRect(0, 0, width, imageHeight);
        const int barTop = imageHeight + 8;
        g.icon = QRect(hPadding, barTop, fullWidthIconSide, fullWidthIconSide);
        g.pin = QRect(
            width - hPadding - buttonSide, barTop + (fullWidthIconSide - buttonSide) / 2, buttonSide, buttonSide);
        const int textLeft = g.icon.right() + 1 + 8;
        g.meta = QRect(textLeft, barTop, qMax(0, g.pin.left() - 8 - textLeft), fullWidthIconSide);
        g.height = barTop + fullWidthIconSide + vPadding;
        return g;
    }

    const Kind kind = kindOf(model);
    const QSize thumb = thumbnailSize(options.imageThumbnailSize);
    const bool hasThumbnail = kind != Kind::file && kind != Kind::text;
    int x = hPadding;
    g.icon = QRect(x, 0, iconSide, iconSide);
    x += iconSide + spacing;
    if (hasThumbnail) {
        g.thumbnail = QRect(x, 0, thumb.width(), thumb.height() + 2);
        x += thumb.width() + spacing;
    }
    const bool selectText = offersSelectText(model);
    int right = width - hPadding - buttonSide;
    g.pin = QRect(right, 0, buttonSide, buttonSide);
    if (selectText) {
        right -= buttonSpacing + buttonSide;
        g.selectText = QRect(right, 0, buttonSide, buttonSide);
    }
    const int columnWidth = qMax(40, right - 4 - x);
    const Title title = titleOf(model, options);
    const QFontMetrics titleMetrics(titleFont());
    if (exactText)
        g.titleLines = wrapLines(title.text, titleFont(), columnWidth, title.maxLines);
    else
        g.titleLines = QStringList(estimateLineCount(title.text, columnWidth, title.maxLines), QString());
    const int titleHeight = int(g.titleLines.size()) * titleMetrics.lineSpacing();
    const int columnHeight = titleHeight + columnSpacing + metaMetrics.height();
    const int content = std::max({iconSide, hasThumbnail ? thumb.height() + 2 : 0, columnHeight});
    const int top = vPadding;
    auto centre = [&](QRect& r) { r.moveTop(top + (content - r.height()) / 2); };
    centre(g.icon);
    if (hasThumbnail)
        centre(g.thumbnail);
    centre(g.pin);
    if (selectText)
        centre(g.selectText);
    const int columnTop = top + (content - columnHeight) / 2;
    g.title = QRect(x, columnTop, columnWidth, titleHeight);
    g.meta = QRect(x, columnTop + titleHeight + columnSpacing, columnWidth, metaMetrics.height());
    g.height = content + 2 * vPadding;
    return g;
}

int ClipRowView::heightFor(const ClipItemViewModel& model, const ClipRowOptions& options, int width)
{
    return computeGeometry(model, options, width).height;
}

int ClipRowView::estimatedHeightFor(const ClipItemViewModel& model, const ClipRowOptions& options, int width)
{
    return computeGeometry(model, options, width, false).height;
}

ClipRowView::ClipRowView(const ClipItemViewModelPtr& viewModel, bool isSelected, const ClipRowOptions& options,
    ClipRowActions actions, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_isSelected(isSelected)
    , m_options(options)
    , m_actions(std::move(actions))
{
    setAttribute(Qt::WA_Hover);
    setMouseTracking(true);
    rebuild();
}

void ClipRowView::setViewModel(const ClipItemViewModelPtr& viewModel)
{
    const bool sameEntry = viewModel && m_viewModel && viewModel->id == m_viewModel->id
        && usesFullWidthLayout(*viewModel, m_options) == usesFullWidthLayout(*m_viewModel, m_options);
    m_viewModel = viewModel;
    if (sameEntry) {
        // A pin toggled: the children stay (one of them may be running the toggle right now).
        m_dragSource->setClipItem(viewModel->clipItem);
        updateButtons();
    } else {
        rebuild();
    }
    update();
}

void ClipRowView::rebuild()
{
    for (QWidget* child : {static_cast<QWidget*>(m_icon), m_thumbnail, static_cast<QWidget*>(m_pinButton),
             static_cast<QWidget*>(m_selectTextButton), static_cast<QWidget*>(m_dragSource)}) {
        if (child) {
            child->hide();
            child->deleteLater();
        }
    }
    m_icon = nullptr;
    m_thumbnail = nullptr;
    m_selectTextButton = nullptr;

    const ClipItemViewModel& model = *m_viewModel;
    const bool fullWidth = usesFullWidthLayout(model, m_options);
    m_icon = new AppIconView(model.appBundleID, model.contentTypeIcon, fullWidth ? fullWidthIconSide : iconSide, this);
    const QSize thumb = thumbnailSize(m_options.imageThumbnailSize);
    const QString key = QString::number(model.id);
    if (fullWidth) {
        m_thumbnail = new FullWidthImageView(*model.thumbnailData, key, this);
    } else {
        switch (kindOf(model)) {
        case Kind::fcp:
            if (model.fcpThumbnailData)
                m_thumbnail = new FCPThumbnailView(*model.fcpThumbnailData, thumb, key, this);
            else
                m_thumbnail = new SymbolTile(thumb,
                    model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill"), 20, orange,
                    alpha(orange, 0.12), this);
            break;
        case Kind::video:
            m_thumbnail = new SymbolTile(
                thumb, QStringLiteral("play.circle.fill"), 24, purple, alpha(purple, 0.15), this);
            break;
        case Kind::image:
            m_thumbnail = new ImageThumbnailView(*model.thumbnailData, thumb, key, this);
            break;
        case Kind::link:
            if (model.linkImageData)
                m_thumbnail = new ImageThumbnailView(*model.linkImageData, thumb, key + QStringLiteral("_link"), this);
            else
                m_thumbnail = new SymbolTile(
                    thumb, QStringLiteral("link"), 20, Theme::accent(), alpha(Theme::accent(), 0.1), this);
            break;
        case Kind::file:
        case Kind::text:
            break;
        }
    }

    m_pinButton = rowButton(this);
    connect(m_pinButton, &QToolButton::clicked, this, [this] {
        if (m_actions.onPin)
            m_actions.onPin();
    });
    if (!fullWidth && offersSelectText(model)) {
        m_selectTextButton = rowButton(this);
        m_selectTextButton->setIcon(Symbols::icon(QStringLiteral("text.cursor"), Theme::secondaryText(), {10, 20}));
        m_selectTextButton->setIconSize(QSize(10, 10));
        m_selectTextButton->setToolTip(QStringLiteral("Select text"));
        connect(m_selectTextButton, &QToolButton::clicked, this, [this] { showSelectableTextPopover(); });
    }

    m_dragSource = new ClipDragSourceView(this);
    m_dragSource->setClipItem(model.clipItem);
    // single: select in double-click mode, else paste; double: paste in double-click mode only.
    // Without double-click mode no double action is handed over, so a click pastes at once.
    if (m_options.doubleClickToPaste) {
        m_dragSource->setOnTap([this] {
            if (m_actions.onSingleTapSelect)
                m_actions.onSingleTapSelect();
        });
        m_dragSource->setOnDoubleTap([this] {
            if (m_actions.onSelect)
                m_actions.onSelect();
        });
    } else {
        m_dragSource->setOnTap([this] {
            if (m_actions.onSelect)
                m_actions.onSelect();
        });
    }
    // The buttons lie above the drag layer in the trailing 48 pixels.
    m_dragSource->lower();
    updateButtons();
    if (width() > 0)
        resizeEvent(nullptr);
}

void ClipRowView::updateButtons()
{
    const bool pinned = m_viewModel->isPinned;
    m_pinButton->setIcon(pinned ? Symbols::icon(QStringLiteral("pin.fill"), orange, {11, 22})
                                : Symbols::icon(QStringLiteral("pin"), Theme::secondaryText(), {11, 22}));
    m_pinButton->setToolTip(pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"));
    m_pinButton->setVisible(m_isHovering || pinned);
    if (m_selectTextButton)
        m_selectTextButton->setVisible(m_isHovering);
}

void ClipRowView::setSelected(bool selected)
{
    if (selected == m_isSelected)
        return;
    m_isSelected = selected;
    update();
}

void ClipRowView::resizeEvent(QResizeEvent*)
{
    const Geometry g = computeGeometry(*m_viewModel, m_options, width());
    m_icon->setGeometry(g.icon);
    if (m_thumbnail)
        m_thumbnail->setGeometry(g.fullWidth ? g.image : g.thumbnail);
    m_pinButton->setGeometry(g.pin);
    if (m_selectTextButton)
        m_selectTextButton->setGeometry(g.selectText);
    m_dragSource->setGeometry(0, 0, qMax(0, width() - trailingClickInset), height());
}

void ClipRowView::enterEvent(QEnterEvent* event)
{
    QWidget::enterEvent(event);
    setHovering(true);
}

void ClipRowView::leaveEvent(QEvent* event)
{
    QWidget::leaveEvent(event);
    setHovering(false);
}

void ClipRowView::setHovering(bool hovering)
{
    if (hovering == m_isHovering)
        return;
    m_isHovering = hovering;
    updateButtons();
    update();
    if (m_actions.onHoverChange)
        m_actions.onHoverChange(hovering);
}

void ClipRowView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath background;
    background.addRoundedRect(QRectF(rect()), 8, 8);
    if (m_isSelected)
        painter.fillPath(background, alpha(Theme::accent(), 0.25));
    else if (m_isHovering)
        painter.fillPath(background, QColor(255, 255, 255, 13));

    const ClipItemViewModel& model = *m_viewModel;
    const Geometry g = computeGeometry(model, m_options, width());
    const QFont meta = metaFont();
    const QFontMetrics metaMetrics(meta);
    painter.setFont(meta);
    const QString age = relativeDateString(model.timestamp);

    if (g.fullWidth) {
        int x = g.meta.left();
        const int baseline = g.meta.top() + (g.meta.height() + metaMetrics.ascent() - metaMetrics.descent()) / 2;
        if (model.hasFCPContent) {
            painter.setPen(Theme::text());
            const QString fcp = metaMetrics.elidedText(
                fcpPreviewText(model), Qt::ElideRight, qMax(0, g.meta.width() / 2));
            painter.drawText(x, baseline, fcp);
            x += metaMetrics.horizontalAdvance(fcp) + 8;
            painter.setPen(alpha(Theme::secondaryText(), 0.5));
            painter.drawText(x, baseline, QStringLiteral("·"));
            x += metaMetrics.horizontalAdvance(QStringLiteral("·")) + 8;
        }
        painter.setPen(Theme::secondaryText());
        painter.drawText(x, baseline, age);
        if (model.hasFCPContent) {
            // The "FCP" tag over the image's top right corner.
            const QFont tagFont = pixelFont(10, QFont::DemiBold);
            const QFontMetrics tagMetrics(tagFont);
            const int w = 12 + 4 + tagMetrics.horizontalAdvance(QStringLiteral("FCP")) + 16;
            const QRect tag(g.image.right() - 8 - w, g.image.top() + 8, w, tagMetrics.height() + 8);
            QPainterPath path;
            path.addRoundedRect(QRectF(tag), 4, 4);
            painter.fillPath(path, alpha(orange, 0.9));
            painter.drawPixmap(
                tag.left() + 8, tag.center().y() - 6, Symbols::pixmap(QStringLiteral("film"), 12, Qt::white));
            painter.setFont(tagFont);
            painter.setPen(Qt::white);
            painter.drawText(tag.adjusted(24, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("FCP"));
        }
        return;
    }

    const Title title = titleOf(model, m_options);
    painter.setFont(titleFont());
    const QFontMetrics titleMetrics(titleFont());
    painter.setPen(title.accent ? Theme::accent() : Theme::text());
    int y = g.title.top() + titleMetrics.ascent();
    for (const QString& line : g.titleLines) {
        painter.drawText(g.title.left(), y, line);
        y += titleMetrics.lineSpacing();
    }

    painter.setFont(meta);
    const int baseline = g.meta.top() + metaMetrics.ascent();
    int x = g.meta.left();
    const int limit = g.meta.right();
    const QString name = metaMetrics.elidedText(model.appName, Qt::ElideRight, qMax(0, g.meta.width() / 2));
    painter.setPen(Theme::secondaryText());
    painter.drawText(x, baseline, name);
    x += metaMetrics.horizontalAdvance(name) + 6;
    painter.setPen(alpha(Theme::secondaryText(), 0.5));
    painter.drawText(x, baseline, QStringLiteral("·"));
    x += metaMetrics.horizontalAdvance(QStringLiteral("·")) + 6;
    painter.setPen(Theme::secondaryText());
    painter.drawText(x, baseline, age);
    x += metaMetrics.horizontalAdvance(age) + 6;
    if (model.hasFCPContent) {
        const QFont badgeFont = pixelFont(10, QFont::Medium);
        const QFontMetrics badgeMetrics(badgeFont);
        const QString text = fcpBadgeText(model);
        const int w = 5 + 10 + 3 + badgeMetrics.horizontalAdvance(text) + 5;
        if (x + w <= limit + 1) {
            const QRect badge(
                x, g.meta.top() + (g.meta.height() - badgeMetrics.height() - 4) / 2, w, badgeMetrics.height() + 4);
            QPainterPath path;
            path.addRoundedRect(QRectF(badge), 4, 4);
            painter.fillPath(path, alpha(orange, 0.1));
            painter.drawPixmap(badge.left() + 5, badge.center().y() - 5,
                Symbols::pixmap(
                    model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill"), 10, orange));
            painter.setFont(badgeFont);
            painter.setPen(orange);
            painter.drawText(badge.adjusted(18, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, text);
        }
    }
}

QStringList ClipRowView::contextMenuTexts() const
{
    QStringList texts {
        QStringLiteral("Paste"), QStringLiteral("Paste as Plain Text"), QStringLiteral("Copy to Clipboard")};
    if (m_viewModel->hasImage)
        texts << QStringLiteral("Annotate");
    texts << QString() << (m_viewModel->isPinned ? QStringLiteral("Unpin") : QStringLiteral("Pin")) << QString()
          << QStringLiteral("Delete");
    return texts;
}

QMenu* ClipRowView::buildContextMenu()
{
    auto* menu = new QMenu(this);
    menu->setAttribute(Qt::WA_DeleteOnClose);
    const QColor iconColor = Theme::text();
    auto add = [&](const QString& text, const QString& symbol, std::function<void()> action) {
        QAction* item = menu->addAction(Symbols::icon(symbol, iconColor, {16, 32}), text);
        connect(item, &QAction::triggered, this, [action] {
            if (action)
                action();
        });
        return item;
    };
    add(QStringLiteral("Paste"), QStringLiteral("doc.on.clipboard"), m_actions.onSelect);
    add(QStringLiteral("Paste as Plain Text"), QStringLiteral("text.alignleft"), m_actions.onPastePlainText);
    add(QStringLiteral("Copy to Clipboard"), QStringLiteral("doc.on.doc"), m_actions.onCopy);
    // The image is read and decoded only when the item is chosen, never while the menu is built.
    if (m_viewModel->hasImage)
        add(QStringLiteral("Annotate"), QStringLiteral("pencil.tip.crop.circle"), [this] { annotate(); });
    menu->addSeparator();
    const bool pinned = m_viewModel->isPinned;
    add(pinned ? QStringLiteral("Unpin") : QStringLiteral("Pin"),
        pinned ? QStringLiteral("pin.slash") : QStringLiteral("pin"), m_actions.onPin);
    menu->addSeparator();
    QAction* remove = add(QStringLiteral("Delete"), QStringLiteral("trash"), m_actions.onDelete);
    remove->setIcon(Symbols::icon(QStringLiteral("trash"), QColor(255, 69, 58), {16, 32}));
    return menu;
}

void ClipRowView::annotate()
{
    std::optional<QByteArray> data = m_viewModel->clipItem ? m_viewModel->clipItem->fullImageData() : std::nullopt;
    if (!data)
        data = m_viewModel->thumbnailData;
    const QImage image = data ? ImageDecoding::decode(*data) : QImage();
    if (image.isNull()) {
        Console::log(QStringLiteral("ClipRowView: the image of this entry cannot be decoded"));
        return;
    }
    if (m_actions.onAnnotate)
        m_actions.onAnnotate(image);
}

void ClipRowView::contextMenuEvent(QContextMenuEvent* event)
{
    buildContextMenu()->popup(event->globalPos());
    event->accept();
}

QWidget* ClipRowView::showSelectableTextPopover()
{
    auto* popover = new QFrame(this, Qt::Popup);
    popover->setAttribute(Qt::WA_DeleteOnClose);
    popover->setObjectName(QStringLiteral("selectTextPopover"));
    popover->setStyleSheet(
        QStringLiteral("#selectTextPopover { background: #2a2a2c; border: 1px solid rgba(255,255,255,0.12);"
                       " border-radius: 8px; }"));
    auto* layout = new QVBoxLayout(popover);
    layout->setContentsMargins(16, 12, 16, 16);
    layout->setSpacing(8);
    auto* header = new QHBoxLayout;
    auto* headline = new QLabel(QStringLiteral("Select Text"), popover);
    headline->setFont(pixelFont(13, QFont::DemiBold));
    header->addWidget(headline);
    header->addStretch();
    auto* done = new QPushButton(QStringLiteral("Done"), popover);
    done->setFlat(true);
    done->setCursor(Qt::PointingHandCursor);
    done->setStyleSheet(QStringLiteral("QPushButton { color: %1; border: none; }").arg(Theme::accent().name()));
    connect(done, &QPushButton::clicked, popover, &QWidget::close);
    header->addWidget(done);
    layout->addLayout(header);
    auto* divider = new QFrame(popover);
    divider->setFixedHeight(1);
    divider->setStyleSheet(QStringLiteral("background: rgba(255,255,255,0.12);"));
    layout->addWidget(divider);
    auto* text = new QTextEdit(popover);
    text->setReadOnly(true);
    text->setFrameShape(QFrame::NoFrame);
    text->setStyleSheet(QStringLiteral("QTextEdit { background: transparent; color: white; }"));
    QFont font;
    font.setPixelSize(13);
    text->setFont(font);
    text->setPlainText(m_viewModel->searchIndex());
    text->setMinimumSize(300, 100);
    text->setMaximumSize(400, 300);
    const QSize docSize = text->document()->size().toSize();
    text->setFixedSize(qBound(300, 360, 400), qBound(100, docSize.height() + 8, 300));
    layout->addWidget(text);
    popover->adjustSize();

    // Beside the row's trailing edge, kept on the row's screen.
    QPoint origin = mapToGlobal(QPoint(width() + 6, (height() - popover->height()) / 2));
    if (QScreen* screen = this->screen()) {
        const QRect available = screen->availableGeometry();
        if (origin.x() + popover->width() > available.right())
            origin.setX(mapToGlobal(QPoint(0, 0)).x() - popover->width() - 6);
        origin.setX(qBound(available.left(), origin.x(), qMax(available.left(), available.right() - popover->width())));
        origin.setY(qBound(available.top(), origin.y(), qMax(available.top(), available.bottom() - popover->height())));
    }
    popover->move(origin);
    popover->show();
    return popover;
}
