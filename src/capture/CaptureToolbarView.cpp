#include "capture/CaptureToolbarView.h"

#include "capture/CaptureOverlayWindowManager.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QEnterEvent>
#include <QFontMetrics>
#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

constexpr int symbolPixels = 15;

QFont pixelFont(int pixels, QFont::Weight weight)
{
    QFont font = Theme::labelFont(pixels, weight);
    font.setPixelSize(pixels);
    return font;
}

}

CaptureModeButton::CaptureModeButton(const QString& symbol, const QString& title, QWidget* parent)
    : SymbolButton(symbol, parent)
{
    setText(title);
    setAttribute(Qt::WA_Hover);
}

QSize CaptureModeButton::sizeHint() const
{
    const QFontMetrics metrics(pixelFont(9, QFont::Medium));
    const int width = std::max(symbolPixels, metrics.horizontalAdvance(text())) + 16;
    return {std::max(width, 44), symbolPixels + 2 + metrics.height() + 8};
}

void CaptureModeButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const double fill = isActive() ? 0.15 : (isHovering() ? 0.08 : 0);
    if (fill > 0) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::whiteAlpha(int(fill * 255)));
        painter.drawRoundedRect(QRectF(rect()), 6, 6);
    }
    const QColor colour = isActive() ? Theme::accent() : Theme::text();
    const QPixmap icon = Symbols::pixmap(symbol(), symbolPixels, colour);
    const int top = 4;
    painter.drawPixmap(QRect((width() - symbolPixels) / 2, top, symbolPixels, symbolPixels), icon);
    painter.setFont(pixelFont(9, QFont::Medium));
    painter.setPen(colour);
    painter.drawText(QRect(0, top + symbolPixels + 2, width(), height() - top - symbolPixels - 2 - 4),
        Qt::AlignHCenter | Qt::AlignTop, text());
}

const QList<std::optional<int>>& CaptureToolbarView::timerChoices()
{
    static const QList<std::optional<int>> choices {std::nullopt, 3, 5, 10};
    return choices;
}

QString CaptureToolbarView::timerChoiceTitle(std::optional<int> seconds)
{
    return seconds ? QStringLiteral("%1 Sekunden").arg(*seconds) : QStringLiteral("Aus");
}

CaptureToolbarView::CaptureToolbarView(
    CaptureOverlayWindowManager* manager, CaptureSelection& selection, QWidget* parent)
    : QWidget(parent)
    , m_manager(manager)
    , m_selection(selection)
{
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(6, 6, 6, 6);
    row->setSpacing(4);
    using P = SelectionParadigm;
    using A = TerminalAction;
    const auto mode = [this](P paradigm, A action) {
        return [this, paradigm, action] {
            if (m_manager)
                m_selection.applyModeSwitch(paradigm, action);
        };
    };
    addMode(QStringLiteral("viewfinder"), QStringLiteral("Area"), mode(P::marquee, A::screenshot));
    addMode(QStringLiteral("macwindow"), QStringLiteral("Fullscreen"), [this] {
        if (m_manager)
            m_manager->switchToFullScreenFromToolbar();
    });
    addMode(QStringLiteral("square.on.square"), QStringLiteral("Window"), mode(P::windowPick, A::screenshot));
    addMode(QStringLiteral("arrow.down.to.line"), QStringLiteral("Scrolling"), mode(P::windowPick, A::scrollingCapture));
    addMode(QStringLiteral("timer"), QStringLiteral("Timer"), [this] { showTimerList(); });
    addMode(QStringLiteral("text.viewfinder"), QStringLiteral("OCR"), mode(P::marquee, A::ocr));
    addMode(QStringLiteral("record.circle"), QStringLiteral("Recording"), [this] {
        if (m_manager)
            m_selection.applyModeSwitch(m_selection.paradigm(), A::record);
    });
    for (CaptureModeButton* button : m_buttons)
        row->addWidget(button);

    auto* divider = new QFrame(this);
    divider->setFixedSize(1, 24);
    divider->setStyleSheet(Theme::separatorStyle(Theme::whiteAlpha(40)));
    row->addWidget(divider);

    m_readout = new QLabel(this);
    QFont readoutFont(QStringLiteral("monospace"));
    readoutFont.setStyleHint(QFont::Monospace);
    readoutFont.setPixelSize(11);
    readoutFont.setWeight(QFont::Medium);
    m_readout->setFont(readoutFont);
    m_readout->setMinimumWidth(60 + 16);
    m_readout->setContentsMargins(8, 0, 8, 0);
    m_readout->setAlignment(Qt::AlignCenter);
    QPalette palette = m_readout->palette();
    palette.setColor(QPalette::WindowText, Theme::secondaryText());
    m_readout->setPalette(palette);
    row->addWidget(m_readout);

    if (m_manager)
        connect(m_manager, &CaptureOverlayWindowManager::changed, this, &CaptureToolbarView::refresh);
    refresh();
}

