#pragma once

#include <memory>
#include <string>

#include "TextRecognizer.h"
#include "orient.h"
#include "prepare.h"

namespace tesseract {
class TessBaseAPI;
}

// The recogniser over Tesseract's LSTM engine and Debian's models: the tag "ru-RU"
// is the rus model, "en-US" the eng model. An empty language list means the
// default model, eng when it is installed. The loaded models stay loaded for the
// next request, as loading them costs about as much as recognising a page. Given a spare core,
// it reads a large page in two parts at once, with a second engine.
class TesseractRecognizer final : public TextRecognizer {
public:
    explicit TesseractRecognizer(bool spareCore = false);
    ~TesseractRecognizer() override;
    TesseractRecognizer(const TesseractRecognizer&) = delete;
    TesseractRecognizer& operator=(const TesseractRecognizer&) = delete;

    std::optional<std::vector<std::string>> supportedLanguages(const TextRequest& request) override;
    bool perform(TextRequest& request, const QImage& bitmap) override;

private:
    bool load(const std::string& models);
    std::optional<std::vector<std::string>> installedModels();
    // The page's lines, in two parts at once where it may be and is split, its side bars apart;
    // false when Tesseract failed.
    bool read(Pix* page, bool mayBeSplit, const std::vector<Region>& sideBars,
              std::vector<TextObservation>& observations, double& meanConfidence);

    std::unique_ptr<tesseract::TessBaseAPI> engine_;
    std::string loaded_;  // the models engine_ was started with, such as "rus+eng"
    Orienter orienter_;
    const bool spareCore_;
    std::unique_ptr<tesseract::TessBaseAPI> helper_;  // reads the lower part of a split page
    std::string helperLoaded_;
};
