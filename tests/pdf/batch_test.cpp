// The batch mode and start-up, run as the caller runs them; output read with qpdf, pdftotext and renderers.
#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "fixtures.h"
#include "support.h"

using namespace support;

namespace {

class Batch : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void expectRun(const QStringList &args, int status, const QByteArray &err = {}, const QStringList &unset = {}) {
        const Result run = runPdf(args, unset, dir.path());
        EXPECT_EQ(run.status, status) << args.join(' ').toStdString();
        EXPECT_EQ(run.err, err);
        EXPECT_TRUE(run.out.isEmpty());
    }
};

// Page space to display space for a page whose crop box is its media box.
QRectF toDisplay(const QRectF &r, const QRectF &media, int rotate) {
    switch (rotate) {
        case 90: return QRectF(r.top() - media.top(), r.left() - media.left(), r.height(), r.width());
        case 270: return QRectF(media.bottom() - r.bottom(), media.right() - r.right(), r.height(), r.width());
        default: return QRectF(r.left() - media.left(), media.bottom() - r.bottom(), r.width(), r.height());
    }
}

TEST_F(Batch, PaintsTheMatchWhereEveryReaderSeesIt) {
    struct Case {
        QRectF media;
        int rotate;
        bool upright;
    };
    for (const Case &c : {Case{{0, 0, 612, 792}, 0, true}, Case{{0, 0, 612, 792}, 90, false},
                          Case{{0, 0, 612, 792}, 270, false}, Case{{0, 0, 612, 792}, 90, true},
                          Case{{-200, 100, 500, 600}, 0, true}, Case{{50, -30, 600, 700}, 90, false}}) {
        SCOPED_TRACE(QString("rotate %1 media %2,%3").arg(c.rotate).arg(c.media.left()).arg(c.media.top()).toStdString());
        const double x = c.media.left() + 100, y = c.media.top() + 300;
        const QString in = path("in.pdf"), out = path("out.pdf");
        fixtures::writeRawPdf(in, {{c.media, c.rotate,
                                    {{x, y + 40, "An opening line of text", c.upright},
                                     {x, y, "The budget figures follow", c.upright}}, {}}});
        QFile::remove(out);
        expectRun({in, out, "--test", "BUDGET"}, 0);

        const auto found = highlights(out);
        ASSERT_EQ(found.size(), 1u);
        const QRectF r = found[0].rect;
        const std::vector<double> quads{r.left(), r.bottom(), r.right(), r.bottom(), r.left(), r.top(), r.right(), r.top()},
            yellow{1.0, 239 / 255.0, 158 / 255.0};
        ASSERT_EQ(found[0].quads.size(), 8u);
        for (size_t i = 0; i < 8; ++i) EXPECT_NEAR(found[0].quads[i], quads[i], 1e-3) << "quad point " << i;
        ASSERT_EQ(found[0].color.size(), 3u);
        for (size_t i = 0; i < 3; ++i) EXPECT_NEAR(found[0].color[i], yellow[i], 1e-6);

        const QRectF word = wordBox(out, 0, "budget"), shown = toDisplay(r, c.media, c.rotate);
        ASSERT_FALSE(word.isEmpty());
        EXPECT_NEAR(shown.left(), word.left(), 1.0);
        EXPECT_NEAR(shown.right(), word.right(), 1.0);
        EXPECT_NEAR(shown.center().y(), word.center().y(), 3.0);
        for (const QString renderer : {"pdftoppm", "mutool"}) {
            const QRect painted = yellowBox(render(renderer, out, dir.path()));
            EXPECT_NEAR(painted.center().x(), word.center().x(), 3.0) << renderer.toStdString();
            EXPECT_NEAR(painted.center().y(), word.center().y(), 3.0) << renderer.toStdString();
            EXPECT_NEAR(painted.width(), word.width(), 4.0) << renderer.toStdString();
        }
    }
}

TEST_F(Batch, FindsAcrossCaseLineBreaksLigaturesAndColumns) {
    const QString in = path("in.pdf"), out = path("out.pdf");
    fixtures::writeTextPdf(in, {{"Nothing to see on the first page"},
                                {"Отчёт о БЮДЖЕТЕ за год", "the ﬁnal ﬁgures of the", "budget report are in",
                                 "left column one\tright column budget", "left column budget\tright column two"}});
    struct Case {
        QString text;
        int pieces;
    };
    for (const Case &c : {Case{"бюджете", 1}, Case{"final figures", 1}, Case{"of the budget", 2}, Case{"column budget", 1}}) {
        SCOPED_TRACE(c.text.toStdString());
        QFile::remove(out);
        expectRun({in, out, "--test", c.text}, 0);
        const auto found = highlights(out);
        ASSERT_EQ(int(found.size()), c.pieces);
        EXPECT_EQ(found[0].page, 1);
    }
    // Reading order puts the left column first.
    EXPECT_LT(highlights(out)[0].rect.left(), 300);
}

TEST_F(Batch, StatusesAndMessagesAreExact) {
    const QString pdf = path("in.pdf");
    fixtures::writeTextPdf(pdf, {{"A Budget and another Budget"}});
    for (const QStringList &args : {QStringList{}, QStringList{pdf}})
        expectRun(args, 1, "usage: tavrin-pdf <in.pdf> <out.pdf> [title]\n");

    QFile text(path("notes.txt"));
    text.open(QIODevice::WriteOnly);
    text.write("just text\n");
    text.close();
    QProcess::execute("qpdf", {"--encrypt", "user", "owner", "256", "--", pdf, path("locked.pdf")});
    for (const QString bad : {"notes.txt", "missing.pdf", "locked.pdf", "--test"})
        for (const QStringList &extra : {QStringList{}, QStringList{"--test", "Budget"}})
            expectRun(QStringList{bad, "out.pdf"} + extra, 1, "not a PDF: " + bad.toUtf8() + "\n", {"DISPLAY"});
    EXPECT_FALSE(QFile::exists(path("out.pdf")));

    // An owner password alone does not lock the document.
    QProcess::execute("qpdf", {"--encrypt", "", "owner", "256", "--", pdf, path("owner.pdf")});
    expectRun({path("owner.pdf"), path("owner-out.pdf"), "--test", "budget"}, 0);

    // Not found: 3, and what stood at the output path stays as it was.
    QFile existing(path("out.pdf"));
    existing.open(QIODevice::WriteOnly);
    existing.write("an earlier version");
    existing.close();
    expectRun({pdf, path("out.pdf"), "My-note", "--test", "nowhere"}, 3);
    EXPECT_EQ(readAll(path("out.pdf")), "an earlier version");

    // Only the first flag counts; its text may itself be "--test".
    expectRun({pdf, path("flag.pdf"), "--test", "--test"}, 3);
    expectRun({pdf, path("two.pdf"), "--test", "budget", "--test", "nowhere"}, 0);
    EXPECT_EQ(highlights(path("two.pdf")).size(), 1u);

    // The interactive mode without a display says so in one line.
    const Result run = runPdf({pdf, path("out.pdf")}, {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
    EXPECT_EQ(run.status, 1);
    EXPECT_TRUE(run.err.endsWith("\n") && run.err.count('\n') == 1) << run.err.toStdString();
}

}  // namespace