CaptureModeButton* CaptureToolbarView::addMode(const QString& symbol, const QString& title, std::function<void()> action)
{
    auto* button = new CaptureModeButton(symbol, title, this);
    connect(button, &QAbstractButton::clicked, this, [action = std::move(action)] { action(); });
    m_buttons.append(button);
    return button;
}

CaptureModeButton* CaptureToolbarView::button(const QString& title) const
{
    for (CaptureModeButton* button : m_buttons)
        if (button->text() == title)
            return button;
    return nullptr;
}

void CaptureToolbarView::refresh()
{
    if (!m_manager)
        return;
    const CaptureSelection& s = m_selection;
    const bool marquee = s.paradigm() == SelectionParadigm::marquee;
    const TerminalAction action = s.terminalAction();
    button(QStringLiteral("Area"))->setActive(marquee && action == TerminalAction::screenshot);
    button(QStringLiteral("Fullscreen"))->setActive(false);
    button(QStringLiteral("Window"))->setActive(!marquee && action == TerminalAction::screenshot);
    button(QStringLiteral("Scrolling"))->setActive(!marquee && action == TerminalAction::scrollingCapture);
    button(QStringLiteral("Timer"))->setActive(s.timerSeconds().has_value());
    button(QStringLiteral("OCR"))->setActive(action == TerminalAction::ocr);
    button(QStringLiteral("Recording"))->setActive(action == TerminalAction::record);
    m_readout->setText(QString::fromStdString(m_selection.sizeReadoutText()));
}

void CaptureToolbarView::showTimerList()
{
    if (!m_manager)
        return;
    if (m_timerList)
        m_timerList->close();
    auto* list = new QFrame(nullptr, Qt::Popup | Qt::FramelessWindowHint);
    list->setAttribute(Qt::WA_DeleteOnClose);
    list->setObjectName(QStringLiteral("captureTimerList"));
    list->setStyleSheet(Theme::popupListStyle(QStringLiteral("QFrame#captureTimerList")));
    auto* column = new QVBoxLayout(list);
    column->setContentsMargins(0, 4, 0, 4);
    column->setSpacing(0);
    const std::optional<int> current = m_selection.timerSeconds();
    for (const std::optional<int>& choice : timerChoices()) {
        // The title at the leading edge, a check mark at the trailing one for the current choice.
        auto* row = new QPushButton(list);
        row->setAccessibleName(timerChoiceTitle(choice));
        row->setProperty("checkedChoice", choice == current);
        row->setFixedWidth(160);
        row->setCursor(Qt::PointingHandCursor);
        auto* content = new QHBoxLayout(row);
        content->setContentsMargins(12, 6, 12, 6);
        auto* title = new QLabel(timerChoiceTitle(choice), row);
        title->setFont(pixelFont(12, QFont::Normal));
        title->setStyleSheet(Theme::labelStyle(Theme::text()));
        content->addWidget(title);
        content->addStretch(1);
        if (choice == current) {
            auto* check = new QLabel(row);
            check->setPixmap(Symbols::pixmap(QStringLiteral("checkmark"), 12, Theme::text()));
            content->addWidget(check);
        }
        row->setMinimumHeight(title->sizeHint().height() + 12);
        connect(row, &QPushButton::clicked, list, [this, list, choice] {
            if (m_manager)
                m_selection.setTimerSeconds(choice);
            list->close();
        });
        column->addWidget(row);
    }
    list->adjustSize();
    // Below the timer button, its arrow edge at the bottom of the button.
    CaptureModeButton* anchor = button(QStringLiteral("Timer"));
    const QPoint below = anchor->mapToGlobal(QPoint(anchor->width() / 2 - list->width() / 2, anchor->height() + 4));
    list->move(below);
    m_timerList = list;
    list->show();
}

void CaptureToolbarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    QPainterPath shape;
    shape.addRoundedRect(QRectF(rect()), 10, 10);
    painter.fillPath(shape, Theme::annotationSurface());
}
