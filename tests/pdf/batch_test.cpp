// The batch mode and start-up, run as the caller runs them; output read with qpdf, pdftotext and renderers.
#include <gmock/gmock.h>
#include <sys/stat.h>

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include "fixtures.h"
#include "support.h"

using namespace support;
using ::testing::DoubleNear;
using ::testing::Pointwise;

namespace {

class Batch : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    void expectRun(const QStringList &args, int status, const QByteArray &err = {}, const QStringList &unset = {}) {
        const Result run = runPdf(args, unset, dir.path(), 30000);
        EXPECT_EQ(run.status, status) << args.join(' ').toStdString();
        EXPECT_EQ(run.err, err);
        EXPECT_TRUE(run.out.isEmpty());
    }
};

// Page space to display space for a page whose crop box is its media box.
QRectF toDisplay(const QRectF &r, const QRectF &m, int rotate) {
    switch (rotate) {
        case 90: return QRectF(r.top() - m.top(), r.left() - m.left(), r.height(), r.width());
        case 180: return QRectF(m.right() - r.right(), r.top() - m.top(), r.width(), r.height());
        case 270: return QRectF(m.bottom() - r.bottom(), m.right() - r.right(), r.height(), r.width());
        default: return QRectF(r.left() - m.left(), m.bottom() - r.bottom(), r.width(), r.height());
    }
}

// A sentence over three lines, on every rotation, with its text turned with the page or upright on screen:
// the whole text as another reader reads it is found, one highlight per line in that order, over its words.
TEST_F(Batch, PaintsTheMatchInReadingOrderWhereEveryReaderSeesIt) {
    struct Case {
        QRectF media;
        int rotate;
        bool turned;  // with the page: it reads sideways or upside down on screen
    };
    std::vector<Case> cases{{{-200, 100, 500, 600}, 0, false}, {{50, -30, 600, 700}, 90, false}};
    for (int rotate : {0, 90, 180, 270})
        for (bool turned : {false, true}) cases.push_back({{0, 0, 612, 792}, rotate, turned});
    const QStringList lines{"Quarterly budget report", "figures follow below", "overleaf with notes"};
    for (const Case &c : cases) {
        SCOPED_TRACE(QString("rotate %1 turned %2 media %3,%4")
                         .arg(c.rotate).arg(c.turned).arg(c.media.left()).arg(c.media.top()).toStdString());
        // Each line 20 points below the last in the text's own frame.
        const int turn = c.turned ? 0 : c.rotate;
        const QPointF down = turn == 90 ? QPointF(1, 0) : turn == 180 ? QPointF(0, 1) : turn == 270 ? QPointF(-1, 0) : QPointF(0, -1);
        fixtures::RawPage page{c.media, c.rotate, {}, {}};
        for (int i = 0; i < lines.size(); ++i) {
            const QPointF at = c.media.topLeft() + QPointF(200, 400) + 20 * i * down;
            page.texts.push_back({at.x(), at.y(), lines[i], c.turned});
        }
        const QString in = path("in.pdf"), out = path("out.pdf");
        fixtures::writeRawPdf(in, {page});
        QFile::remove(out);
        expectRun({in, out, "--test", readingOrder(in).toUpper()}, 0);

        const auto found = highlights(out);
        ASSERT_EQ(found.size(), 3u);
        QRectF all;
        for (int i = 0; i < 3; ++i) {
            SCOPED_TRACE("line " + std::to_string(i));
            const QRectF r = found[i].rect;
            EXPECT_THAT(found[i].quads, Pointwise(DoubleNear(1e-3), {r.left(), r.bottom(), r.right(), r.bottom(),
                                                                     r.left(), r.top(), r.right(), r.top()}));
            EXPECT_THAT(found[i].color, Pointwise(DoubleNear(1e-6), {1.0, 239 / 255.0, 158 / 255.0}));
            const QStringList words = lines[i].split(' ');
            const QRectF expected = wordBox(out, 0, words.first()) | wordBox(out, 0, words.last());
            const QRectF shown = toDisplay(r, c.media, c.rotate);
            all |= expected;
            EXPECT_LT((shown.topLeft() - expected.topLeft()).manhattanLength() +
                          (shown.bottomRight() - expected.bottomRight()).manhattanLength(), 4.0);
        }
        for (const QString renderer : {"pdftoppm", "mutool"}) {
            const QRect painted = yellowBox(render(renderer, out, dir.path()));
            EXPECT_LT((QRectF(painted).center() - all.center()).manhattanLength(), 4.0) << renderer.toStdString();
            EXPECT_NEAR(painted.width(), all.width(), 4.0) << renderer.toStdString();
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
    ::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600);  // would block whoever opens it
    for (const QString bad : {"notes.txt", "missing.pdf", "locked.pdf", "--test", "fifo"})
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
