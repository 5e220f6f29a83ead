#include "history/ClipRowView.h"

#include "clipboard/PasteService.h"
#include "history/HistoryViewChrome.h"
#include "history/ClipRowText.h"
#include "history/ClipDragSourceView.h"
#include "history/ClipPictures.h"
#include "history/ImageDecoding.h"
#include "history/SelectableTextPopover.h"
#include "platform/Console.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QMenu>
#include <QToolButton>

namespace {

using HistoryViewChrome::pixelFont;

constexpr int hPadding = 12;
constexpr int vPadding = 10;
constexpr int iconSide = 28;
constexpr int spacing = 10;
constexpr int buttonSide = 16;
constexpr int buttonSpacing = 6;
constexpr int columnSpacing = 3;
constexpr int fullWidthIconSide = 20;

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
        const int imageHeight = ClipPictures::fullWidthHeightFor(width, ImageDecoding::declaredSize(*model.thumbnailData));
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

ClipRowView::ClipRowView(const ClipItemViewModelPtr& viewModel, const ClipRowOptions& options, ClipRowActions actions,
    Pasteboard* pasteboard, QWidget* parent)
    : QWidget(parent)
    , m_viewModel(viewModel)
    , m_options(options)
    , m_actions(std::move(actions))
    , m_pasteboard(pasteboard)
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
    for (QWidget* child : {static_cast<QWidget*>(m_pinButton), static_cast<QWidget*>(m_selectTextButton),
             static_cast<QWidget*>(m_dragSource)}) {
        if (child) {
            child->hide();
            child->deleteLater();
        }
    }
    m_selectTextButton = nullptr;

    const ClipItemViewModel& model = *m_viewModel;
    const bool fullWidth = usesFullWidthLayout(model, m_options);

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

    m_dragSource = new ClipDragSourceView(m_pasteboard, this);
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

void ClipRowView::resizeEvent(QResizeEvent*)
{
    const Geometry g = computeGeometry(*m_viewModel, m_options, width());
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
