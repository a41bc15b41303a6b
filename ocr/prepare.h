#pragma once

#include <memory>

class QImage;
struct Pix;

struct PixDeleter {
    void operator()(Pix* pix) const;
};
using PixPtr = std::unique_ptr<Pix, PixDeleter>;

// The bitmap made ready for Tesseract, as an 8-bit grey image: light text on dark panels
// turned dark on light, text scaled to the size Tesseract reads best (which also brings huge
// images down), a photographed page cut out and straightened, the background flattened, a
// curled page flattened. A step that does not apply, or that Leptonica cannot do, is left
// out. Null only when the grey image cannot be made (out of memory).
PixPtr prepareForRecognition(const QImage& bitmap);
