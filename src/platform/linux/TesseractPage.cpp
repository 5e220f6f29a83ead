#include "platform/linux/TesseractPage.h"

#include <tesseract/baseapi.h>

namespace TesseractPage {

bool isPicture(tesseract::PolyBlockType type)
{
    return type == tesseract::PT_FLOWING_IMAGE || type == tesseract::PT_HEADING_IMAGE
        || type == tesseract::PT_PULLOUT_IMAGE;
}

bool isText(tesseract::PolyBlockType type)
{
    return !isPicture(type) && type != tesseract::PT_HORZ_LINE && type != tesseract::PT_VERT_LINE
        && type != tesseract::PT_NOISE;
}

bool recognize(tesseract::TessBaseAPI* api, const QImage& page, int resolution, Gutters gutters)
{
    api->SetVariable("textord_tabfind_aligned_gap_fraction", gutters == Gutters::Wide ? "2" : "0.75");
    api->SetPageSegMode(tesseract::PSM_AUTO);
    api->SetImage(page.constBits(), page.width(), page.height(), 1, static_cast<int>(page.bytesPerLine()));
    api->SetSourceResolution(resolution);
    if (api->Recognize(nullptr) == 0)
        return true;
    api->Clear();
    return false;
}

}
