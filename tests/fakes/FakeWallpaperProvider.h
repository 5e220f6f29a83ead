#pragma once
#include "platform/WallpaperProvider.h"

// Hands out a fixed picture (null: no desktop picture) and counts the requests.
class FakeWallpaperProvider : public WallpaperProvider {
public:
    explicit FakeWallpaperProvider(QImage wallpaper = QImage())
        : wallpaper(std::move(wallpaper))
    {
    }

    QImage currentWallpaper() override
    {
        ++requestCount;
        return wallpaper;
    }

    QImage wallpaper;
    int requestCount = 0;
};
