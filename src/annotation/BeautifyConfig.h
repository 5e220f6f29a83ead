#pragma once

// The frame settings of an exported image.
struct BeautifyConfig {
    bool enabled = false;

    // The user's stored settings with the frame switched off.
    static BeautifyConfig loadDefaults() { return BeautifyConfig(); }
};
