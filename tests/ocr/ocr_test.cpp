// tavrin-ocr as its caller sees it (the bytes on both streams and the exit status), and
// recognize() against a recogniser that records the requests it is handed, and against the real one.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QPainter>
#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <cmath>
#include <leptonica/allheaders.h>

#include "TesseractRecognizer.h"
#include "cer.h"
#include "decode.h"
#include "prepare.h"
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

QImage page(const QColor& ground, const QColor& ink = Qt::black) {
    QImage image(1050, 240, QImage::Format_ARGB32);
    image.fill(ground);
    QPainter painter(&image);
    painter.setPen(ink);
    painter.setFont(QFont("DejaVu Sans", 20));
    painter.drawText(30, 30, 520, 200, 0, left);
    painter.drawText(600, 46, 450, 200, 0, right);
    return image;
}

// The sheet photographed at a slant on a dark table, in light falling off to one corner.
QImage photographed(const QImage& sheet) {
    QImage photo(1300, 560, QImage::Format_RGB32);
    photo.fill(QColor(90, 70, 50));
    QPainter painter(&photo);
    painter.setRenderHint(QPainter::SmoothPixmapTransform);
    const QRectF r(sheet.rect());
    QTransform slant;
    QTransform::quadToQuad(QPolygonF{r.topLeft(), r.topRight(), r.bottomRight(), r.bottomLeft()},
                           QPolygonF{{120, 60}, {1180, 40}, {1240, 520}, {60, 500}}, slant);
    painter.setTransform(slant);
    painter.drawImage(0, 0, sheet);
    painter.resetTransform();
    QLinearGradient light(0, 0, 1300, 560);
    light.setColorAt(0, Qt::transparent);
    light.setColorAt(1, QColor(0, 0, 0, 120));
    painter.fillRect(photo.rect(), light);
    return photo;
}

// 13-pixel UI text, one block under the other, each on its own ground; every other block to
// the right.
QImage screenshot(const QColor& ground, const std::vector<std::tuple<QColor, QColor, QString>>& blocks) {
    QImage image(760, 60 + 60 * int(blocks.size()), QImage::Format_RGB32);
    image.fill(ground);
    QPainter painter(&image);
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    painter.setFont(font);
    int y = 24, side = 0;
    for (const auto& [back, ink, text] : blocks) {
        QRect box = painter.boundingRect(QRect(0, 0, 700, 200), Qt::TextWordWrap, text);
        box.moveTo(side++ % 2 ? 740 - box.width() : 24, y);
        painter.fillRect(box.adjusted(-10, -8, 10, 8), back);
        painter.setPen(ink);
        painter.drawText(box, Qt::TextWordWrap, text);
        y = box.bottom() + 30;
    }
    return image;
}

// Code with its keywords in a colour of their own, the rest of each line a space after them.
const std::pair<QString, QString> program[] = {
    {"def", "parse_header(rows, count):"}, {"", "return rows[:count]"}, {"def", "write_report(name, parts):"},
    {"", "total = sum(parts)"}, {"", "return essentially.requires_name()"}, {"def", "open_store(path):"},
    {"", "return store(path)"}, {"", "return while_name.indicates()"}, {"def", "main(argv):"},
    {"", "return run(argv)"}, {"", "return keepings.postss()"}};

QImage code(const QColor& ground, const QColor& ink, int pixels) {
    QImage image(640, 40 + 24 * int(std::size(program)), QImage::Format_RGB32);
    image.fill(ground);
    QPainter painter(&image);
    QFont font("DejaVu Sans Mono");
    font.setPixelSize(pixels);
    painter.setFont(font);
    int y = 24;
    for (const auto& [keyword, rest] : program) {
        painter.setPen(QColor(180, 142, 173));
        painter.drawText(12, y, keyword);
        painter.setPen(ink);
        painter.drawText(44, y, rest);
        y += 24;
    }
    return image;
}

