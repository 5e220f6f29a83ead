// A window of another process that takes drops, as a file manager or an image editor would: the
// drag-out tests drop on it. Placed at the geometry given as "x,y,w,h" in the first argument
// (without the window manager, so it stays there). Prints "ready" once shown and, per drop, one
// line "drop:<format>:<byte count>:<sha256 of the bytes>" for every format offered (image/png
// first), then "dropped". Reads "quit" on stdin.
#include <QApplication>
#include <QCryptographicHash>
#include <QDropEvent>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <QWidget>
#include <cstdio>
#include <unistd.h>

namespace {

void say(const QByteArray& line)
{
    std::fwrite(line.constData(), 1, static_cast<size_t>(line.size()), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

class DropTarget : public QWidget {
public:
    DropTarget() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        QStringList formats = event->mimeData()->formats();
        formats.removeAll(QStringLiteral("image/png"));
        formats.prepend(QStringLiteral("image/png"));
        for (const QString& format : formats) {
            const QByteArray bytes = event->mimeData()->data(format);
            say("drop:" + format.toUtf8() + ':' + QByteArray::number(bytes.size()) + ':'
                + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex());
        }
        event->acceptProposedAction();
        say("dropped");
    }
};

}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QRect geometry(700, 100, 400, 400);
    if (argc > 1) {
        const QList<QByteArray> parts = QByteArray(argv[1]).split(',');
        if (parts.size() == 4)
            geometry = QRect(parts[0].toInt(), parts[1].toInt(), parts[2].toInt(), parts[3].toInt());
    }
    DropTarget window;
    window.setWindowFlag(Qt::X11BypassWindowManagerHint);
    window.setWindowTitle(QStringLiteral("Drop target"));
    window.setStyleSheet(QStringLiteral("background: #3a6"));
    window.setGeometry(geometry);
    window.show();
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
