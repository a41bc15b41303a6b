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

TEST(TesseractRecognizer, SupportsItsModelsAndReadsWithTheDefaultForNone) {
    TesseractRecognizer recognizer;
    EXPECT_EQ(recognizer.supportedLanguages(TextRequest{}), (std::vector<std::string>{"ru-RU", "en-US"}));
    auto none = request({});  // Tesseract itself would accept this and crash later
    ASSERT_TRUE(recognizer.perform(none, page({"Plain words"}).convertToFormat(QImage::Format_RGB32)));
    ASSERT_EQ(none.results->size(), 1u);
    EXPECT_EQ(none.results->at(0).candidates.at(0).string, "Plain words");
    EXPECT_GT(none.results->at(0).candidates.at(0).confidence, 0.5f);
    EXPECT_LE(none.results->at(0).candidates.at(0).confidence, 1.0f);
    auto unknown = request({"de-DE"});
    EXPECT_FALSE(recognizer.perform(unknown, page({"Plain words"})));
    EXPECT_FALSE(unknown.results);
}

TEST(TesseractRecognizer, BlankOrGrainyPageGivesNoObservations) {
    TesseractRecognizer recognizer;
    QImage sheet(600, 300, QImage::Format_RGB32);
    sheet.fill(Qt::white);
    auto blank = request({"en-US"});
    ASSERT_TRUE(recognizer.perform(blank, sheet));
    EXPECT_TRUE(blank.results->empty());
    // Grain alone makes Tesseract report a line of spaces, with high confidence.
    QRandomGenerator random(7);
    for (int y = 0; y < sheet.height(); ++y) {
        for (int x = 0; x < sheet.width(); ++x)
            sheet.setPixel(x, y, qRgb(0, 0, 0) | 0x010101u * random.bounded(150, 256));
    }
    auto grain = request({"ru-RU", "en-US"});
    ASSERT_TRUE(recognizer.perform(grain, sheet));
    EXPECT_TRUE(grain.results->empty());
}

}  // namespace
