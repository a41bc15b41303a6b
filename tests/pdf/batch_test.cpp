// The batch mode and start-up, run as the caller runs them; output read with qpdf, pdftotext and renderers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QProcess>
#include <QFileInfo>

#include "fixtures.h"
#include "support.h"

using namespace support;

namespace {

const std::vector<double> kYellow{1.0, 239 / 255.0, 158 / 255.0};

class Batch : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
};

// Page space to display space for a page whose crop box is its media box.
QRectF toDisplay(const QRectF &r, const QRectF &media, int rotate) {
    switch (rotate) {
        case 90: return QRectF(r.top() - media.top(), r.left() - media.left(), r.height(), r.width());
        case 270: return QRectF(media.bottom() - r.bottom(), media.right() - r.right(), r.height(), r.width());
        default: return QRectF(r.left() - media.left(), media.bottom() - r.bottom(), r.width(), r.height());
    }
}

// The match is painted where every independent reader sees the word, with the file's geometry exact.
void expectHighlightOver(const QString &pdf, const QString &word, const QRectF &media, int rotate,
                         const QString &dir) {
    const auto found = highlights(pdf);
    ASSERT_EQ(found.size(), 1u);
    const Highlight &h = found[0];
    const QRectF &r = h.rect;
    const std::vector<double> corners{r.left(), r.bottom(), r.right(), r.bottom(),
                                      r.left(), r.top(),    r.right(), r.top()};
    ASSERT_EQ(h.quads.size(), 8u);
    for (int i = 0; i < 8; ++i) EXPECT_NEAR(h.quads[size_t(i)], corners[size_t(i)], 1e-3) << "quad point " << i;
    ASSERT_EQ(h.color.size(), 3u);
    for (int i = 0; i < 3; ++i) EXPECT_NEAR(h.color[size_t(i)], kYellow[size_t(i)], 1e-6);

    const QRectF word_ = wordBox(pdf, h.page, word);
    ASSERT_FALSE(word_.isEmpty()) << "pdftotext finds no " << word.toStdString();
    const QRectF shown = toDisplay(r, media, rotate);
    EXPECT_NEAR(shown.left(), word_.left(), 1.0);
    EXPECT_NEAR(shown.right(), word_.right(), 1.0);
    EXPECT_NEAR(shown.top(), word_.top(), 3.0);
    EXPECT_NEAR(shown.bottom(), word_.bottom(), 3.0);

    for (const QString renderer : {"pdftoppm", "mutool", "gs"}) {
        const QRect yellow = yellowBox(render(renderer, pdf, h.page, dir));
        ASSERT_FALSE(yellow.isEmpty()) << renderer.toStdString() << " shows no yellow";
        EXPECT_NEAR(yellow.center().x(), word_.center().x(), 3.0) << renderer.toStdString();
        EXPECT_NEAR(yellow.center().y(), word_.center().y(), 3.0) << renderer.toStdString();
        // Ghostscript draws the ends of a highlight rounded, a little past the rectangle.
        EXPECT_NEAR(yellow.width(), word_.width(), renderer == "gs" ? 6.0 : 4.0) << renderer.toStdString();
    }
}

TEST_F(Batch, PaintsTheMatchOnOrdinaryRotatedAndOffsetPages) {
    struct Case {
        QRectF media;
        int rotate;
        bool upright;
    };
    for (const Case &c : {Case{{0, 0, 612, 792}, 0, true}, Case{{0, 0, 612, 792}, 90, false},
                          Case{{0, 0, 612, 792}, 270, false}, Case{{0, 0, 612, 792}, 90, true},
                          Case{{-200, 100, 500, 600}, 0, true},
                          Case{{50, -30, 600, 700}, 90, false}}) {
        SCOPED_TRACE(QString("rotate %1 media %2,%3").arg(c.rotate).arg(c.media.left()).arg(c.media.top()).toStdString());
        fixtures::RawPage page{c.media, c.rotate, {}, {}};
        const double x = c.media.left() + 100, y = c.media.top() + 300;
        page.texts = {{x, y + 40, "An opening line of text", c.upright},
                      {x, y, "The budget figures follow", c.upright}};
        const QString in = path("in.pdf"), out = path("out.pdf");
        QFile::remove(out);
        fixtures::writeRawPdf(in, {page});
        const Result run = runPdf({in, out, "--test", "BUDGET"});
        ASSERT_EQ(run.status, 0) << run.err.toStdString();
        EXPECT_TRUE(run.out.isEmpty());
        EXPECT_TRUE(run.err.isEmpty()) << run.err.toStdString();
        expectHighlightOver(out, "budget", c.media, c.rotate, dir.path());
    }
}

