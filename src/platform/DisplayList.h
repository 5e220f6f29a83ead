#pragma once
#include "platform/Shared.h"

#include <QByteArray>
#include <QList>
#include <QRect>
#include <QString>
#include <optional>

// One connected display in global desktop coordinates (y downwards).
struct DisplayDescription {
    // A stable identifier that survives reconnection and reordering (from the monitor's EDID where
    // there is one, else the output name); empty when the display cannot be identified.
    QString identifier;
    // The name shown to the user (the monitor model, else the output name).
    QString name;
    QRect frame;
    // The frame minus the desktop's panels and docks.
    QRect visibleFrame;
    bool isPrimary = false;
    bool operator==(const DisplayDescription&) const = default;
};

// The connected displays in the order the system lists them.
class DisplayList {
public:
    virtual ~DisplayList() = default;
    static DisplayList& shared() { return SharedSlot<DisplayList>::get(); }
    static void setShared(DisplayList* d) { SharedSlot<DisplayList>::set(d); }
    static bool isWired() { return SharedSlot<DisplayList>::isSet(); }

    virtual QList<DisplayDescription> displays() = 0;

    // The primary display, else the first one; none without displays.
    std::optional<DisplayDescription> mainDisplay();

    // The identifier of a display: derived from the EDID block (vendor, product, serial number
    // and manufacture date, formatted like a UUID) when the block is a valid one, else the output
    // name; empty when neither is there. A monitor without a serial number also gets its output's
    // connector name into the identifier, so that two of one model stay apart.
    static QString identifierFor(const QByteArray& edid, const QString& outputName);
};
