#pragma once
#include "platform/Shared.h"

#include <QStringList>

// Shows files selected in the desktop's file manager.
class FileRevealer {
public:
    virtual ~FileRevealer() = default;
    static FileRevealer& shared() { return SharedSlot<FileRevealer>::get(); }
    static bool isShared() { return SharedSlot<FileRevealer>::isSet(); }
    static void setShared(FileRevealer* revealer) { SharedSlot<FileRevealer>::set(revealer); }

    // Asks the file manager to open the folders of these absolute paths with the files selected;
    // false when no file manager took the request. May wait on the desktop: call it off the main
    // thread.
    virtual bool showItems(const QStringList& paths) = 0;
};
