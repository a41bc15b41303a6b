#include "TesseractRecognizer.h"

#include <leptonica/allheaders.h>
#include <omp.h>
#include <tesseract/baseapi.h>
#include <tesseract/resultiterator.h>

#include <algorithm>
#include <mutex>

#include "prepare.h"

namespace {

struct Language {
    const char* tag;
    const char* model;
};
constexpr Language languages[] = {{"ru-RU", "rus"}, {"en-US", "eng"}};

// Every model we have a tag for. Tesseract skips a missing one after the first
// and fails only when none loads.
constexpr const char* allModels = "rus+eng";

const char* modelFor(const std::string& tag) {
    for (const auto& language : languages) {
        if (tag == language.tag) return language.model;
    }
    return nullptr;
}

using TextPtr = std::unique_ptr<char[]>;  // GetUTF8Text hands out new[] memory

bool isBlank(const std::string& text) {
    return std::all_of(text.begin(), text.end(), [](char c) {
        return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\f' || c == '\v';
    });
}

}  // namespace

TesseractRecognizer::TesseractRecognizer() {
    // Tesseract's own OpenMP threads made recognition about 4.5 times slower on
    // two cores. Done here rather than through OMP_THREAD_LIMIT: the program
    // takes nothing from its environment.
    omp_set_max_active_levels(0);
    // Standard error belongs to the program's caller.
    setMsgSeverity(L_SEVERITY_NONE);
}

TesseractRecognizer::~TesseractRecognizer() = default;

bool TesseractRecognizer::load(const std::string& models) {
    if (engine_ && loaded_ == models) return true;
    engine_.reset();
    loaded_.clear();
    auto engine = std::make_unique<tesseract::TessBaseAPI>();
    // Tesseract prints its warnings to this file, to standard error by default. A global of its
    // own, not the engine's: set once, or engines loading in parallel race on it.
    static std::once_flag quiet;
    std::call_once(quiet, [&] { engine->SetVariable("debug_file", "/dev/null"); });
    // Never an empty list: Init accepts it and Recognize then crashes.
    if (models.empty() || engine->Init(nullptr, models.c_str(), tesseract::OEM_LSTM_ONLY) != 0) return false;
    engine_ = std::move(engine);
    loaded_ = models;
    return true;
}

std::optional<std::vector<std::string>> TesseractRecognizer::installedModels() {
    // Tesseract lists its models only once an engine runs. Start with every model
    // we have a tag for: that is what a request almost always asks for next.
    if (!engine_ && !load(allModels)) return std::nullopt;
    std::vector<std::string> models;
    engine_->GetAvailableLanguagesAsVector(&models);
    return models;
}

std::optional<std::vector<std::string>> TesseractRecognizer::supportedLanguages(const TextRequest&) {
    const auto models = installedModels();
    if (!models) return std::nullopt;
    std::vector<std::string> tags;
    for (const auto& language : languages) {
        if (std::find(models->begin(), models->end(), language.model) != models->end()) {
            tags.emplace_back(language.tag);
        }
    }
    return tags;
}

bool TesseractRecognizer::perform(TextRequest& request, const QImage& bitmap) {
    std::string models;
    for (const auto& tag : request.recognitionLanguages) {
        const char* model = modelFor(tag);
        if (!model) return false;
        if (models.find(model) != std::string::npos) continue;
        if (!models.empty()) models += '+';
        models += model;
    }
    if (models.empty()) {
        const auto installed = installedModels();
        if (!installed) return false;
        // osd only finds the page's orientation; it reads no text.
        const auto usable = [](const std::string& model) { return model != "osd"; };
        if (std::find(installed->begin(), installed->end(), "eng") != installed->end()) {
            models = "eng";
        } else if (const auto it = std::find_if(installed->begin(), installed->end(), usable);
                   it != installed->end()) {
            models = *it;
        } else {
            return false;
        }
    }
    if (!load(models)) return false;

    // No resolution is set: Tesseract then estimates it from the size of the text, which
    // suits photos and screenshots whose declared resolution means nothing.
    const PixPtr pix = prepareForRecognition(bitmap);
    if (!pix) return false;

    // Both levels take the same path: Tesseract's LSTM engine has one. Language
    // correction is the models' dictionary in the beam search.
    engine_->SetVariable("lstm_use_matrix", request.usesLanguageCorrection ? "1" : "0");
    // The default, a single block, mixes the lines of side-by-side columns.
    engine_->SetPageSegMode(tesseract::PSM_AUTO);
    engine_->SetImage(pix.get());
    if (engine_->Recognize(nullptr) != 0) {
        engine_->Clear();
        return false;
    }
    // Text standing sideways or upside down reads as doubtful: only then is the page turned
    // and read again, so that upright pages never pay for the orientation model.
    if (engine_->MeanTextConf() < Orienter::doubtfulReading) {
        if (const PixPtr turned = orienter_.turned(pix.get())) {
            engine_->SetImage(turned.get());
            if (engine_->Recognize(nullptr) != 0) {
                engine_->Clear();
                return false;
            }
        }
    }

    std::vector<TextObservation> observations;
    const std::unique_ptr<tesseract::ResultIterator> line(engine_->GetIterator());
    if (line && !line->Empty(tesseract::RIL_TEXTLINE)) {
        do {
            const TextPtr text(line->GetUTF8Text(tesseract::RIL_TEXTLINE));
            if (!text) continue;
            // Lines end in one or two line feeds of Tesseract's own.
            std::string string(text.get());
            while (!string.empty() && string.back() == '\n') string.pop_back();
            // Tesseract also reports blank pseudo-lines, with high confidence.
            if (isBlank(string)) continue;
            const float confidence = line->Confidence(tesseract::RIL_TEXTLINE) / 100.0f;
            observations.push_back({{{std::move(string), confidence}}});
        } while (line->Next(tesseract::RIL_TEXTLINE));
    }
    engine_->Clear();
    request.results = std::move(observations);
    return true;
}
