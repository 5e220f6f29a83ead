#include "editor/ColorPopover.h"

#include "annotation/PaintEngine.h"
#include "editor/AnnotationToolbarView.h"
#include "editor/EditorButton.h"
#include "platform/Pasteboard.h"
#include "ui/Theme.h"
#include "platform/PasteboardTypes.h"

#include <QColorDialog>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>
#include <functional>

namespace {

// The screen colour sampler: while it holds the pointer, the next click anywhere picks the
// pixel under it; Escape or a right click cancels.
class ScreenColorSampler : public QWidget {
public:
    using Handler = std::function<void(std::optional<QColor>)>;
    explicit ScreenColorSampler(Handler handler)
        : QWidget(
            nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::X11BypassWindowManagerHint)
        , m_handler(std::move(handler))
    {
        setAttribute(Qt::WA_DeleteOnClose);
        setAttribute(Qt::WA_TranslucentBackground);
        setCursor(Qt::CrossCursor);
        resize(1, 1);
        move(QCursor::pos());
    }
    // The grabs need the window to be mapped: they are retried for a moment until they hold.
    void start()
    {
        show();
        tryGrab(40);
    }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        std::optional<QColor> picked;
        if (event->button() == Qt::LeftButton) {
            const QPoint at = event->globalPosition().toPoint();
            QScreen* screen = QGuiApplication::screenAt(at);
            if (screen) {
                const QPoint local = at - screen->geometry().topLeft();
                const QImage pixel = screen->grabWindow(0, local.x(), local.y(), 1, 1).toImage();
                if (!pixel.isNull())
                    picked = pixel.pixelColor(0, 0);
            }
        }
        finish(picked);
    }
    void keyPressEvent(QKeyEvent* event) override
    {
        if (event->key() == Qt::Key_Escape)
            finish(std::nullopt);
    }

private:
    void tryGrab(int attemptsLeft)
    {
        QWindow* handle = windowHandle();
        if (handle && handle->isExposed() && handle->setMouseGrabEnabled(true)) {
            handle->setKeyboardGrabEnabled(true);
            grabMouse(Qt::CrossCursor);
            m_grabbed = true;
            return;
        }
        if (attemptsLeft <= 0) {
            finish(std::nullopt);
            return;
        }
        QTimer::singleShot(25, this, [this, attemptsLeft] { tryGrab(attemptsLeft - 1); });
    }

    void finish(std::optional<QColor> color)
    {
        if (m_grabbed) {
            releaseMouse();
            if (QWindow* handle = windowHandle()) {
                handle->setMouseGrabEnabled(false);
                handle->setKeyboardGrabEnabled(false);
            }
        }
        Handler handler = std::move(m_handler);
        close();
        if (handler)
            handler(color);
    }
    Handler m_handler;
    bool m_grabbed = false;
};

QFont monoLabelFont()
{
    QFont font = Theme::labelFont(12);
    font.setStyleHint(QFont::Monospace);
    font.setFamilies({QStringLiteral("Avenir Next"), QStringLiteral("DejaVu Sans Mono"), QStringLiteral("monospace")});
    return font;
}

}

void ColorPopover::openColorDialog()
{
    hide();
    // The dialog belongs to the editor window, so it opens in front of it.
    QWidget* owner = parentWidget() ? parentWidget()->window() : nullptr;
    auto* dialog = new QColorDialog(m_engine.selectedColor().toQColor(), owner);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    dialog->setOption(QColorDialog::ShowAlphaChannel);
    dialog->setWindowTitle(QStringLiteral("Eigene Farbe…"));
    QPointer<ColorPopover> self(this);
    connect(dialog, &QColorDialog::colorSelected, this, [self](const QColor& color) {
        if (self)
            self->choose(PaintColor(color));
    });
    dialog->open();
}

