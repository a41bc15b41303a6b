// tavrin-ocr as its caller sees it (the bytes on both streams and the exit status), and
// recognize() against a recogniser that records the requests it is handed.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QBuffer>
#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtEndian>
#include <cmath>

#include "cer.h"
#include "recognize.h"

void PrintTo(const QByteArray& bytes, std::ostream* os) { *os << '"' << bytes.toStdString() << '"'; }

namespace {

using Outcome = std::tuple<QByteArray, QByteArray, int>;  // standard output, standard error, exit status
using Tags = std::vector<std::string>;

// Russian and English in two columns, the right one half a line lower (level lines read as
// table rows): read across, line by line, they would mix.
const QString left =
    "В чащах юга жил бы цитрус?\nДа, но фальшивый экземпляр!\nPack my box with five\ndozen liquor jugs.";
const QString right =
    "Съешь же ещё этих мягких\nфранцузских булок, да\nThe quick brown fox jumps\nover the lazy dog.";

QImage page(const QColor& ground) {
    QImage image(1050, 240, QImage::Format_ARGB32);
    image.fill(ground);
    QPainter painter(&image);
    painter.setFont(QFont("DejaVu Sans", 20));
    painter.drawText(30, 30, 520, 200, 0, left);
    painter.drawText(600, 46, 450, 200, 0, right);
    return image;
}

// A PNG whose header claims 1 x 3,000,000 pixels, more than libpng allows a side.
QByteArray invalidHeaderPng() {
    QByteArray png;
    QBuffer buffer(&png);
    buffer.open(QIODevice::WriteOnly);
    QImage(1, 1, QImage::Format_Grayscale8).save(&buffer, "PNG");
    qToBigEndian<quint32>(3000000, png.data() + 20);  // the height in IHDR
    quint32 crc = 0xFFFFFFFF;                         // CRC-32 of the chunk's type and data
    for (const char byte : png.mid(12, 17)) {
        crc ^= uchar(byte);
        for (int bit = 0; bit < 8; ++bit) crc = (crc >> 1) ^ (0xEDB88320 & (0 - (crc & 1)));
    }
    qToBigEndian<quint32>(~crc, png.data() + 29);
    return png;
}

class TavrinOcr : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(page(Qt::transparent).save(path("text.png")));  // black on black unless put on white
        // Stored turned a quarter to the left; its EXIF tag says to turn it back.
        ASSERT_TRUE(page(Qt::white).transformed(QTransform().rotate(-90)).save(path("photo.jpg")));
        ASSERT_EQ(QProcess::execute("exiftool", {"-q", "-Orientation#=6", path("photo.jpg")}), 0);
        QImage grain(600, 200, QImage::Format_Grayscale8);  // Tesseract reads a line of spaces in it
        QRandomGenerator random(7);
        std::generate_n(grain.bits(), grain.sizeInBytes(), [&] { return uchar(random.bounded(150, 256)); });
        ASSERT_TRUE(grain.save(path("grain.png")));
        ASSERT_TRUE(QFile::copy(path("text.png"), path("cut.png")) && QFile::resize(path("cut.png"), 999));
        ASSERT_TRUE(QFile(path("zero.png")).open(QIODevice::WriteOnly));
        QFile header(path("header.png"));
        ASSERT_TRUE(header.open(QIODevice::WriteOnly) && header.write(invalidHeaderPng()) > 0);
        ASSERT_EQ(::mkfifo(qPrintable(path("fifo")), 0600), 0);
        ASSERT_EQ(::mkdir(qPrintable(path("dir.png")), 0700), 0);
    }
    QString path(const QString& name) const { return dir.filePath(name); }
    // A crash, or no exit within a minute, is status -1.
    Outcome run(const QStringList& names, const QString& output = {}) const {
        QProcess ocr;
        ocr.setWorkingDirectory(dir.path());
        if (!output.isEmpty()) ocr.setStandardOutputFile(output);
        ocr.start(TAVRIN_OCR, names);
        const bool exited = ocr.waitForFinished(60000) && ocr.exitStatus() == QProcess::NormalExit;
        return {ocr.readAllStandardOutput(), ocr.readAllStandardError(), exited ? ocr.exitCode() : -1};
    }
    QTemporaryDir dir;
};
using Recognize = TavrinOcr;

