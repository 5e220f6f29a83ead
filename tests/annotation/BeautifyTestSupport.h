#pragma once
#include "annotation/BeautifyConfig.h"

// A switched-on frame over background with the given padding, corner radius and shadow.
inline BeautifyConfig enabled(
    BeautifyBackground background, double padding = 0.12, double radius = 0, bool shadow = false)
{
    BeautifyConfig config;
    config.isEnabled = true;
    config.background = std::move(background);
    config.paddingFraction = padding;
    config.cornerRadiusFraction = radius;
    config.shadow.isEnabled = shadow;
    return config;
}
