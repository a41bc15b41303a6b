#include "orient.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/osdetect.h>

namespace {

// At half the recogniser's text size the model finds the same orientations, and the page's
// layout analysis costs a quarter.
constexpr float detectionScale = 0.5f;

// The model scores at most five times this many letters, about a millisecond each. A glance
// at 75 letters found every upright page upright; a turn waits for Tesseract's default, 250.
constexpr const char* glanceLetters = "15";
constexpr const char* lookLetters = "50";

// The lead of the best orientation's score over the next one's, over 250 letters. Pages of
// text lead by 15 to 37, photos of pages by 3 to 17; wrong answers on screenshots and blurred
// photos led by under 3.
constexpr float leastConfidence = 6.0f;

}  // namespace

Orienter::Orienter() = default;
Orienter::~Orienter() = default;

bool Orienter::load() {
    if (engine_) return true;
    if (missing_) return false;
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    engine->SetVariable("debug_file", "/dev/null");  // Tesseract's warnings, on standard error otherwise
    if (engine->Init(nullptr, "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
        missing_ = true;
        return false;
    }
    engine->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    engine_ = std::move(engine);
    return true;
}

int Orienter::detect(Pix* page, const char* letters, float& confidence) {
    engine_->SetVariable("min_characters_to_try", letters);
    engine_->SetImage(page);
    tesseract::OSResults results;
    // False with too few letters to judge.
    const bool found = engine_->DetectOS(&results);
    engine_->Clear();
    confidence = results.best_result.oconfidence;
    return found ? results.best_result.orientation_id : 0;
}

PixPtr Orienter::upright(Pix* page) {
    PixPtr same(pixClone(page));
    if (!load()) return same;
    const PixPtr small(pixScale(page, detectionScale, detectionScale));
    Pix* const seen = small ? small.get() : page;
    float confidence = 0;
    const int glance = detect(seen, glanceLetters, confidence);
    if (glance == 0 || detect(seen, lookLetters, confidence) != glance || confidence < leastConfidence) return same;
    // Leptonica counts quarter turns to the right.
    PixPtr turned(pixRotateOrth(page, 4 - glance));
    return turned ? std::move(turned) : std::move(same);
}
