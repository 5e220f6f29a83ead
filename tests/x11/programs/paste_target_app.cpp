// A window with one text field: the application the end-to-end paste test pastes into.
// Prints "ready" once the field holds the keyboard focus, "text:<field text>" at every change,
// and "final:<field text>" when it ends. Reads commands on stdin: "quit". It also takes drops
// anywhere in its window: "drop:<format>:<byte count>" for each format of a drop, then
// "droptext:<text>" and "dropimage:<width>x<height>" when the drop holds them, then "dropped".
#include <QApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QImage>
#include <QMimeData>
#include <QLineEdit>
#include <QSocketNotifier>
#include <QTimer>
#include <QVBoxLayout>
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

// The window: accepts every drop and reports what it carried.
class DropWindow : public QWidget {
public:
    DropWindow() { setAcceptDrops(true); }

protected:
    void dragEnterEvent(QDragEnterEvent* event) override { event->acceptProposedAction(); }
    void dragMoveEvent(QDragMoveEvent* event) override { event->acceptProposedAction(); }
    void dropEvent(QDropEvent* event) override
    {
        const QMimeData* mime = event->mimeData();
        for (const QString& format : mime->formats())
            say("drop:" + format.toUtf8() + ":" + QByteArray::number(mime->data(format).size()));
        if (mime->hasText())
            say("droptext:" + mime->text().toUtf8());
        const QImage image = QImage::fromData(mime->data(QStringLiteral("image/png")), "PNG");
        if (!image.isNull())
            say("dropimage:" + QByteArray::number(image.width()) + "x" + QByteArray::number(image.height()));
        say("dropped");
        event->acceptProposedAction();
    }
};
}

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    DropWindow window;
    window.setWindowTitle(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QStringLiteral("Paste target"));
    auto* layout = new QVBoxLayout(&window);
    auto* field = new QLineEdit(&window);
    layout->addWidget(field);
    window.resize(400, 80);

    QObject::connect(field, &QLineEdit::textChanged, [](const QString& text) { say("text:" + text.toUtf8()); });

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buffer[256];
        const ssize_t n = ::read(STDIN_FILENO, buffer, sizeof buffer);
        if (n <= 0) {
            app.quit(); // the test went away
            return;
        }
        pending.append(buffer, n);
        qsizetype end;
        while ((end = pending.indexOf('\n')) >= 0) {
            const QByteArray command = pending.left(end).trimmed();
            pending.remove(0, end + 1);
            if (command == "quit")
                app.quit();
        }
    });

    bool announced = false;
    QTimer readiness;
    QObject::connect(&readiness, &QTimer::timeout, [&] {
        if (!announced && window.isActiveWindow() && field->hasFocus()) {
            announced = true;
            say("ready");
        }
    });
    readiness.start(20);

    window.show();
    window.activateWindow();
    field->setFocus();
    const int result = app.exec();
    say("final:" + field->text().toUtf8());
    return result;
}
