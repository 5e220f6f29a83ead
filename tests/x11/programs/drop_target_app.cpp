// A window of another process that takes drops, as a file manager or an image editor would: the
// drag-out tests drop on it. Placed at the geometry given as "x,y,w,h" in the first argument
// (without the window manager, so it stays there). Prints "ready" once shown and, per drop, one
// line "drop:<format>:<byte count>:<sha256 of the bytes>" for every format offered (image/png
// first) and "file:<path>" for every local file it names, then "dropped". Reads "quit" and "read"
// on stdin: "read" reads the files of the last drop now, as receivers that copy after the drop
// do, and prints per file "read:<byte count>:<sha256>" or "read:missing". A delay in ms as the
// second argument reads them by itself that long after the drop, printed as "read-later:...".
#include <QApplication>
#include <QCryptographicHash>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QSocketNotifier>
#include <QTimer>
#include <QUrl>
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

QByteArray described(const QByteArray& bytes)
{
    return QByteArray::number(bytes.size()) + ':' + QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

class DropTarget : public QWidget {
public:
    explicit DropTarget(int readAfterMs)
        : m_readAfterMs(readAfterMs)
    {
        setAcceptDrops(true);
    }

    void readFiles(const QByteArray& prefix = "read:") const
    {
        for (const QString& path : m_files) {
            QFile file(path);
            say(prefix + (file.open(QIODevice::ReadOnly) ? described(file.readAll()) : QByteArray("missing")));
        }
    }

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
            say("drop:" + format.toUtf8() + ':' + described(bytes));
        }
        m_files.clear();
        for (const QUrl& url : event->mimeData()->urls())
            if (url.isLocalFile()) {
                m_files << url.toLocalFile();
                say("file:" + url.toLocalFile().toUtf8());
            }
        event->acceptProposedAction();
        say("dropped");
        if (m_readAfterMs >= 0)
            QTimer::singleShot(m_readAfterMs, this, [this] { readFiles("read-later:"); });
    }

private:
    int m_readAfterMs;
    QStringList m_files;
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
    DropTarget window(argc > 2 ? QByteArray(argv[2]).toInt() : -1);
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
        if (n > 0 && QByteArray(buffer, int(n)).contains("read"))
            window.readFiles();
        if (n <= 0 || QByteArray(buffer, int(n)).contains("quit"))
            app.quit();
    });
    return app.exec();
}
