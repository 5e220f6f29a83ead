#pragma once
#include <QFont>
#include <QSizeF>
#include <QString>

// Measures text as the annotation layers lay it out: the natural size of the whole string in the
// system font of a size (in canvas points) and weight, one line per line break, never wrapped.
// The geometry of labels and texts and the paint engine measure through one instance, so that
// hit areas match what is drawn.
class TextMeasurer {
public:
    virtual ~TextMeasurer() = default;

    virtual QSizeF size(const QString& text, double fontSize, QFont::Weight weight) const = 0;
    double width(const QString& text, double fontSize, QFont::Weight weight) const
    {
        return size(text, fontSize, weight).width();
    }

    // The measurer of the running program (Qt font metrics); needs a QGuiApplication.
    static const TextMeasurer& shared();
};
