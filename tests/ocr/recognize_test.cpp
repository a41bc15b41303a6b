// recognize() against a recogniser that answers what each test needs.

#include "recognize.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "support.h"

namespace {

using Tags = std::vector<std::string>;

struct FakeRecognizer : TextRecognizer {
    std::optional<Tags> supported;
    bool performs = true;
    std::optional<std::vector<TextObservation>> results;
    TextRequest asked, performed;

    std::optional<Tags> supportedLanguages(const TextRequest& request) override {
        asked = request;
        return supported;
    }
    bool perform(TextRequest& request, const QImage&) override {
        performed = request;
        if (performs) request.results = results;
        return performs;
    }
};

TextObservation line(std::string string, float confidence) { return {{{std::move(string), confidence}}}; }

class Recognize : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(page({"x"}).save(dir.filePath("page.png"))); }
    std::optional<std::string> run() { return recognize(dir.filePath("page.png").toStdString(), fake); }
    QTemporaryDir dir;
    FakeRecognizer fake;
};

TEST_F(Recognize, NarrowsThePreferredLanguagesInTheirOwnOrder) {
    const std::vector<std::pair<std::optional<Tags>, Tags>> cases = {
        {Tags{"en-US", "ru-RU"}, {"ru-RU", "en-US"}},
        {Tags{"en-US"}, {"en-US"}},
        {Tags{"de-DE", "en-us", "RU-RU"}, {}},  // exact, case-sensitive equality
        {Tags{"en-US", "en-US", "ru-RU"}, {"ru-RU", "en-US"}},
        {std::nullopt, {"ru-RU", "en-US"}},  // the query failed
    };
    for (const auto& [supported, chosen] : cases) {
        fake.supported = supported;
        ASSERT_EQ(run(), "");
        EXPECT_EQ(fake.performed.recognitionLanguages, chosen);
        // Set up before the query is made.
        EXPECT_EQ(fake.asked.recognitionLevel, RecognitionLevel::Accurate);
        EXPECT_TRUE(fake.asked.usesLanguageCorrection);
    }
}

TEST_F(Recognize, KeepsTopCandidatesFromTheThresholdOnInOrder) {
    const float threshold = 0.3f;
    fake.results = {{line("first", 0.9f),
                     line("low", 0.1f),
                     line(" spaced ", 0.5f),
                     TextObservation{},
                     {{{"only the top one counts", 0.1f}, {"best", 0.9f}}},
                     line("at", threshold),
                     line("below", std::nextafter(threshold, 0.0f)),
                     line("nan", std::numeric_limits<float>::quiet_NaN()),
                     line("last", 1.0f)}};
    EXPECT_EQ(run(), "first\n spaced \nat\nlast");
}

TEST_F(Recognize, NothingKeptIsEmptyTextAndAFailedRunNoResult) {
    EXPECT_EQ(run(), "");  // no results at all
    fake.results = {{line("x", 0.0f)}};
    EXPECT_EQ(run(), "");
    fake.performs = false;
    EXPECT_EQ(run(), std::nullopt);
}

}  // namespace