TEST_F(Batch, FindsAcrossCaseLineBreaksLigaturesAndColumns) {
    const QString in = path("in.pdf");
    fixtures::writeTextPdf(in, {{"Nothing to see on the first page"},
                                {"Отчёт о БЮДЖЕТЕ за год", "the ﬁnal ﬁgures of the", "budget report are in",
                                 "left column one\tright column budget", "left column budget\tright column two"}});
    struct Case {
        QString text;
        int pieces;
        QString firstWord;
    };
    for (const Case &c : {Case{"бюджете", 1, "БЮДЖЕТЕ"}, Case{"final figures", 1, "ﬁnal"},
                          Case{"of the budget", 2, "the"}, Case{"column budget", 1, "column"}}) {
        SCOPED_TRACE(c.text.toStdString());
        const QString out = path("out.pdf");
        QFile::remove(out);
        const Result run = runPdf({in, out, "--test", c.text});
        ASSERT_EQ(run.status, 0);
        const auto found = highlights(out);
        ASSERT_EQ(int(found.size()), c.pieces);
        EXPECT_EQ(found[0].page, 1);
        const QRectF word = wordBox(out, 1, c.firstWord);
        EXPECT_TRUE(found[0].rect.isValid());
        // The first match is the one of the left column, which reading order puts first.
        if (c.text == "column budget") {
            EXPECT_LT(found[0].rect.left(), 300);
        }
        (void)word;
    }
}

TEST_F(Batch, StatusesAndMessagesAreExact) {
    const QString pdf = path("in.pdf");
    fixtures::writeTextPdf(pdf, {{"A Budget and another Budget"}});
    const QByteArray usage = "usage: tavrin-pdf <in.pdf> <out.pdf> [title]\n";
    for (const QStringList &args : {QStringList{}, QStringList{pdf}}) {
        const Result run = runPdf(args);
        EXPECT_EQ(run.status, 1);
        EXPECT_EQ(run.err, usage);
        EXPECT_TRUE(run.out.isEmpty());
    }

    QFile text(path("notes.txt"));
    text.open(QIODevice::WriteOnly);
    text.write("just text\n");
    text.close();
    QProcess::execute("qpdf", {"--encrypt", "user", "owner", "256", "--", pdf, path("locked.pdf")});
    for (const QString &bad : {QString("notes.txt"), QString("missing.pdf"), QString("locked.pdf"), QString("--test")}) {
        for (const QStringList &extra : {QStringList{}, QStringList{"--test", "Budget"}}) {
            const Result run = runPdf(QStringList{bad, "out.pdf"} + extra, {"DISPLAY="}, dir.path());
            EXPECT_EQ(run.status, 1) << bad.toStdString();
            EXPECT_EQ(run.err, "not a PDF: " + bad.toUtf8() + "\n");
            EXPECT_FALSE(QFile::exists(path("out.pdf")));
        }
    }

    // Not found: 3, and what stood at the output path stays as it was.
    const QByteArray before = "an earlier version";
    QFile existing(path("out.pdf"));
    existing.open(QIODevice::WriteOnly);
    existing.write(before);
    existing.close();
    Result run = runPdf({pdf, path("out.pdf"), "My-note", "--test", "nowhere"});
    EXPECT_EQ(run.status, 3);
    EXPECT_TRUE(run.err.isEmpty());
    EXPECT_EQ(readAll(path("out.pdf")), before);

    // Only the first flag counts; its text may itself be "--test".
    run = runPdf({pdf, path("flag.pdf"), "--test", "--test"});
    EXPECT_EQ(run.status, 3);
    run = runPdf({pdf, path("two.pdf"), "--test", "budget", "--test", "nowhere"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(highlights(path("two.pdf")).size(), 1u);

    // A folder that does not exist: 1, nothing created.
    run = runPdf({pdf, path("no/such/folder/out.pdf"), "--test", "budget"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.isEmpty());
    EXPECT_FALSE(QDir(path("no")).exists());

    // The interactive mode without a display says so in one line.
    run = runPdf({pdf, path("out.pdf")}, {"DISPLAY=", "WAYLAND_DISPLAY=", "QT_QPA_PLATFORM="});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.endsWith("\n") && run.err.count('\n') == 1) << run.err.toStdString();
}

TEST_F(Batch, FailedWritesLeaveTheOutputPathAlone) {
    const QString pdf = path("in.pdf");
    fixtures::writeTextPdf(pdf, {{"A Budget line"}});
    const QByteArray original = readAll(pdf);

    // The input as the output: the highlighted document, not an empty file.
    Result run = runPdf({pdf, pdf, "--test", "budget"});
    EXPECT_EQ(run.status, 0);
    EXPECT_EQ(highlights(pdf).size(), 1u);
    EXPECT_TRUE(readAll(pdf).startsWith(original));

    // A directory is not replaced.
    QDir(dir.path()).mkdir("folder");
    run = runPdf({pdf, path("folder"), "--test", "budget"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(QFileInfo(path("folder")).isDir());

    // A link stays a link; its target receives the document.
    QFile::link(path("target.pdf"), path("link.pdf"));
    run = runPdf({pdf, path("link.pdf"), "--test", "budget"});
    EXPECT_EQ(run.status, 0);
    EXPECT_TRUE(QFileInfo(path("link.pdf")).isSymLink());
    EXPECT_EQ(highlights(path("target.pdf")).size(), 2u);  // the earlier one and this one
    EXPECT_TRUE(QDir(dir.path()).entryList({"*.pdf.*"}, QDir::Files | QDir::Hidden).isEmpty());
}

}  // namespace
