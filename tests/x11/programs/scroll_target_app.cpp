// A window with a long list of numbered rows, each in its own colour: the program the scrolling
// capture test captures. Row i is `rowHeight` pixels high, filled with scrollRowColor(i), its
// number written in black at the left. Prints "ready" once shown and "offset:<n>" whenever the
// view scrolls. Reads "quit" on stdin.
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
    Rows() { setFixedSize(scrollrows::width, scrollrows::count * scrollrows::rowHeight); }

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
    QScrollArea area;
    area.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Scroll target"));
    area.setFrameShape(QFrame::NoFrame);
    area.setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area.setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    area.setWidget(new Rows);
    area.resize(scrollrows::width, scrollrows::viewHeight);
    area.move(60, 60);
    QObject::connect(area.verticalScrollBar(), &QScrollBar::valueChanged, [](int value) {
        say("offset:" + QByteArray::number(value));
    });
    area.show();
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
