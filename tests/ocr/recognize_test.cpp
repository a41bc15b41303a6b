// recognize() against a recogniser that answers what each test needs.

#include "recognize.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <QProcess>
#include <QTemporaryDir>
#include <cmath>
#include <limits>

#include "support.h"

namespace {

using Tags = std::vector<std::string>;

struct FakeRecognizer : TextRecognizer {
    std::optional<Tags> supported = Tags{"ru-RU", "en-US"};
    bool performs = true;
    std::optional<std::vector<TextObservation>> results = std::vector<TextObservation>{};
    int calls = 0;
    TextRequest asked, performed;
    QImage bitmap;

    std::optional<Tags> supportedLanguages(const TextRequest& request) override {
        ++calls;
        asked = request;
        return supported;
    }
    bool perform(TextRequest& request, const QImage& image) override {
        ++calls;
        performed = request;
        bitmap = image;
        if (performs) request.results = results;
        return performs;
    }
};

TextObservation line(std::string string, float confidence) { return {{{std::move(string), confidence}}}; }

class Recognize : public testing::Test {
protected:
    void SetUp() override { ASSERT_TRUE(page({"x"}).save(image)); }
    QTemporaryDir dir;
    QString image = dir.filePath("page.png");
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
        ASSERT_EQ(recognize(image.toStdString(), fake), "");
        EXPECT_EQ(fake.performed.recognitionLanguages, chosen);
        // Set up before the query, and so on the request that is performed.
        EXPECT_EQ(fake.asked.recognitionLevel, RecognitionLevel::Accurate);
        EXPECT_TRUE(fake.asked.usesLanguageCorrection);
        EXPECT_TRUE(fake.performed.usesLanguageCorrection);
    }
}

TEST_F(Recognize, KeepsTopCandidatesFromThresholdOnInOrder) {
    const float threshold = 0.3f;
    fake.results = {{line("first", 0.9f),
                     line("low", 0.1f),
                     line(" spaced ", 0.5f),
                     TextObservation{},
                     {{{"second best is never tried", 0.1f}, {"best", 0.9f}}},
                     line("at", threshold),
                     line("below", std::nextafter(threshold, 0.0f)),
                     line("nan", std::numeric_limits<float>::quiet_NaN()),
                     line("last", 1.0f)}};
    EXPECT_EQ(recognize(image.toStdString(), fake), "first\n spaced \nat\nlast");
}

TEST_F(Recognize, EmptyTextIsAResultAndAFailedRunIsNot) {
    fake.results = std::nullopt;
    EXPECT_EQ(recognize(image.toStdString(), fake), "");
    fake.results = {{line("x", 0.0f)}};
    EXPECT_EQ(recognize(image.toStdString(), fake), "");
    fake.performs = false;
    EXPECT_EQ(recognize(image.toStdString(), fake), std::nullopt);
}

TEST_F(Recognize, FilesThatHoldNoImageNeverReachTheRecogniser) {
    QFile text(dir.filePath("notes.txt")), cut(dir.filePath("cut.png")), source(image);
    ASSERT_TRUE(text.open(QIODevice::WriteOnly) && text.write("plain text\n") > 0);
    ASSERT_TRUE(source.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly));
    cut.write(source.read(source.size() / 2));
    text.close();
    cut.close();
    ASSERT_EQ(::mkfifo(dir.filePath("fifo").toLocal8Bit(), 0600), 0);
    ASSERT_TRUE(QFile(dir.filePath("empty.png")).open(QIODevice::WriteOnly));
    for (const char* name : {"missing.png", "notes.txt", "cut.png", "fifo", "empty.png", ""}) {
        EXPECT_EQ(recognize(dir.filePath(name).toStdString(), fake), std::nullopt) << name;
    }
    EXPECT_EQ(fake.calls, 0);
}

TEST_F(Recognize, HandsOverTransparencyOnWhiteAndPhotosTheRightWayUp) {
    QImage clear(40, 20, QImage::Format_ARGB32);
    clear.fill(Qt::transparent);
    ASSERT_TRUE(clear.save(image));
    ASSERT_TRUE(recognize(image.toStdString(), fake));
    EXPECT_EQ(fake.bitmap.format(), QImage::Format_RGB32);
    EXPECT_EQ(fake.bitmap.pixel(5, 5), qRgb(255, 255, 255));

    // Stored 200 × 100 with its left half black, tagged "rotate 90 clockwise".
    QImage stored(200, 100, QImage::Format_RGB32);
    stored.fill(Qt::white);
    QPainter(&stored).fillRect(0, 0, 100, 100, Qt::black);
    const QString photo = dir.filePath("photo.jpg");
    ASSERT_TRUE(stored.save(photo));
    ASSERT_EQ(QProcess::execute("exiftool", {"-q", "-overwrite_original", "-n", "-Orientation=6", photo}), 0);
    ASSERT_TRUE(recognize(photo.toStdString(), fake));
    ASSERT_EQ(fake.bitmap.size(), QSize(100, 200));
    EXPECT_LT(qGray(fake.bitmap.pixel(50, 20)), 40);
    EXPECT_GT(qGray(fake.bitmap.pixel(50, 180)), 215);
}

}  // namespace
