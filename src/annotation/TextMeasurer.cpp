#include "annotation/TextMeasurer.h"

#include "annotation/QtTextMeasurer.h"

const TextMeasurer& TextMeasurer::shared()
{
    static const QtTextMeasurer measurer;
    return measurer;
}
