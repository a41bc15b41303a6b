#pragma once

#include <QImage>
#include <algorithm>
#include <cstddef>
#include <optional>
#include <string>
#include <vector>

// The recogniser as recognize() sees it: a request that is set up, asked which
// languages it can use, then performed on one bitmap. Kept abstract so that
// tests can hand recognize() the languages and observations they need.

enum class RecognitionLevel { Accurate = 0, Fast = 1 };

struct RecognizedText {
    std::string string;    // UTF-8, exactly as recognised
    float confidence = 0;  // 0 to 1
};

// One recognised text region (here: one line of text).
struct TextObservation {
    std::vector<RecognizedText> candidates;  // best first

    std::vector<RecognizedText> topCandidates(std::size_t maxCount) const {
        const auto count = std::min(maxCount, candidates.size());
        return {candidates.begin(), candidates.begin() + static_cast<std::ptrdiff_t>(count)};
    }
};

struct TextRequest {
    RecognitionLevel recognitionLevel = RecognitionLevel::Accurate;
    bool usesLanguageCorrection = false;
    std::vector<std::string> recognitionLanguages;  // tags such as "en-US"; empty: the default
    // Filled by TextRecognizer::perform; absent until then.
    std::optional<std::vector<TextObservation>> results;
};

class TextRecognizer {
public:
    virtual ~TextRecognizer() = default;

    // The language tags usable with this request; no value when the query fails.
    virtual std::optional<std::vector<std::string>> supportedLanguages(const TextRequest& request) = 0;

    // Runs the request on the whole bitmap to completion. False when it could not
    // be performed; the request's results are then left unset.
    virtual bool perform(TextRequest& request, const QImage& bitmap) = 0;
};
