#include "orient.h"

#include <leptonica/allheaders.h>
#include <tesseract/baseapi.h>
#include <tesseract/osdetect.h>

namespace {

// At half the recogniser's text size the model finds the same orientations, and the page's
// layout analysis costs a quarter.
constexpr float detectionScale = 0.5f;

// The lead of the best orientation's score over the next one's. Upright and turned pages of
// text lead by 15 to 37; a screenshot's few lines often by under 5.
constexpr float leastConfidence = 10.0f;

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

PixPtr Orienter::upright(Pix* page) {
    PixPtr same(pixClone(page));
    if (!load()) return same;
    const PixPtr small(pixScale(page, detectionScale, detectionScale));
    engine_->SetImage(small ? small.get() : page);
    tesseract::OSResults results;
    const bool found = engine_->DetectOS(&results);
    engine_->Clear();
    if (!found || results.best_result.oconfidence < leastConfidence) return same;
    // Orientation n wants n quarter turns to the left, Leptonica counts them to the right.
    const int quarters = (4 - results.best_result.orientation_id) % 4;
    if (quarters == 0) return same;
    PixPtr turned(pixRotateOrth(page, quarters));
    return turned ? std::move(turned) : std::move(same);
}
