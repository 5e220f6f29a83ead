// A window with a long list of numbered rows, each in its own colour: the program the scrolling
// capture test captures. Row i is `rowHeight` pixels high, filled with scrollRowColor(i), its
// number written in black at the left. Prints "ready" once shown and "offset:<n>" whenever the
// view scrolls. Reads "quit" on stdin. With "static" as second argument the rows sit in a plain
// window that ignores the wheel; with "framed" the scrolling list lies in a box frame with a
// visible scroll bar, between a fixed header and a fixed footer line, as in a pager or a mail
// program; with "text" and a file as third argument the file's lines are shown in a read-only
// plain text view, black on white, in a window 13 lines high.
#include "ScrollRows.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QPlainTextEdit>
#include <QVBoxLayout>
#include <QPaintEvent>
#include <QPainter>
#include <QScrollArea>
#include <QScrollBar>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class Rows : public QWidget {
public:
    explicit Rows(QWidget* parent = nullptr)
        : QWidget(parent)
    {
        setFixedSize(scrollrows::width, scrollrows::count * scrollrows::rowHeight);
    }

protected:
    void paintEvent(QPaintEvent* event) override
    {
        QPainter painter(this);
        const int first = event->rect().top() / scrollrows::rowHeight;
        const int last = std::min(scrollrows::count - 1, event->rect().bottom() / scrollrows::rowHeight);
        for (int i = first; i <= last; ++i) {
            const QRect row(0, i * scrollrows::rowHeight, width(), scrollrows::rowHeight);
            painter.fillRect(row, scrollrows::color(i));
            painter.setPen(Qt::black);
            painter.drawText(row.adjusted(8, 0, 0, 0), Qt::AlignVCenter | Qt::AlignLeft, QString::number(i));
        }
    }
};

}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    const bool still = argc > 2 && QByteArray(argv[2]) == "static";
    const bool framed = argc > 2 && QByteArray(argv[2]) == "framed";
    const bool text = argc > 3 && QByteArray(argv[2]) == "text";
    const QString title = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Scroll target");
    QScrollArea area;
    QWidget plain;
    QPlainTextEdit view;
    QWidget* window = &area;
    QSize size(scrollrows::width, scrollrows::viewHeight);
    if (text) {
        QFile file(QString::fromLocal8Bit(argv[3]));
        if (!file.open(QIODevice::ReadOnly))
            return 1;
        view.setPlainText(QString::fromUtf8(file.readAll()));
        view.setReadOnly(true);
        view.setFrameShape(QFrame::NoFrame);
        view.setFont(QFont(QStringLiteral("DejaVu Sans Mono"), 11));
        view.setStyleSheet(QStringLiteral("QPlainTextEdit { background: white; color: black; }"));
        window = &view;
        // A dialog keeps its size under a window manager that fills the screen with every main
        // window: 13 lines, so that a block of 30 identical lines fills it over more than one step.
        view.setWindowFlag(Qt::Dialog);
        size = QSize(480, 240);
        QObject::connect(view.verticalScrollBar(), &QScrollBar::valueChanged,
            [](int value) { say("offset:" + QByteArray::number(value)); });
    } else if (framed) {
        // Owned by the window, which the layout makes its parent.
        auto* list = new QScrollArea;
        auto* layout = new QVBoxLayout(&plain);
        layout->setContentsMargins(0, 0, 0, 0);
        layout->setSpacing(0);
        auto* header = new QLabel(QStringLiteral("Header: Row list"));
        header->setFixedHeight(scrollrows::headerHeight);
        header->setStyleSheet(QStringLiteral("background: #202020; color: white; padding-left: 8px;"));
        auto* footer = new QLabel(QStringLiteral(":"));
        footer->setFixedHeight(scrollrows::footerHeight);
        footer->setStyleSheet(QStringLiteral("background: #e8e8e8; color: black; padding-left: 4px;"));
        list->setFrameStyle(QFrame::Box | QFrame::Plain);
        list->setLineWidth(scrollrows::frameWidth);
        list->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        list->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        list->setWidget(new Rows);
        layout->addWidget(header);
        layout->addWidget(list);
        layout->addWidget(footer);
        window = &plain;
        size.rwidth() += 2 * scrollrows::frameWidth + list->verticalScrollBar()->sizeHint().width();
        size.rheight() += scrollrows::headerHeight + scrollrows::footerHeight;
        QObject::connect(list->verticalScrollBar(), &QScrollBar::valueChanged,
            [](int value) { say("offset:" + QByteArray::number(value)); });
    } else if (still) {
        // The first rows in a window that has nothing to scroll.
        new Rows(&plain);
        window = &plain;
    } else {
        area.setFrameShape(QFrame::NoFrame);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setWidget(new Rows);
        QObject::connect(area.verticalScrollBar(), &QScrollBar::valueChanged,
            [](int value) { say("offset:" + QByteArray::number(value)); });
    }
    window->setWindowTitle(title);
    window->resize(size);
    window->move(60, 60);
    window->show();
    QTimer::singleShot(300, [] { say("ready"); });

    QSocketNotifier input(0, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(0, buffer, sizeof buffer);
        if (n <= 0 || QByteArray(buffer, int(n)).contains("quit"))
            app.quit();
    });
    return app.exec();
}