// A window with a dark side bar whose entries stand at a spacing unlike the lines beside them.
const QString entries[] = {"Inbox", "Drafts", "Sent mail", "Archive"};
QImage sidebar(const QString& body, int first) {
    QImage image(760, 260, QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    painter.fillRect(0, 0, 160, 260, QColor(32, 33, 36));
    QFont font("DejaVu Sans");
    font.setPixelSize(13);
    painter.setFont(font);
    painter.setPen(QColor(230, 230, 230));
    for (int i = 0; i < 4; ++i) painter.drawText(14, first + 38 * i, entries[i]);
    painter.setPen(Qt::black);
    painter.drawText(QRect(200, 20, 540, 230), Qt::TextWordWrap, body);
    return image;
}

const QString chat[] = {"Встреча перенесена на четверг, в десять утра, в большой переговорной.",
                        "Our meeting moved to Thursday at ten, in the large meeting room upstairs.",
                        "Возьмите с собой отчёт за квартал и подписанный договор.",
                        "Bring the quarterly figures and the signed contract, please."};

class TavrinOcr : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(page(Qt::transparent).save(path("text.png")));  // black on black unless put on white
        ASSERT_TRUE(page(Qt::transparent, Qt::white).save(path("light.png")));  // and white on white unless on black
        ASSERT_TRUE(photographed(page(Qt::white)).save(path("slant.jpg"), "JPEG", 80));
        const QColor dark(30, 30, 30), grey(212, 212, 212);
        // Short replies on the left, none beside another: read from the top down, not side by side.
        ASSERT_TRUE(screenshot(dark, {{dark, grey, chat[0]}, {dark, grey, "Да."}, {dark, grey, chat[1]},
                                      {dark, grey, "OK."}, {dark, grey, chat[2]}})
                        .save(path("dark.png")));
        // A dark theme with no light part anywhere, lines running the whole width.
        ASSERT_EQ(QProcess::execute("convert", {"-size", "900x120", "xc:#2b303b", "-font", "Liberation-Mono", "-pointsize",
                                                "14", "-fill", "#c0c5ce", "-annotate", "+12+24",
                                                chat[1] + '\n' + chat[0] + '\n' + chat[3], path("slate.png")}),
                  0);
        // White letters outlined in black over a picture, as on a meme.
        ASSERT_EQ(QProcess::execute("convert", {"-seed", "5", "-size", "1300x300", "plasma:fractal", "-blur", "0x4", "-font",
                                                "DejaVu-Sans-Bold", "-pointsize", "30", "-fill", "white", "-stroke", "black",
                                                "-strokewidth", "2", "-annotate", "+20+100", chat[3] + '\n' + chat[2], path("meme.png")}),
                  0);
        ASSERT_TRUE(code(QColor(43, 48, 59), QColor(192, 197, 206), 14).save(path("code.png")));
        ASSERT_TRUE(code(QColor(253, 246, 227), QColor(101, 123, 131), 12).save(path("light-code.png")));
        // Entries between the body's lines, and level with them.
        ASSERT_TRUE(sidebar(chat[1] + ' ' + chat[3] + ' ' + chat[1], 44).save(path("sidebar.png")));
        ASSERT_TRUE(sidebar(chat[1] + ' ' + chat[3] + ' ' + chat[1], 40).save(path("level.png")));
        ASSERT_TRUE(screenshot(Qt::white, {{QColor(31, 42, 68), Qt::white, chat[0]},
                                           {QColor(37, 99, 235), Qt::white, chat[1]},
                                           {Qt::white, Qt::black, chat[2]},
                                           {QColor(22, 163, 74), Qt::white, chat[3]}})
                        .save(path("bars.png")));
        // A heading in large letters, whose strokes are flat too, over a rounded dark card: no page.
        QImage poster(1400, 700, QImage::Format_RGB32);
        poster.fill(Qt::white);
        QPainter ink(&poster);
        ink.setFont(QFont("DejaVu Sans", 80));
        ink.drawText(60, 150, "Итоги года");
        ink.setBrush(QColor(30, 41, 59));
        ink.drawRoundedRect(60, 250, 1280, 300, 20, 20);
        ink.setFont(QFont("DejaVu Sans", 16));
        ink.setPen(Qt::white);
        ink.drawText(QRect(100, 290, 1200, 200), Qt::TextWordWrap, chat[1] + ' ' + chat[3]);
        ink.setPen(Qt::black);
        ink.drawText(60, 620, chat[0]);
        ASSERT_TRUE(ink.end() && poster.save(path("poster.png")));
        // Stored turned a quarter to the left; its EXIF tag says to turn it back.
        ASSERT_TRUE(page(Qt::white).transformed(QTransform().rotate(-90)).save(path("photo.jpg")));
        ASSERT_EQ(QProcess::execute("exiftool", {"-q", "-Orientation#=6", path("photo.jpg")}), 0);
        ASSERT_TRUE(page(Qt::white).transformed(QTransform().rotate(180)).save(path("upside.png")));  // no tag
        ASSERT_TRUE(page(Qt::white).transformed(QTransform().rotate(-100)).save(path("held.png")));
        QImage grain(600, 200, QImage::Format_Grayscale8);  // Tesseract reads a line of spaces in it
        QRandomGenerator random(7);
        std::generate_n(grain.bits(), grain.sizeInBytes(), [&] { return uchar(random.bounded(150, 256)); });
        ASSERT_TRUE(grain.save(path("grain.png")));
        ASSERT_TRUE(QFile::copy(path("text.png"), path("cut.png")) && QFile::resize(path("cut.png"), 999));
        ASSERT_TRUE(QFile(path("zero.png")).open(QIODevice::WriteOnly));
        // Its header claims 1 x 3,000,000 pixels, more than libpng allows a side.
        QFile header(path("header.png"));
        ASSERT_TRUE(header.open(QIODevice::WriteOnly) &&
                    header.write(QByteArray::fromHex("89504e470d0a1a0a0000000d4948445200000001002dc6c008000000002d"
                                                     "748b720000000049454e44ae426082")) == 45);
        // The page in each format Qt cannot read here, whole and cut off.
        ASSERT_TRUE(page(Qt::white).save(path("white.png")));
        ASSERT_EQ(QProcess::execute("heif-enc", {"-q", "90", path("white.png"), "-o", path("text.heic")}), 0);
        ASSERT_EQ(QProcess::execute("heif-enc", {"-A", "-q", "90", path("white.png"), "-o", path("text.avif")}), 0);
        ASSERT_EQ(QProcess::execute("mutool", {"convert", "-o", path("text.pdf"), path("white.png")}), 0);
        ASSERT_EQ(QProcess::execute("opj_compress", {"-i", path("white.png"), "-o", path("text.jp2")}), 0);
        for (const char* name : {"text.heic", "text.avif", "text.pdf", "text.jp2"})
            ASSERT_TRUE(QFile::copy(path(name), path(QString("cut.") + name)) && QFile::resize(path(QString("cut.") + name), 300));
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

// The words are Tesseract's and checked loosely, with white space collapsed; the framing is the contract.
TEST_F(TavrinOcr, OneRecordPerReadableFileInArgumentOrder) {
    const QString columns = left + '\n' + right;
    QString listing;
    for (const auto& [keyword, rest] : program) listing += keyword + ' ' + rest + ' ';
    const QString sideBar = QStringList(std::begin(entries), std::end(entries)).join(' ') + ' ' + chat[1] + ' ' + chat[3] + ' ' + chat[1];
    const std::vector<std::tuple<QString, QString, double>> cases = {
        {"text.png", columns, 0.05},   // transparent ground, two columns
        {"photo.jpg", columns, 0.05},  // turned by its EXIF orientation
        {"light.png", columns, 0.05},
        {"upside.png", columns, 0.05},  // turned by what its text looks like
        {"held.png", columns, 0.05},    // sideways and 10 degrees off: levelled, then turned
        {"text.heic", columns, 0.05},  {"text.avif", columns, 0.05}, {"text.pdf", columns, 0.05},
        {"text.jp2", columns, 0.05},
        {"slant.jpg", columns, 0.05},
        {"dark.png", chat[0] + " Да. " + chat[1] + " OK. " + chat[2], 0.05},
        {"slate.png", chat[1] + ' ' + chat[0] + ' ' + chat[3], 0.05},
        {"bars.png", chat[0] + ' ' + chat[1] + ' ' + chat[2] + ' ' + chat[3], 0.05},
        {"code.png", listing, 0.01},  // its keywords taken for a column of their own, underscores for spaces
        {"light-code.png", listing, 0.01},  // a line with a space read after a full stop, doubted and dropped
        {"sidebar.png", sideBar, 0.05}, {"level.png", sideBar, 0.05},
        {"poster.png", "Итоги года " + chat[1] + ' ' + chat[3] + ' ' + chat[0], 0.05},
        {"meme.png", chat[3] + ' ' + chat[2], 0.05},
    };
    std::vector<QByteArray> outputs;
    for (const auto& [name, truth, bound] : cases) {
        const auto [out, err, status] = run({name});
        // The text and one line feed, nothing on standard error, status 0.
        EXPECT_EQ(Outcome(out, err, status), Outcome(out.trimmed() + '\n', "", 0)) << name.toStdString();
        EXPECT_LT(cer(QString::fromUtf8(out).simplified(), truth.simplified()), bound) << out.toStdString();
        outputs.push_back(out);
    }
    const QByteArray text = outputs[0], photo = outputs[1];
    // A file that fails leaves no trace; an image without text is an empty record. The files
    // after the tall page are read on the other cores before it is done. Read alone, it has a
    // core to spare and is read in two parts at once, with the same result.
    QImage tall(1600, 360 * 8, QImage::Format_RGB32);  // large enough, text not enlarged
    tall.fill(Qt::white);
    QPainter painter(&tall);
    QFont font("DejaVu Sans");
    font.setPixelSize(34);
    painter.setFont(font);
    for (int i = 0; i < 8; ++i) painter.drawText(40, 40 + 360 * i, 1500, 300, 0, i % 2 ? left : right);
    ASSERT_TRUE(painter.end() && tall.save(path("tall.png")));
    const QByteArray alone = std::get<0>(run({"tall.png"}));
    EXPECT_EQ(run({"tall.png", "missing.png", "grain.png", "text.png", "photo.jpg"}),
              Outcome(alone + "\n" + text + photo, "", 0));
}

// Usage without a file; silence and status 3 when no file is read. HUGE_GIF, found by the
// image fuzzer, claims a 40705 x 6402 canvas; libpng reports header.png's header on standard
// error unless silenced; a FIFO must not block the run.
TEST_F(TavrinOcr, NoRecordWithoutAReadableFile) {
    EXPECT_EQ(run({}), Outcome("", "usage: tavrin-ocr <file> [file\xE2\x80\xA6]\n", 2));
    for (const char* name : {"missing.png", "zero.png", "cut.png", "header.png", HUGE_GIF, "fifo", "dir.png", "--help",
                             "cut.text.heic", "cut.text.avif", "cut.text.pdf", "cut.text.jp2"})
        EXPECT_EQ(run({name}), Outcome("", "", 3)) << name;
    EXPECT_EQ(run({"missing.png", "zero.png"}), Outcome("", "", 3));
}

TEST_F(TavrinOcr, LostOutputIsStatusOne) {
    // Our own node of the full device, so that no system path is ever written.
    if (::mknod(qPrintable(path("full")), S_IFCHR | 0600, makedev(1, 7)) != 0) GTEST_SKIP();
    EXPECT_EQ(run({"text.png", "photo.jpg"}, path("full")), Outcome("", "", 1));
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

// The row-by-row reader of huge PNGs makes the grey the usual path makes, transparent ground,
// palette and grey PNGs included; a cut-off file gives nothing.
TEST_F(Recognize, HugeImagesReadAsTheUsualPathReadsThem) {
    ASSERT_TRUE(page(Qt::white).convertToFormat(QImage::Format_Indexed8).save(path("palette.png")));
    for (const char* name : {"text.png", "palette.png", "grain.png", "cut.png"}) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QImage grey = decodeHugePng(file, 32767, 1LL << 30);
        const QImage usual = bitmapOf(loadImage(path(name).toStdString()));
        ASSERT_EQ(grey.size(), usual.size()) << name;
        int differ = 0;
        for (int y = 0; y < grey.height(); ++y)
            for (int x = 0; x < grey.width(); ++x) differ += qGray(grey.pixel(x, y)) != qGray(usual.pixel(x, y));
        EXPECT_EQ(differ, 0) << name;
    }
    // A large JPEG's luminance, turned by its EXIF tag: the grey of the usual path, give or take
    // the weights of the colours.
    QFile photo(path("photo.jpg"));
    ASSERT_TRUE(photo.open(QIODevice::ReadOnly));
    const QImage grey = decodeLargeJpeg(photo.readAll(), QImageIOHandler::TransformationRotate90, 32767, 1LL << 30);
    const QImage usual = bitmapOf(loadImage(path("photo.jpg").toStdString()));
    ASSERT_EQ(grey.size(), usual.size());
    double off = 0;
    for (int y = 0; y < grey.height(); ++y)
        for (int x = 0; x < grey.width(); ++x) off += std::abs(qGray(grey.pixel(x, y)) - qGray(usual.pixel(x, y)));
    EXPECT_LT(off / grey.width() / grey.height(), 2);
}

// A violet stroke on green, both of one grey in luminance, stands apart in the grey made for recognition.
TEST(Grey, KeepsTextOfTheGroundsLuminance) {
    QImage image(400, 60, QImage::Format_RGB32);
    image.fill(QColor(80, 165, 21));
    for (int x = 10; x < 200; ++x) image.setPixel(x, 30, qRgb(148, 64, 246));
    const PixPtr grey = greyOf(image);
    l_int32 darkest = 0, lightest = 0;
    ASSERT_TRUE(grey && pixGetRangeValues(grey.get(), 1, L_SELECT_MIN, &darkest, &lightest) == 0);
    EXPECT_GT(lightest - darkest, 100);
}

// The real recogniser, and what it reported before recognize() filtered it.
struct Recording : TextRecognizer {
    TesseractRecognizer real;
    std::vector<RecognizedText> lines;

    std::optional<Tags> supportedLanguages(const TextRequest& request) override {
        return real.supportedLanguages(request);
    }
    bool perform(TextRequest& request, const QImage& bitmap) override {
        const bool done = real.perform(request, bitmap);
        for (const auto& observation : request.results.value_or(std::vector<TextObservation>{}))
            lines.push_back(observation.candidates.at(0));
        return done;
    }
};

// Two lines of text over rows of marks, which Tesseract reads as text it is not sure of.
// Confidences from 0 to 100 instead of 0 to 1 would let the filter keep those readings.
TEST_F(Recognize, TesseractConfidencesRunFromZeroToOneAndTheFilterDropsTheNoise) {
    const QString words = "Pack my box with five dozen liquor jugs.\nСъешь же ещё этих мягких французских булок.";
    QImage marks(700, 300, QImage::Format_RGB32);
    marks.fill(Qt::white);
    QPainter painter(&marks);
    painter.setFont(QFont("DejaVu Sans", 16));
    painter.drawText(QRect(20, 20, 680, 80), 0, words);
    painter.setFont(QFont("DejaVu Sans", 14));
    QRandomGenerator random(1);
    for (int row = 0; row < 3; ++row) {
        QString noise;
        for (int i = 0; i < 40; ++i) noise += QChar(random.bounded(0x2500, 0x25A0));  // box drawing and blocks
        painter.drawText(20, 140 + 50 * row, noise);
    }
    painter.end();
    ASSERT_TRUE(marks.save(path("marks.png")));

    Recording recording;
    const auto text = recognize(path("marks.png").toStdString(), recording);
    ASSERT_TRUE(text);
    QStringList kept;
    int dropped = 0;
    for (const auto& [string, confidence] : recording.lines) {
        EXPECT_TRUE(confidence >= 0 && confidence <= 1) << confidence;
        if (confidence >= minConfidence) kept << QString::fromStdString(string);
        else ++dropped;
    }
    EXPECT_GT(dropped, 0);
    EXPECT_EQ(QString::fromStdString(*text), kept.join('\n'));
    EXPECT_LT(cer(QString::fromStdString(*text).simplified(), words.simplified()), 0.05) << *text;
}

}  // namespace
