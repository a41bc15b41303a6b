// Files that came from anywhere, and writes that fail halfway: never a crash, a hang or a damaged file.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
#include <QTemporaryDir>

#include "fixtures.h"
#include "support.h"

using namespace support;

namespace {

class Hostile : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void write(const QString &name, const QByteArray &bytes) const {
        QFile f(path(name));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly));
        f.write(bytes);
    }
    // The batch mode on a file: a clean status with exactly what the caller may see, and a readable output.
    void expectSound(const QString &name, const QString &text = "the") {
        SCOPED_TRACE(name.toStdString());
        const QString out = path(name + "." + text + ".out.pdf");
        const Result run = runPdf({path(name), out, "--test", text});
        ASSERT_TRUE(run.status == 0 || run.status == 1 || run.status == 3) << "status " << run.status;
        EXPECT_TRUE(run.out.isEmpty());
        if (run.status == 1)
            EXPECT_EQ(run.err, "not a PDF: " + path(name).toUtf8() + "\n");
        else
            EXPECT_EQ(run.err, "");
        EXPECT_EQ(QFile::exists(out), run.status == 0);
        if (run.status == 0) {
            QProcess info;
            info.start("pdfinfo", {out});
            info.waitForFinished(60000);
            EXPECT_EQ(info.exitCode(), 0) << "pdfinfo cannot read the output";
        }
    }
};

TEST_F(Hostile, DamagedDocumentsOpenOrAreRefused) {
    fixtures::writeTextPdf(path("good.pdf"), {{"the first page"}, {"the second page"}, {"the third page"}});
    const QByteArray good = readAll(path("good.pdf"));
    for (const double at : {0.1, 0.5, 0.9, 0.99}) {
        const QString name = QString("cut-%1.pdf").arg(at);
        write(name, good.left(int(good.size() * at)));
        expectSound(name);
    }
    QByteArray xref = good;
    const int table = xref.lastIndexOf("xref");
    for (int i = xref.indexOf(" 00000 n", table); i > 0; i = xref.indexOf(" 00000 n", i + 1))
        xref.replace(i - 10, 10, "0000000999");
    write("xref.pdf", xref);
    expectSound("xref.pdf");

    fixtures::RawPage page;
    page.texts = {{72, 700, "the looping tree"}};
    fixtures::writeRawPdf(path("plain.pdf"), {page, page});
    write("loop.pdf", readAll(path("plain.pdf")).replace("/Kids [", "/Kids [2 0 R 1 0 R "));
    expectSound("loop.pdf");

    fixtures::RawPage empty{{0, 0, 0, 0}, 0, {{10, 10, "the empty page"}}, {}};
    fixtures::RawPage inverted{QRectF(QPointF(612, 792), QPointF(0, 0)), 90, {{72, 700, "the inverted page"}}, {}};
    fixtures::writeRawPdf(path("boxes.pdf"), {empty, inverted});
    expectSound("boxes.pdf");
    expectSound("boxes.pdf", "inverted");

    QImage photo(64, 64, QImage::Format_RGB32);
    photo.fill(Qt::red);
    photo.save(path("photo.pdf"), "JPEG");
    expectSound("photo.pdf");
    write("empty.pdf", {});
    expectSound("empty.pdf");
}

TEST_F(Hostile, HugeDocumentsAreSearchedToTheEnd) {
    fixtures::RawPage crowded;
    for (int i = 0; i < 100000; ++i) crowded.texts.push_back({double(i % 600), double(i / 600 % 780), "x"});
    crowded.texts.push_back({300, 400, "needle"});
    fixtures::writeRawPdf(path("crowded.pdf"), {crowded});
    expectSound("crowded.pdf", "needle");
    expectSound("crowded.pdf", "absent");

    std::vector<fixtures::RawPage> many(5000);
    for (size_t i = 0; i < many.size(); ++i) many[i].texts = {{72, 700, QString("page %1").arg(i + 1)}};
    fixtures::writeRawPdf(path("many.pdf"), many);
    const Result run = runPdf({path("many.pdf"), path("many.out.pdf"), "--test", "page 5000"});
    EXPECT_EQ(run.status, 0);
    ASSERT_EQ(highlights(path("many.out.pdf")).size(), 1u);
    EXPECT_EQ(highlights(path("many.out.pdf"))[0].page, 4999);
}

TEST_F(Hostile, OwnerPasswordOnlyOpensAndIsWritten) {
    fixtures::writeTextPdf(path("plain.pdf"), {{"the protected words"}});
    ASSERT_EQ(QProcess::execute("qpdf", {"--encrypt", "", "owner", "256", "--", path("plain.pdf"), path("owner.pdf")}), 0);
    const Result run = runPdf({path("owner.pdf"), path("out.pdf"), "--test", "protected"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(highlights(path("out.pdf")).size(), 1u);
}

TEST_F(Hostile, FailedWritesLeaveNothingBehind) {
    fixtures::writeTextPdf(path("in.pdf"), {{"A line worth a highlight"}});
    const QByteArray before = "an earlier version of the note";
    const auto untouched = [&](const QString &out) {
        EXPECT_EQ(readAll(out), before);
        EXPECT_EQ(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System).filter(".out.").size(), 0)
            << QDir(dir.path()).entryList(QDir::Files | QDir::Hidden).join(' ').toStdString();
    };

    // Cut off by the file-size limit: the program survives it, reports 1 and leaves the old file.
    write("limited.pdf", before);
    QProcess limited;
    limited.start("sh", {"-c", "ulimit -f 4 && exec \"$0\" \"$@\"", TAVRIN_PDF, path("in.pdf"), path("limited.pdf"),
                         "--test", "highlight"});
    limited.waitForFinished(60000);
    EXPECT_EQ(limited.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(limited.exitCode(), 1);
    EXPECT_EQ(limited.readAllStandardError(), "");
    untouched(path("limited.pdf"));

    // A device node of our own (never a system path): refused, still a device.
    if (::mknod(QFile::encodeName(path("device")).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        const Result run = runPdf({path("in.pdf"), path("device"), "--test", "highlight"});
        EXPECT_EQ(run.status, 1);
        struct stat st {};
        ::stat(QFile::encodeName(path("device")).constData(), &st);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.pdf.*", ".*.pdf*"}, QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
