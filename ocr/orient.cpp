#include "orient.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/osdetect.h>

namespace {

// At half the recogniser's text size the model finds the same orientations, and the page's
// layout analysis costs a quarter.
constexpr float detectionScale = 0.5f;

// The lead of the best orientation's score over the next one's, over the 250 letters the
// model scores. Pages of text lead by 15 to 37, photos of pages by 3 to 17; wrong answers on
// screenshots and blurred photos led by under 3.
constexpr float leastConfidence = 6.0f;

}  // namespace

Orienter::Orienter() = default;
Orienter::~Orienter() = default;

bool Orienter::load() {
    if (engine_) return true;
    if (missing_) return false;
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract's debug_file is a global, already set by the recogniser's engine, which loads first:
    // set again here, it would race with another worker's engine loading.
    if (engine->Init(nullptr, "osd", tesseract::OEM_TESSERACT_ONLY) != 0) {
        missing_ = true;
        return false;
    }
    engine->SetPageSegMode(tesseract::PSM_OSD_ONLY);
    engine_ = std::move(engine);
    return true;
}

PixPtr Orienter::turned(Pix* page) {
    if (!load()) return nullptr;
    const PixPtr small(pixScale(page, detectionScale, detectionScale));
    engine_->SetImage(small ? small.get() : page);
    tesseract::OSResults results;
    // False when the page has too few letters to judge.
    const bool found = engine_->DetectOS(&results);
    engine_->Clear();
    // Orientation n wants n quarter turns to the left; Leptonica counts them to the right.
    const int quarters = results.best_result.orientation_id;
    if (!found || quarters == 0 || results.best_result.oconfidence < leastConfidence) return nullptr;
    return PixPtr(pixRotateOrth(page, 4 - quarters));
}
