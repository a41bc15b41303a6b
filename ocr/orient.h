#pragma once

#include <memory>

#include "prepare.h"

namespace tesseract {
class TessBaseAPI;
}

// Turns a page whose text stands sideways or upside down, with nothing in the file saying
// so, upright. Tesseract's orientation model (osd) is loaded at the first doubtful page and
// stays loaded for the next, as the recogniser's models do.
class Orienter {
public:
    // Tesseract's mean word confidence under which a reading may be of turned text: upside
    // down and sideways pages read at 36 to 56, upright pages, screenshots and photos of
    // pages at 71 to 95. Above it no page pays for the model (0.25 s to load).
    static constexpr int doubtfulReading = 75;

    Orienter();
    ~Orienter();
    Orienter(const Orienter&) = delete;
    Orienter& operator=(const Orienter&) = delete;

    // The page turned so that its text stands upright; null when it already does, when the
    // model is unsure (little text, as on many screenshots) or not installed.
    PixPtr turned(Pix* page);

private:
    bool load();

    std::unique_ptr<tesseract::TessBaseAPI> engine_;
    bool missing_ = false;  // the model could not be loaded: not tried again
};
