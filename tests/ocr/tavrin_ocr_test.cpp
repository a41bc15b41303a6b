// The program as its caller sees it: the bytes on both streams and the status.

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <zlib.h>

#include <QDir>
#include <QtEndian>
#include <QProcess>
#include <QTemporaryDir>

#include "support.h"

namespace {

struct Outcome {
    QByteArray out, err;
    int status = -1;
};

const QStringList english{"Pack my box with five", "dozen liquor jugs."};
const QStringList russian{"В чащах юга жил бы цитрус?", "Да, но фальшивый экземпляр!"};
const QStringList left{"The left column starts",   "every page of this note", "and runs down to the",
                       "bottom before the reader", "moves across the gutter", "to the other column."};
const QStringList right{"Then the right column", "follows with its own",  "lines, which must come",
                        "out only after all of", "the lines on the left", "have been written."};

class TavrinOcr : public testing::Test {
protected:
    static void SetUpTestSuite() {
        dir = new QTemporaryDir;
        ASSERT_TRUE(page(english, "DejaVu Serif", 32).save(path("english.png")));
        ASSERT_TRUE(page(russian, "DejaVu Sans Mono", 26).save(path("russian.png")));
        ASSERT_TRUE(page({}).save(path("blank.png")));
        ASSERT_TRUE(page(english, "DejaVu Sans", 30, Qt::transparent).save(path("transparent.png")));
        // Stored turned a quarter to the left; its EXIF tag says to turn it back.
        ASSERT_TRUE(page(russian + english).transformed(QTransform().rotate(-90)).save(path("photo.jpg")));
        ASSERT_EQ(QProcess::execute("exiftool",
                                    {"-q", "-overwrite_original", "-n", "-Orientation=6", path("photo.jpg")}),
                  0);
        const QImage first = page(left), second = page(right);
        QImage columns(first.width() + 120 + second.width(), first.height(), QImage::Format_RGB32);
        columns.fill(Qt::white);
        QPainter painter(&columns);
        painter.drawImage(0, 0, first);
        painter.drawImage(first.width() + 120, 0, second);
        painter.end();
        ASSERT_TRUE(columns.save(path("columns.png")));
        write("cut.png", read("english.png").chopped(read("english.png").size() / 2));
        write("cut.jpg", read("photo.jpg").chopped(read("photo.jpg").size() / 2));
        write("notes.txt", english.join('\n').toUtf8());
        ASSERT_EQ(::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600), 0);
        ASSERT_TRUE(QDir(dir->path()).mkdir("folder.png"));
    }
    static void TearDownTestSuite() { delete dir; }