// The words are Tesseract's and checked loosely; the framing is the contract.
TEST_F(TavrinOcr, OneRecordPerReadableFileInArgumentOrder) {
    const Outcome text = run({"text.png"}), photo = run({"photo.jpg"});
    for (const auto& [out, err, status] : {text, photo}) {
        // The text and one line feed, nothing on standard error, status 0.
        EXPECT_EQ(Outcome(out, err, status), Outcome(out.trimmed() + '\n', "", 0));
        EXPECT_LT(cer(QString::fromUtf8(out.trimmed()), left + '\n' + right), 0.05) << out.toStdString();
    }
    // A file that fails leaves no trace; an image without text is an empty record.
    EXPECT_EQ(run({"text.png", "missing.png", "grain.png", "photo.jpg"}),
              Outcome(std::get<0>(text) + "\n" + std::get<0>(photo), "", 0));
}

// Usage without a file; silence and status 3 when no file is read. HUGE_GIF, found by the
// image fuzzer, claims a 40705 x 6402 canvas; libpng reports header.png's header on standard
// error unless silenced; a FIFO must not block the run.
TEST_F(TavrinOcr, NoRecordWithoutAReadableFile) {
    EXPECT_EQ(run({}), Outcome("", "usage: tavrin-ocr <file> [file\xE2\x80\xA6]\n", 2));
    for (const char* name : {"missing.png", "zero.png", "cut.png", "header.png", HUGE_GIF, "fifo", "dir.png", "--help"})
        EXPECT_EQ(run({name}), Outcome("", "", 3)) << name;
    EXPECT_EQ(run({"missing.png", "zero.png"}), Outcome("", "", 3));
}

TEST_F(TavrinOcr, LostOutputIsStatusOne) {
    // Our own node of the full device, so that no system path is ever written.
    if (::mknod(qPrintable(path("full")), S_IFCHR | 0600, makedev(1, 7)) != 0) GTEST_SKIP();
    EXPECT_EQ(run({"text.png"}, path("full")), Outcome("", "", 1));
}

struct FakeRecognizer : TextRecognizer {
    std::optional<Tags> supported;
    std::optional<std::vector<TextObservation>> results{std::in_place};  // none: perform fails
    std::vector<TextRequest> requests;                                   // as each call saw it, in order

    std::optional<Tags> supportedLanguages(const TextRequest& request) override {
        requests.push_back(request);
        return supported;
    }
    bool perform(TextRequest& request, const QImage&) override {
        requests.push_back(request);
        request.results = results;
        return results.has_value();
    }
};

// The request is set up, asked what it supports, narrowed to our languages in our order, then performed.
TEST_F(Recognize, SetsUpAsksNarrowsThenPerforms) {
    const std::vector<std::pair<std::optional<Tags>, Tags>> cases = {
        {Tags{"en-US", "de-DE", "en-US", "ru-RU"}, {"ru-RU", "en-US"}},
        {Tags{"en-US", "en-us", "RU-RU"}, {"en-US"}},  // exact, case-sensitive equality
        {std::nullopt, {"ru-RU", "en-US"}},            // the query failed
    };
    for (const auto& [supported, chosen] : cases) {
        FakeRecognizer fake;
        fake.supported = supported;
        ASSERT_EQ(recognize(path("text.png").toStdString(), fake), "");
        ASSERT_EQ(fake.requests.size(), 2u);
        EXPECT_EQ(fake.requests[0].recognitionLevel, RecognitionLevel::Accurate);
        EXPECT_TRUE(fake.requests[0].usesLanguageCorrection && fake.requests[0].recognitionLanguages.empty());
        EXPECT_EQ(fake.requests[1].recognitionLanguages, chosen);
    }
}

TEST_F(Recognize, KeepsTheTopCandidateOfEachConfidentLineOrFails) {
    FakeRecognizer fake;
    fake.results = {{{{{"low", std::nextafter(0.3f, 0.0f)}}},
                     {{{"first", 0.9f}}},
                     {},
                     {{{"at the threshold", 0.3f}, {"second best", 1.0f}}},
                     {{{"nan", std::nanf("")}}}}};
    EXPECT_EQ(recognize(path("text.png").toStdString(), fake), "first\nat the threshold");
    fake.results.reset();
    EXPECT_EQ(recognize(path("text.png").toStdString(), fake), std::nullopt);
}

}  // namespace
