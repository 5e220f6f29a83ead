#include "history/ClipRowView.h"

#include "clipboard/PasteService.h"
#include "history/AppIconView.h"
#include "history/ClipRowText.h"
#include "history/ClipDragSourceView.h"
#include "history/FCPThumbnailView.h"
#include "history/FullWidthImageView.h"
#include "history/ImageDecoding.h"
#include "history/ImageThumbnailView.h"
#include "history/SelectableTextPopover.h"
#include "history/SymbolTile.h"
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

QToolButton* rowButton(QWidget* parent)
{
    auto* button = new QToolButton(parent);
    button->setAutoRaise(true);
    button->setFixedSize(buttonSide, buttonSide);
    button->setIconSize(QSize(11, 11));
    button->setCursor(Qt::PointingHandCursor);
    button->setFocusPolicy(Qt::NoFocus);
    button->setStyleSheet(Theme::flatButtonStyle(QStringLiteral("QToolButton"), Theme::whiteAlpha(20)));
    return button;
}

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
        const int imageHeight = FullWidthImageView::heightFor(width, ImageDecoding::declaredSize(*model.thumbnailData));
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
    static const qreal average = QFontMetricsF(titleFont()).averageCharWidth();
    if (exactText)
        g.titleLines = ClipRowText::wrapLines(title.text, titleFont(), columnWidth, title.maxLines);
    else
        g.titleLines
            = QStringList(ClipRowText::estimateLineCount(title.text, columnWidth, title.maxLines, average), QString());
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

// The picture beside the title (or the whole image in the full-width layout); none for texts
// and files.
QWidget* ClipRowView::makeThumbnail(bool fullWidth)
{
    const ClipItemViewModel& model = *m_viewModel;
    const QSize thumb = thumbnailSize(m_options.imageThumbnailSize);
    const QString key = QString::number(model.id);
    if (fullWidth)
        return new FullWidthImageView(*model.thumbnailData, key, this);
    switch (kindOf(model)) {
    case Kind::fcp:
        if (model.fcpThumbnailData)
            return new FCPThumbnailView(*model.fcpThumbnailData, thumb, key, this);
        else
            return new SymbolTile(thumb,
                model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill"), 20, Theme::orange(),
                alpha(Theme::orange(), 0.12), this);
    case Kind::video:
        return new SymbolTile(
            thumb, QStringLiteral("play.circle.fill"), 24, purple, alpha(purple, 0.15), this);
    case Kind::image:
        return new ImageThumbnailView(*model.thumbnailData, thumb, key, this);
    case Kind::link:
        if (model.linkImageData)
            return new ImageThumbnailView(*model.linkImageData, thumb, key + QStringLiteral("_link"), this);
        else
            return new SymbolTile(
                thumb, QStringLiteral("link"), 20, Theme::accent(), alpha(Theme::accent(), 0.1), this);
    case Kind::file:
    case Kind::text:
        return nullptr;
    }
    return nullptr;
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
    m_thumbnail = makeThumbnail(fullWidth);

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
    m_pinButton->setIcon(pinned ? Symbols::icon(QStringLiteral("pin.fill"), Theme::orange(), {11, 22})
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
        painter.fillPath(background, Theme::whiteAlpha(13));

    const Geometry g = computeGeometry(*m_viewModel, m_options, width());
    painter.setFont(metaFont());
    const QString age = relativeDateString(m_viewModel->timestamp);
    if (g.fullWidth)
        paintFullWidthTexts(painter, g, age);
    else
        paintStandardTexts(painter, g, age);
}

// Below a full-width image: the Final Cut Pro facts and the age, and the "FCP" tag on the image.
void ClipRowView::paintFullWidthTexts(QPainter& painter, const Geometry& g, const QString& age)
{
    const ClipItemViewModel& model = *m_viewModel;
    const QFontMetrics metaMetrics(metaFont());
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
        painter.fillPath(path, alpha(Theme::orange(), 0.9));
        painter.drawPixmap(
            tag.left() + 8, tag.center().y() - 6, Symbols::pixmap(QStringLiteral("film"), 12, Theme::text()));
        painter.setFont(tagFont);
        painter.setPen(Theme::text());
        painter.drawText(tag.adjusted(24, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QStringLiteral("FCP"));
    }
}

// The title lines, then the application name, the age and the Final Cut Pro badge.
void ClipRowView::paintStandardTexts(QPainter& painter, const Geometry& g, const QString& age)
{
    const ClipItemViewModel& model = *m_viewModel;
    const QFont meta = metaFont();
    const QFontMetrics metaMetrics(meta);
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
            painter.fillPath(path, alpha(Theme::orange(), 0.1));
            painter.drawPixmap(badge.left() + 5, badge.center().y() - 5,
                Symbols::pixmap(
                    model.fcpClipCount > 1 ? QStringLiteral("film.stack") : QStringLiteral("film.fill"), 10, Theme::orange()));
            painter.setFont(badgeFont);
            painter.setPen(Theme::orange());
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
    remove->setIcon(Symbols::icon(QStringLiteral("trash"), Theme::destructive(), {16, 32}));
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
    auto* popover = new SelectableTextPopover(m_viewModel->searchIndex(), this);
    popover->showBeside(this);
    return popover;
}