    static QString path(const QString& name) { return name.startsWith('-') ? name : dir->filePath(name); }
    static QByteArray read(const QString& name) {
        QFile file(path(name));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
    static void write(const QString& name, const QByteArray& bytes) {
        QFile file(path(name));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
    }

    static Outcome run(const QStringList& names, const QString& output = {}) {
        QStringList arguments;
        for (const auto& name : names) arguments << path(name);
        QProcess process;
        if (!output.isEmpty()) process.setStandardOutputFile(output);
        process.start(TAVRIN_OCR, arguments);
        EXPECT_TRUE(process.waitForFinished(60000));
        EXPECT_EQ(process.exitStatus(), QProcess::NormalExit);
        return {process.readAllStandardOutput(), process.readAllStandardError(), process.exitCode()};
    }

    // The words are Tesseract's and checked loosely; the framing is the contract.
    static void expectText(const Outcome& outcome, const QStringList& lines) {
        EXPECT_EQ(outcome.status, 0);
        EXPECT_EQ(outcome.err, "");
        ASSERT_TRUE(outcome.out.endsWith('\n') && !outcome.out.endsWith("\n\n")) << outcome.out.toStdString();
        EXPECT_LT(cer(QString::fromUtf8(outcome.out.chopped(1)), lines.join('\n')), 0.05)
            << outcome.out.toStdString();
    }

    static inline QTemporaryDir* dir = nullptr;
};

TEST_F(TavrinOcr, UsageWithoutArguments) {
    const Outcome usage = run({});
    EXPECT_EQ(usage.err, "usage: tavrin-ocr <file> [file\xE2\x80\xA6]\n");  // 35 bytes
    EXPECT_EQ(usage.out, "");
    EXPECT_EQ(usage.status, 2);
}

TEST_F(TavrinOcr, ReadsEnglishRussianTransparencyRotatedPhotosAndColumns) {
    expectText(run({"english.png"}), english);
    expectText(run({"russian.png"}), russian);
    expectText(run({"transparent.png"}), english);
    expectText(run({"photo.jpg"}), russian + english);
    expectText(run({"columns.png"}), left + right);
}

TEST_F(TavrinOcr, RecordsFollowTheArgumentsAndFailedFilesLeaveNoTrace) {
    const QByteArray english = run({"english.png"}).out, russian = run({"russian.png"}).out;
    const Outcome mixed = run({"english.png", "missing.png", "russian.png", "english.png", "blank.png"});
    EXPECT_EQ(mixed.out, english + russian + english + "\n");  // a blank image is an empty text
    EXPECT_EQ(mixed.err, "");
    EXPECT_EQ(mixed.status, 0);
    const Outcome cut = run({"cut.jpg"});  // what was read is read, without Qt's warning
    EXPECT_EQ(cut.err, "");
    EXPECT_EQ(cut.status, 0);
}

TEST_F(TavrinOcr, EveryFileFailedIsStatusThreeAndSilence) {
    // Any one of these read as an image would print a record and give status 0.
    const QStringList failing{"missing.png", "notes.txt", "cut.png", "fifo", "folder.png", "--help"};
    const Outcome all = run(failing);
    EXPECT_EQ(all.out + all.err, "");
    EXPECT_EQ(all.status, 3);
}

TEST_F(TavrinOcr, LostOutputIsNotSuccess) {
    // Our own node of the full device, so that no system path is ever written.
    if (::mknod(QFile::encodeName(path("full")).constData(), S_IFCHR | 0600, makedev(1, 7)) != 0) {
        GTEST_SKIP() << "cannot make a device node";
    }
    const Outcome full = run({"english.png"}, path("full"));
    EXPECT_EQ(full.err, "");
    EXPECT_EQ(full.status, 1);
}

TEST_F(TavrinOcr, HostileImagesNeitherCrashNorHang) {
    // A real PNG whose header claims 100,000 x 100,000 pixels (the header's checksum made to match).
    QByteArray huge = read("english.png");
    const QByteArray side = QByteArray::fromHex("000186a0");
    huge.replace(16, 4, side).replace(20, 4, side);
    const quint32 crc = qToBigEndian(quint32(crc32(0, reinterpret_cast<const Bytef*>(huge.constData() + 12), 17)));
    huge.replace(29, 4, QByteArray(reinterpret_cast<const char*>(&crc), 4));
    write("huge.png", huge);
    write("zero.png", {});
    // 67 bytes of GIF claiming a 40705 x 6402 canvas, found by the image fuzzer: refused at once.
    write("canvas.gif", QByteArray::fromHex("474946383961019f0219910000040000ff61f008362e56000021f90457454250002c3f0000ff"
                                            "3060c0f0d02021f9000092030002ff3f00000205044371145300000308"));
    QImage deep = page(english).convertToFormat(QImage::Format_RGBA64);
    ASSERT_TRUE(deep.save(path("deep.png")));
    QImage dot(1, 1, QImage::Format_RGB32);
    dot.fill(Qt::white);
    ASSERT_TRUE(dot.save(path("dot.png")));
    QImage strip(20000, 20, QImage::Format_RGB32);
    strip.fill(Qt::white);
    ASSERT_TRUE(strip.save(path("strip.png")));
    ASSERT_EQ(QProcess::execute("convert", {"-quiet", path("english.png"), path("russian.png"), path("anim.gif")}), 0);
    ASSERT_EQ(QProcess::execute("convert", {"-quiet", path("photo.jpg"), "-colorspace", "CMYK", path("cmyk.jpg")}), 0);

    for (const QString name : {"huge.png", "canvas.gif", "zero.png", "fifo", "folder.png"}) {
        const Outcome o = run({name});
        EXPECT_EQ(o.out + o.err, "") << name.toStdString();
        EXPECT_EQ(o.status, 3) << name.toStdString();
    }
    for (const QString name : {"deep.png", "dot.png", "strip.png", "anim.gif", "cmyk.jpg"}) {
        const Outcome o = run({name});
        EXPECT_EQ(o.err, "") << name.toStdString();
        EXPECT_EQ(o.status, 0) << name.toStdString();
        EXPECT_TRUE(o.out.endsWith('\n')) << name.toStdString();
    }
    EXPECT_LT(cer(QString::fromUtf8(run({"deep.png"}).out.chopped(1)), english.join('\n')), 0.05);
}

}  // namespace
