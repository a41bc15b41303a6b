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
        EXPECT_EQ(run.err, run.status == 1 ? "not a PDF: " + path(name).toUtf8() + "\n" : "");
        EXPECT_EQ(QFile::exists(out), run.status == 0);
        // pdfinfo reads what was written.
        if (run.status == 0) {
            EXPECT_EQ(QProcess::execute("pdfinfo", {out}), 0);
        }
    }
};

TEST_F(Hostile, DamagedDocumentsOpenOrAreRefused) {
    fixtures::writeTextPdf(path("good.pdf"), {{"the first page"}, {"the second page"}, {"the third page"}});
    const QByteArray good = readAll(path("good.pdf"));
    for (const double at : {0.1, 0.5, 0.9, 0.99}) {
        write(QString("cut-%1.pdf").arg(at), good.left(int(good.size() * at)));
        expectSound(QString("cut-%1.pdf").arg(at));
    }
    QByteArray xref = good;
    for (int i = xref.indexOf(" 00000 n", xref.lastIndexOf("xref")); i > 0; i = xref.indexOf(" 00000 n", i + 1))
        xref.replace(i - 10, 10, "0000000999");
    write("xref.pdf", xref);
    expectSound("xref.pdf");

    fixtures::RawPage page;
    page.texts = {{72, 700, "the looping tree"}};
    fixtures::writeRawPdf(path("plain.pdf"), {page, page});
    write("loop.pdf", readAll(path("plain.pdf")).replace("/Kids [", "/Kids [2 0 R 1 0 R "));
    expectSound("loop.pdf");
    write("count.pdf", readAll(path("plain.pdf")).replace("/Kids [4 0 R 6 0 R ] /Count 2", "/Kids [4 0 R ] /Count 3"));
    expectSound("count.pdf", "tree");

    fixtures::RawPage empty{{0, 0, 0, 0}, 0, {{10, 10, "the empty page"}}, {}};
    fixtures::RawPage inverted{QRectF(QPointF(612, 792), QPointF(0, 0)), 90, {{72, 700, "the inverted page"}}, {}};
    fixtures::writeRawPdf(path("boxes.pdf"), {empty, inverted});
    expectSound("boxes.pdf", "inverted");

    QImage photo(64, 64, QImage::Format_RGB32);
    photo.fill(Qt::red);
    photo.save(path("photo.pdf"), "JPEG");
    expectSound("photo.pdf");
    write("empty.pdf", {});
    expectSound("empty.pdf");
}

// A hang guard: a hundred thousand glyphs on one page (a long document is bench/batch-search.sh's).
TEST_F(Hostile, ACrowdedPageIsSearchedToTheEnd) {
    fixtures::RawPage crowded;
    for (int i = 0; i < 100000; ++i) crowded.texts.push_back({double(i % 600), double(i / 600 % 780), "x"});
    crowded.texts.push_back({300, 400, "needle"});
    fixtures::writeRawPdf(path("crowded.pdf"), {crowded});
    EXPECT_EQ(runPdf({path("crowded.pdf"), path("out.pdf"), "--test", "needle"}).status, 0);
}

// Each failed write leaves what stood at the output path byte for byte, and no temporary file.
TEST_F(Hostile, WritesReplaceTheOutputWholeOrNotAtAll) {
    const QString in = path("in.pdf");
    fixtures::writeTextPdf(in, {{"A line worth a highlight"}});
    const QByteArray original = readAll(in), before = "an earlier version of the note";

    // Cut off by the file-size limit: the program survives it and reports 1.
    write("limited.pdf", before);
    QProcess limited;
    limited.start("sh", {"-c", "ulimit -f 4 && exec \"$0\" \"$@\"", TAVRIN_PDF, in, path("limited.pdf"), "--test", "line"});
    limited.waitForFinished(60000);
    EXPECT_EQ(limited.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(limited.exitCode(), 1);
    EXPECT_EQ(limited.readAllStandardError(), "");
    EXPECT_EQ(readAll(path("limited.pdf")), before);

    // A folder that does not exist, a directory, a device node of our own: refused, left as they were.
    EXPECT_EQ(runPdf({in, path("no/such/out.pdf"), "--test", "line"}).status, 1);
    EXPECT_FALSE(QDir(path("no")).exists());
    QDir(dir.path()).mkdir("folder");
    EXPECT_EQ(runPdf({in, path("folder"), "--test", "line"}).status, 1);
    EXPECT_TRUE(QFileInfo(path("folder")).isDir());
    if (::mknod(QFile::encodeName(path("device")).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0) {
        EXPECT_EQ(runPdf({in, path("device"), "--test", "line"}).status, 1);
        struct stat st {};
        ::stat(QFile::encodeName(path("device")).constData(), &st);
        EXPECT_TRUE(S_ISCHR(st.st_mode));
    }

    // The input as the output: the highlighted document, not an empty file.
    EXPECT_EQ(runPdf({in, in, "--test", "line"}).status, 0);
    EXPECT_EQ(highlights(in).size(), 1u);
    EXPECT_TRUE(readAll(in).startsWith(original));
    // A link stays a link; its target receives the document.
    QFile::link(path("target.pdf"), path("link.pdf"));
    EXPECT_EQ(runPdf({in, path("link.pdf"), "--test", "line"}).status, 0);
    EXPECT_TRUE(QFileInfo(path("link.pdf")).isSymLink());
    EXPECT_EQ(highlights(path("target.pdf")).size(), 2u);  // the earlier one and this one

    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    left.removeAll("device");
    EXPECT_EQ(left.join(' '), "in.pdf limited.pdf link.pdf target.pdf");
}

}  // namespace