ColorPopover::ColorPopover(PaintEngine& engine, Pasteboard& pasteboard, QWidget* parent)
    : QFrame(parent, Qt::Popup)
    , m_engine(engine)
    , m_pasteboard(pasteboard)
{
    setObjectName(QStringLiteral("colorPopover"));
    setFixedWidth(170 + 2);
    setStyleSheet(Theme::popoverStyle(QStringLiteral("#colorPopover")));
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(14, 14, 14, 14);
    column->setSpacing(10);

    auto* grid = new QGridLayout;
    grid->setHorizontalSpacing(8);
    grid->setVerticalSpacing(8);
    const auto& presets = AnnotationToolbarView::presetColors();
    for (int i = 0; i < int(presets.size()); ++i) {
        auto* button = new EditorButton(QString(), QSize(24, 24), 24, this);
        const PaintColor color = presets[std::size_t(i)];
        connect(button, &QAbstractButton::clicked, this, [this, color] { choose(color); });
        grid->addWidget(button, i / 5, i % 5);
        m_presets.push_back(button);
    }
    column->addLayout(grid);

    auto divider = [this] {
        auto* line = new QFrame(this);
        line->setFixedHeight(1);
        line->setStyleSheet(Theme::separatorStyle());
        return line;
    };
    column->addWidget(divider());

    auto* custom = new EditorButton(QString(), QSize(142, 22), 0, this);
    custom->setText(QStringLiteral("Eigene Farbe…"));
    custom->setFont(Theme::labelFont(12));
    custom->setFaintBackground(true);
    m_customColor = custom;
    connect(custom, &QAbstractButton::clicked, this, &ColorPopover::openColorDialog);
    column->addWidget(custom);
    column->addWidget(divider());

    auto* row = new QHBoxLayout;
    row->setSpacing(8);
    auto* eyedropper = new EditorButton(QStringLiteral("eyedropper"), QSize(22, 22), 15, this);
    eyedropper->setToolTip(QStringLiteral("Farbe vom Bildschirm aufnehmen"));
    m_eyedropper = eyedropper;
    connect(eyedropper, &QAbstractButton::clicked, this, &ColorPopover::presentColorSampler);
    row->addWidget(eyedropper);
    auto* hash = new QLabel(QStringLiteral("#"), this);
    hash->setFont(monoLabelFont());
    hash->setStyleSheet(Theme::labelStyle(Theme::secondaryText()));
    m_hexField = new QLineEdit(this);
    m_hexField->setFont(monoLabelFont());
    m_hexField->setPlaceholderText(QStringLiteral("RRGGBB"));
    m_hexField->setFrame(false);
    m_hexField->setFixedWidth(70);
    m_hexField->setStyleSheet(QStringLiteral("QLineEdit { %1 }").arg(Theme::labelStyle(Theme::text())));
    connect(m_hexField, &QLineEdit::textEdited, this, [this] { m_hexEdited = true; });
    connect(m_hexField, &QLineEdit::returnPressed, this, &ColorPopover::submitHexField);
    auto* hexGroup = new QHBoxLayout;
    hexGroup->setSpacing(2);
    hexGroup->addWidget(hash);
    hexGroup->addWidget(m_hexField);
    row->addLayout(hexGroup);
    auto* copy = new EditorButton(QStringLiteral("doc.on.doc"), QSize(20, 20), 12, this);
    copy->setToolTip(QStringLiteral("Hex-Wert kopieren"));
    m_copy = copy;
    connect(copy, &QAbstractButton::clicked, this, &ColorPopover::copyHexToClipboard);
    row->addWidget(copy);
    row->addStretch(1);
    column->addLayout(row);

    connect(&m_engine, &PaintEngine::selectedColorChanged, this, &ColorPopover::refresh);
    refresh();
}

void ColorPopover::popup(const QRect& anchorGlobal)
{
    adjustSize();
    QPoint topLeft(anchorGlobal.center().x() - width() / 2, anchorGlobal.bottom() + 8);
    if (QScreen* screen = QGuiApplication::screenAt(anchorGlobal.center())) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - width())));
    }
    move(topLeft);
    show();
}

void ColorPopover::showEvent(QShowEvent* event)
{
    QFrame::showEvent(event);
    m_hexEdited = false;
    refresh();
}

void ColorPopover::hideEvent(QHideEvent* event)
{
    QFrame::hideEvent(event);
    // Only a text the user typed is applied on closing, and the colour keeps its opacity.
    if (!m_hexEdited)
        return;
    m_hexEdited = false;
    if (auto parsed = PaintColor::fromHexString(m_hexField->text())) {
        parsed->opacity = m_engine.selectedColor().opacity;
        choose(*parsed);
    }
}

void ColorPopover::submitHexField()
{
    if (auto parsed = PaintColor::fromHexString(m_hexField->text())) {
        m_hexEdited = false;
        choose(*parsed);
    }
}

void ColorPopover::choose(const PaintColor& color)
{
    m_engine.setSelectedColor(color);
    m_engine.applyColorToSelection(color);
}

void ColorPopover::refresh()
{
    const PaintColor selected = m_engine.selectedColor();
    const auto& presets = AnnotationToolbarView::presetColors();
    for (std::size_t i = 0; i < m_presets.size(); ++i) {
        const bool isSelected = presets[i] == selected;
        static_cast<EditorButton*>(m_presets[i])
            ->setSwatch(presets[i].toQColor(), Theme::whiteAlpha(isSelected ? 204 : 38), isSelected ? 2 : 1);
    }
    // The field follows every change of the colour while the popover is open.
    m_hexField->setText(selected.hexString().mid(1));
    m_hexEdited = false;
}

void ColorPopover::copyHexToClipboard()
{
    m_pasteboard.clearContents();
    m_pasteboard.writeItems(
        {{PasteboardTypes::utf8PlainText, m_engine.selectedColor().hexString().toUtf8()}});
    m_hexCopied = true;
    auto* copy = static_cast<EditorButton*>(m_copy);
    copy->setSymbol(QStringLiteral("checkmark"));
    copy->setSymbolColor(Theme::success());
    copy->setToolTip(QStringLiteral("Kopiert!"));
    QPointer<ColorPopover> self(this);
    QTimer::singleShot(1200, this, [self] {
        if (!self)
            return;
        self->m_hexCopied = false;
        auto* button = static_cast<EditorButton*>(self->m_copy);
        button->setSymbol(QStringLiteral("doc.on.doc"));
        button->setSymbolColor(Theme::text());
        button->setToolTip(QStringLiteral("Hex-Wert kopieren"));
    });
}

void ColorPopover::presentColorSampler()
{
    const QRect anchor = geometry();
    // The popover would take the click that picks; it comes back when the sampling ends.
    hide();
    QPointer<ColorPopover> self(this);
    auto* sampler = new ScreenColorSampler([self, anchor](std::optional<QColor> color) {
        if (!self)
            return;
        if (color)
            self->choose(PaintColor(color->toRgb()));
        // The popover stays open around a sampling.
        self->move(anchor.topLeft());
        self->show();
    });
    sampler->start();
}
