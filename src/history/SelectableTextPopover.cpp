#include "history/SelectableTextPopover.h"

#include "platform/Unicode.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QTextEdit>
#include <QVBoxLayout>

namespace {
QFont headlineFont()
{
    QFont font = Theme::labelFont(10, QFont::DemiBold);
    font.setPixelSize(13);
    return font;
}
}

SelectableTextPopover::SelectableTextPopover(const QString& shown, QWidget* parent)
    : QFrame(parent, Qt::Popup)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setObjectName(QStringLiteral("selectTextPopover"));
    setStyleSheet(Theme::popoverStyle(QStringLiteral("#selectTextPopover"), Theme::textPopoverSurface()));
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 16);
    layout->setSpacing(8);
    auto* header = new QHBoxLayout;
    auto* headline = new QLabel(QStringLiteral("Select Text"), this);
    headline->setFont(headlineFont());
    header->addWidget(headline);
    header->addStretch();
    auto* done = new QPushButton(QStringLiteral("Done"), this);
    done->setFlat(true);
    done->setCursor(Qt::PointingHandCursor);
    done->setStyleSheet(Theme::borderlessTextButtonStyle(QStringLiteral("QPushButton"), Theme::accent()));
    connect(done, &QPushButton::clicked, this, &QWidget::close);
    header->addWidget(done);
    layout->addLayout(header);
    auto* divider = new QFrame(this);
    divider->setFixedHeight(1);
    divider->setStyleSheet(Theme::backgroundStyle(Theme::separator()));
    layout->addWidget(divider);
    auto* text = new QTextEdit(this);
    text->setReadOnly(true);
    text->setFrameShape(QFrame::NoFrame);
    text->setStyleSheet(Theme::transparentTextStyle(QStringLiteral("QTextEdit")));
    QFont font;
    font.setPixelSize(13);
    text->setFont(font);
    text->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    text->setPlainText(Unicode::graphemePrefix(shown.left(8 * qsizetype(maxShownCharacters)), maxShownCharacters));
    text->setMinimumSize(300, 100);
    text->setMaximumSize(400, 300);
    const QSize docSize = text->document()->size().toSize();
    text->setFixedSize(qBound(300, 360, 400), qBound(100, docSize.height() + 8, 300));
    layout->addWidget(text);
    adjustSize();
}

void SelectableTextPopover::showBeside(QWidget* row)
{
    // Beside the row's trailing edge, kept on the row's screen.
    QPoint origin = row->mapToGlobal(QPoint(row->width() + 6, (row->height() - height()) / 2));
    if (QScreen* screen = row->screen()) {
        const QRect available = screen->availableGeometry();
        if (origin.x() + width() > available.right())
            origin.setX(row->mapToGlobal(QPoint(0, 0)).x() - width() - 6);
        origin.setX(qBound(available.left(), origin.x(), qMax(available.left(), available.right() - width())));
        origin.setY(qBound(available.top(), origin.y(), qMax(available.top(), available.bottom() - height())));
    }
    move(origin);
    show();
}
