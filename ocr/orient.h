#pragma once

#include <memory>

#include "prepare.h"

namespace tesseract {
class TessBaseAPI;
}

// Turns a page whose text stands sideways or upside down, with nothing in the file saying
// so, upright. Tesseract's orientation model (osd) stays loaded for the next page, as the
// recogniser's models do.
class Orienter {
public:
    Orienter();
    ~Orienter();
    Orienter(const Orienter&) = delete;
    Orienter& operator=(const Orienter&) = delete;

    // The page with its text upright; the page itself (a clone) when it already is, when the
    // model is unsure (little text, as on many screenshots) or not installed. Null only when
    // Leptonica runs out of memory.
    PixPtr upright(Pix* page);

private:
    bool load();
    // How many quarter turns to the left make the page upright, and how sure the model is,
    // from up to five times letters of its letters; 0 when it has too few.
    int detect(Pix* page, const char* letters, float& confidence);

    std::unique_ptr<tesseract::TessBaseAPI> engine_;
    bool missing_ = false;  // the model could not be loaded: not tried again
};
