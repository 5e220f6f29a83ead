#pragma once

class AnnotationWindowManager;
class ClipboardSuspension;
class FileRevealer;
class Pasteboard;
class TextRecognizer;
class ThumbnailLoader;
class Workspace;

namespace Gallery {
// What the gallery's windows, views and cards use, handed down from their owner: the editor a
// screenshot opens in, the clipboard a copy goes to (with its monitor held off meanwhile), the
// text recognition of the capture service, the file manager and the desktop a recording is shown
// with, and the loader of the cards' pictures.
struct Needs {
    AnnotationWindowManager& annotations;
    ClipboardSuspension& clipboardSuspension;
    Pasteboard& pasteboard;
    TextRecognizer& textRecognizer;
    FileRevealer& fileRevealer;
    Workspace& workspace;
    ThumbnailLoader& thumbnails;
};
}
