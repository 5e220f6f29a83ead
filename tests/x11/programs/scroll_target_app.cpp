// A window with a long list of numbered rows, each in its own colour: the program the scrolling
// capture test captures. Row i is `rowHeight` pixels high, filled with scrollRowColor(i), its
// number written in black at the left. Prints "ready" once shown and "offset:<n>" whenever the
// view scrolls. Reads "quit" on stdin. With "static" as second argument the rows sit in a plain
// window that ignores the wheel.
#include "ScrollRows.h"

#include <QApplication>
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
    const QString title = argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Scroll target");
    QScrollArea area;
    QWidget plain;
    QWidget* window = &area;
    if (still) {
        // The first rows in a window that has nothing to scroll.
        new Rows(&plain);
        window = &plain;
    } else {
        area.setFrameShape(QFrame::NoFrame);
        area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
        area.setWidget(new Rows);
        QObject::connect(area.verticalScrollBar(), &QScrollBar::valueChanged, [](int value) {
            say("offset:" + QByteArray::number(value));
        });
    }
    window->setWindowTitle(title);
    window->resize(scrollrows::width, scrollrows::viewHeight);
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
