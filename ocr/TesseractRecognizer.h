#pragma once

#include <memory>
#include <string>

#include "TextRecognizer.h"
#include "orient.h"

namespace tesseract {
class TessBaseAPI;
}

// The recogniser over Tesseract's LSTM engine and Debian's models: the tag "ru-RU"
// is the rus model, "en-US" the eng model. An empty language list means the
// default model, eng when it is installed. The loaded models stay loaded for the
// next request, as loading them costs about as much as recognising a page.
class TesseractRecognizer final : public TextRecognizer {
public:
    TesseractRecognizer();
    ~TesseractRecognizer() override;
    TesseractRecognizer(const TesseractRecognizer&) = delete;
    TesseractRecognizer& operator=(const TesseractRecognizer&) = delete;

    std::optional<std::vector<std::string>> supportedLanguages(const TextRequest& request) override;
    bool perform(TextRequest& request, const QImage& bitmap) override;

private:
    bool load(const std::string& models);
    std::optional<std::vector<std::string>> installedModels();

    std::unique_ptr<tesseract::TessBaseAPI> engine_;
    std::string loaded_;  // the models engine_ was started with, such as "rus+eng"
    Orienter orienter_;
};
