#pragma once
#include <QByteArray>
#include <QImage>
#include <QPoint>
#include <QWidget>

class QMimeData;
#include <functional>
#include <future>
#include <optional>

// Makes a region a source of a system drag of one PNG. A press followed by a movement of more
// than 4 points starts the drag with the image rendered at that moment; a press released without
// it is a tap. A rendering that fails is not retried before the next press. The drag offers the
// PNG itself and, for drop targets that only take files, a file URL of the same PNG written to
// the drag cache folder. The PNG may still be encoding when the drag starts: a drop target that
// asks for it waits for it.
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

    // $XDG_CACHE_HOME/Quorvel/drag: where dragged PNGs are written for file-only drop targets.
    static QString dragCacheFolder();
    // Deletes the files writeDragFile left in the drag cache folder (at start-up and at quit):
    // regular files of its names only, never through a link.
    static void clearDragCache();
    // Writes the PNG into the cache folder, readable by the user alone; the file's path, or empty
    // on failure. A link in place of the folder (or of Quorvel's cache folder) is not followed:
    // nothing is written then.
    static QString writeDragFile(const QByteArray& png);

    // The data a drag hands out: "image/png" and a "text/uri-list" of the PNG written to the drag
    // cache folder on first request; both wait for the PNG. Deleting the data removes the file.
    static QMimeData* makeMimeData(const Rendered& rendered);

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
