// The program as its caller sees it: exact bytes on both streams and the status.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QProcess>
#include <QTemporaryDir>
#include <QTransform>

#include "support.h"

namespace {

struct Outcome {
    QByteArray out, err;
    int status = -1;
};

const QStringList english{"Pack my box with five", "dozen liquor jugs."};
const QStringList russian{"В чащах юга жил бы цитрус?", "Да, но фальшивый экземпляр!"};
const QStringList leftColumn{"The left column starts",   "every page of this note", "and runs down to the",
                             "bottom before the reader", "moves across the gutter", "to the other column."};
const QStringList rightColumn{"Then the right column", "follows with its own",  "lines, which must come",
                              "out only after all of", "the lines on the left", "have been written."};

class TavrinOcr : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        const auto save = [](const QImage& image, const char* name) { ASSERT_TRUE(image.save(path(name))); };
        save(page(english, "DejaVu Serif", 32), "english.png");
        save(page(russian, "DejaVu Sans Mono", 26), "russian.png");
        save(page({}), "blank.png");
        save(page(english, "DejaVu Sans", 30, true), "transparent.png");
        // Stored turned a quarter to the left; the EXIF tag says to turn it back.
        save(page(russian + english).transformed(QTransform().rotate(-90)), "photo.jpg");
        ASSERT_EQ(QProcess::execute("exiftool",
                                    {"-q", "-overwrite_original", "-n", "-Orientation=6", path("photo.jpg")}),
                  0);
        const QImage left = page(leftColumn), right = page(rightColumn);
        QImage columns(left.width() + right.width() + 120, left.height(), QImage::Format_RGB32);
        columns.fill(Qt::white);
        QPainter painter(&columns);
        painter.drawImage(0, 0, left);
        painter.drawImage(left.width() + 120, 0, right);
        painter.end();
        save(columns, "columns.png");
        QFile png(path("english.png")), cut(path("cut.png")), text(path("notes.txt"));
        ASSERT_TRUE(png.open(QIODevice::ReadOnly) && cut.open(QIODevice::WriteOnly) &&
                    text.open(QIODevice::WriteOnly));
        cut.write(png.read(png.size() * 2 / 3));
        QFile jpeg(path("photo.jpg")), cutJpeg(path("cut.jpg"));
        ASSERT_TRUE(jpeg.open(QIODevice::ReadOnly) && cutJpeg.open(QIODevice::WriteOnly));
        cutJpeg.write(jpeg.read(jpeg.size() / 2));
        text.write("Pack my box with five dozen liquor jugs.\n");
        ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        ASSERT_TRUE(QDir(dir->path()).mkdir("folder.png"));
    }
    static void TearDownTestSuite() { delete dir; }
    static QString path(const QString& name) { return dir->filePath(name); }

    static Outcome run(const QStringList& names) {
        QStringList arguments;
        for (const auto& name : names) arguments << (name.startsWith('-') ? name : path(name));
        QProcess process;
        process.start(TAVRIN_OCR, arguments);
        process.closeWriteChannel();
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.readAllStandardOutput(), process.readAllStandardError(), process.exitCode()};
    }

    // Recognised text is Tesseract's; what the contract fixes is checked exactly.
    static void expectText(const Outcome& outcome, const QStringList& lines, double bound = 0.05) {
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.err, "");
        ASSERT_TRUE(outcome.out.endsWith('\n') && !outcome.out.endsWith("\n\n")) << outcome.out.toStdString();
        EXPECT_LT(cer(QString::fromUtf8(outcome.out.chopped(1)), lines.join('\n')), bound)
            << outcome.out.toStdString();
    }

    static inline QTemporaryDir* dir = nullptr;
};

TEST_F(TavrinOcr, UsageWithoutArguments) {
    const Outcome usage = run({});
    EXPECT_EQ(usage.err, "usage: tavrin-ocr <file> [file\xE2\x80\xA6]\n");
    EXPECT_EQ(usage.err.size(), 35);
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.status, 2);
}

TEST_F(TavrinOcr, RecognisesEnglishRussianTransparentAndRotatedPhotos) {
    expectText(run({"english.png"}), english);
    expectText(run({"russian.png"}), russian);
    expectText(run({"transparent.png"}), english);
    expectText(run({"photo.jpg"}), russian + english, 0.1);
}

TEST_F(TavrinOcr, ReadsColumnsOneAfterTheOther) {
    expectText(run({"columns.png"}), leftColumn + rightColumn);
}

TEST_F(TavrinOcr, BlankImageIsOneLineFeed) {
    const Outcome blank = run({"blank.png"});
    EXPECT_EQ(blank.out, "\n");
    EXPECT_EQ(blank.err, "");
    EXPECT_EQ(blank.status, 0);
}

TEST_F(TavrinOcr, CutOffJpegGivesWhatItHoldsQuietly) {
    const Outcome cut = run({"cut.jpg"});
    EXPECT_EQ(cut.err, "");
    EXPECT_EQ(cut.status, 0);
    EXPECT_TRUE(cut.out.endsWith('\n'));
}

TEST_F(TavrinOcr, RecordsFollowTheArgumentsAndFailedFilesLeaveNoTrace) {
    const QByteArray english = run({"english.png"}).out, russian = run({"russian.png"}).out;
    const Outcome mixed = run({"english.png", "missing.png", "russian.png", "english.png", "blank.png"});
    EXPECT_EQ(mixed.out, english + russian + english + "\n");
    EXPECT_EQ(mixed.err, "");
    EXPECT_EQ(mixed.status, 0);
}

TEST_F(TavrinOcr, EveryFileFailedIsStatusThreeAndSilence) {
    const QStringList failing{"missing.png", "notes.txt", "cut.png", "fifo", "folder.png", "--help"};
    for (const auto& name : failing) {
        const Outcome alone = run({name});
        EXPECT_EQ(alone.out + alone.err, "") << name.toStdString();
        EXPECT_EQ(alone.status, 3) << name.toStdString();
    }
    const Outcome all = run(failing);
    EXPECT_EQ(all.out + all.err, "");
    EXPECT_EQ(all.status, 3);
}

TEST_F(TavrinOcr, LostOutputIsNotSuccess) {
    // Our own node of the full device, so that no system path is ever written.
    const QByteArray full = QFile::encodeName(path("full"));
    if (::mknod(full.constData(), S_IFCHR | 0600, makedev(1, 7)) != 0)
        GTEST_SKIP() << "cannot make a device node";
    QProcess process;
    process.setStandardOutputFile(path("full"));
    process.start(TAVRIN_OCR, {path("english.png")});
    ASSERT_TRUE(process.waitForFinished(60000));
    EXPECT_EQ(process.readAllStandardError(), "");
    EXPECT_EQ(process.exitCode(), 1);
}

}  // namespace
