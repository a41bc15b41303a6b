// The recogniser layer over the real Tesseract and Debian's models.

#include "TesseractRecognizer.h"

#include <gtest/gtest.h>

#include <QRandomGenerator>

#include "support.h"

namespace {

TextRequest request(std::vector<std::string> languages) {
    TextRequest request;
    request.usesLanguageCorrection = true;
    request.recognitionLanguages = std::move(languages);
    return request;
}

QString text(const TextRequest& request) {
    QStringList lines;
    for (const auto& observation : *request.results) {
        lines << QString::fromStdString(observation.candidates.at(0).string);
    }
    return lines.join('\n');
}

TEST(TesseractRecognizer, SupportsTheInstalledModels) {
    TesseractRecognizer recognizer;
    const auto supported = recognizer.supportedLanguages(TextRequest{});
    ASSERT_TRUE(supported);
    EXPECT_EQ(*supported, (std::vector<std::string>{"ru-RU", "en-US"}));
}

TEST(TesseractRecognizer, ReportsEachLineOnceWithoutItsLineFeeds) {
    TesseractRecognizer recognizer;
    const QStringList english{"The quick brown fox jumps", "over the lazy dog."};
    const QStringList russian{"Съешь же ещё этих мягких", "французских булок."};
    // Switching models between requests, and the default model for an empty list.
    const std::vector<std::pair<std::vector<std::string>, QStringList>> cases = {
        {{"en-US"}, english}, {{"ru-RU", "en-US"}, russian}, {{}, english}, {{"ru-RU"}, russian}};
    for (const auto& [languages, lines] : cases) {
        auto asked = request(languages);
        ASSERT_TRUE(recognizer.perform(asked, page(lines).convertToFormat(QImage::Format_RGB32)));
        ASSERT_EQ(asked.results->size(), 2u);
        for (const auto& observation : *asked.results) {
            ASSERT_EQ(observation.candidates.size(), 1u);
            EXPECT_GT(observation.candidates[0].confidence, 0.5f);
            EXPECT_LE(observation.candidates[0].confidence, 1.0f);
        }
        EXPECT_LT(cer(text(asked), lines.join('\n')), 0.05) << text(asked).toStdString();
    }
}

TEST(TesseractRecognizer, BlankPageGivesNoObservationsAndUnknownTagsFail) {
    TesseractRecognizer recognizer;
    QImage blank(600, 400, QImage::Format_RGB32);
    blank.fill(Qt::white);
    auto asked = request({"en-US"});
    ASSERT_TRUE(recognizer.perform(asked, blank));
    EXPECT_TRUE(asked.results->empty());
    // Grain alone makes Tesseract report a line of spaces, with high confidence.
    QRandomGenerator random(7);
    for (int y = 0; y < blank.height(); ++y) {
        for (int x = 0; x < blank.width(); ++x) {
            const int grey = random.bounded(150, 256);
            blank.setPixel(x, y, qRgb(grey, grey, grey));
        }
    }
    auto grain = request({"ru-RU", "en-US"});
    ASSERT_TRUE(recognizer.perform(grain, blank));
    EXPECT_TRUE(grain.results->empty());
    auto unknown = request({"de-DE"});
    EXPECT_FALSE(recognizer.perform(unknown, blank));
    EXPECT_FALSE(unknown.results);
}

}  // namespace
