#pragma once
#include "platform/DisplayList.h"
#include "platform/linux/X11DisplayConnection.h"

// The displays as Qt lists them (geometry, work area, primary), identified through RandR: the
// EDID property of the output that carries the screen, else the output's name. Main thread only.
class X11DisplayList : public DisplayList {
public:
    QList<DisplayDescription> displays() override;

private:
    QByteArray edidOf(const QString& outputName);

    X11DisplayConnection m_connection;
};
