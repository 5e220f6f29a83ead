#pragma once
#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QWidget>

class DesktopNotifier;
class QMimeData;
#include <chrono>
#include <functional>
#include <future>
#include <optional>

// Makes a region a source of a system drag of one PNG. A press followed by a movement of more
// than 4 points starts the drag with the image rendered at that moment; a press released without
// it is a tap. A rendering that fails is not retried before the next press. The drag offers the
// PNG itself and, for drop targets that only take files, a file URL of the same PNG written to
// the drag cache folder (or, where that is a link or someone else's or takes no file, being full
// or read-only, to a private folder below $XDG_RUNTIME_DIR; where neither takes it, no file is
// offered and the user is told once). The PNG may still be encoding when the drag starts: a drop
// target that asks for it waits for it. The file outlives the drag: file managers, mail and chat
// programs copy it after the drop.
class ImageDragSourceView : public QWidget {
    Q_OBJECT
public:
    struct Rendered {
        // The PNG bytes (none when encoding failed), possibly still being made.
        std::shared_future<std::optional<QByteArray>> data;
        // The picture shown under the pointer.
        QImage image;
        static Rendered ready(QByteArray png, QImage image);
    };
    using RenderImage = std::function<std::optional<Rendered>()>;

    static constexpr double dragThreshold = 4;

    explicit ImageDragSourceView(QWidget* parent = nullptr);

    void setRenderImage(RenderImage render) { m_renderImage = std::move(render); }
    void setOnTap(std::function<void()> onTap) { m_onTap = std::move(onTap); }


    // The data a drag hands out: "image/png" and a "text/uri-list" of the PNG written to a drag
    // folder; both wait for the PNG. A PNG at hand is written at once, one still being made on the
    // first request of the list. The file stays when the data goes (see DragFileStore::keepFilesFor); making
    // the data removes the files of earlier drags that are old enough. Where no drag folder of our
    // own takes the file, only "image/png" is offered (the list of a PNG written late stays
    // empty), and the user is told (once).
    static QMimeData* makeMimeData(const Rendered& rendered);
    // Where that is told besides the console (none: the console only); told again once set.
    static void setNoticeTarget(DesktopNotifier* notifier);
    static const QString noFileSummary;
    static const QString noFileBody;
    static const QString noFileWriteBody;

    // How a drag is carried out; tests replace it (the system drag blocks until the drop).
    using DragRunner = std::function<void(ImageDragSourceView& source, const Rendered& rendered)>;
    void setDragRunner(DragRunner runner) { m_dragRunner = std::move(runner); }

protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;

private:
    void runSystemDrag(const Rendered& rendered);

    RenderImage m_renderImage;
    std::function<void()> m_onTap;
    DragRunner m_dragRunner;
    std::optional<QPoint> m_mouseDownLocation;
    bool m_renderFailedThisPress = false;
};
