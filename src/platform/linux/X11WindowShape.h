#pragma once
#include "platform/WindowShape.h"
#include "platform/linux/X11DisplayConnection.h"

// Window shapes through the X Shape extension (bounding and input shapes). Without the extension
// or a display the calls do nothing.
class X11WindowShape : public WindowShape {
public:
    void setShape(QWidget* window, const QRegion& region, bool drawing) override;
    void clearShape(QWidget* window) override;

private:
    bool available();

    X11DisplayConnection m_connection;
    int m_hasExtension = -1; // unknown until asked
};
