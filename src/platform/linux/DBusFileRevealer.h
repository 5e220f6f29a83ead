#pragma once
#include "platform/FileRevealer.h"

// org.freedesktop.FileManager1.ShowItems on the session bus (Nautilus, Dolphin, Nemo, Thunar,
// PCManFM-Qt and others implement it).
class DBusFileRevealer : public FileRevealer {
public:
    bool showItems(const QStringList& paths) override;
};
