#pragma once

#include <memory>
#include <vector>

class QImage;
struct Pix;

struct PixDeleter {
    void operator()(Pix* pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// The bitmap made ready for Tesseract, as an 8-bit grey image: light text on dark ground
// turned dark on light, whether it covers the image or a panel, text scaled to the size
// Tesseract reads best (which also brings huge images down), a photographed page cut out and
// straightened (or, when its outline is not found, slanting lines turned level), the
// background flattened, curled lines flattened; its resolution is the one its text size
// stands for. A step that does not apply, or that Leptonica cannot do, is left out. Null only
// when the grey image cannot be made (out of memory).
// sideBars, when given, receives the dark side bars of a window found on the way, as fractions
// of the page's width and height: Tesseract read their entries on one line with the text beside
// them, and garbled both. None where the page was straightened or its lines bent.
struct Region {
    double left, top, right, bottom;
};
PixPtr prepareForRecognition(const QImage& bitmap, std::vector<Region>* sideBars = nullptr);

// The bitmap as 8-bit grey and nothing more: its luminance, or for text and ground of one grey
// but another hue the colour channel that tells them apart; null when it cannot be made.
PixPtr greyOf(const QImage& bitmap);

// The x-height of the prepared page's text, from the resolution it was given; 0 when unknown.
double xHeightOf(Pix* prepared);
