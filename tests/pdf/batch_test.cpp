// The batch mode and start-up as the caller runs them; what was written is read with qpdf, poppler and mutool.
#include <gmock/gmock.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include <QDir>
#include <QFileInfo>
#include <QTemporaryDir>

#include "fixtures.h"
#include "support.h"

using namespace support;
using ::testing::DoubleNear;
using ::testing::Pointwise;

namespace {

QByteArray readAll(const QString &p) { QFile f(p); return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray(); }
void writeAll(const QString &p, const QByteArray &bytes) { QFile f(p); if (f.open(QIODevice::WriteOnly)) f.write(bytes); }

class Batch : public ::testing::Test {
protected:
    QTemporaryDir dir;
    QString path(const QString &name) const { return dir.filePath(name); }
    // The status, exactly this on standard error and nothing on standard output.
    void expectRun(const QStringList &args, int status, const QByteArray &err = {}, const QStringList &env = {}) {
        const Result r = run(TAVRIN_PDF, args, env, dir.path(), 30000);
        EXPECT_EQ(r.status, status) << args.join(' ').toStdString();
        EXPECT_EQ(r.err, err);
        EXPECT_EQ(r.out, "");
    }
};

// A sentence over three lines on every rotation, its text turned with the page or upright on screen: found whole as
// mutool reads it (pdftotext reverses text running up), one highlight per line where every reader sees the words.
TEST_F(Batch, PaintsTheMatchInReadingOrderWhereEveryReaderSeesIt) {
    struct Case { QRectF media; int rotate; bool turned; };  // turned: with the page, sideways or upside down
    std::vector<Case> cases{{{-200, 100, 500, 600}, 0, false}, {{50, -30, 600, 700}, 90, false}};
    for (int rotate : {0, 90, 180, 270})
        for (bool turned : {false, true}) cases.push_back({{0, 0, 612, 792}, rotate, turned});
    const QStringList lines{"Quarterly budget report", "figures follow below", "overleaf with notes"};
    const QString in = path("in.pdf"), out = path("out.pdf"), png = path("page.png");
    for (const Case &c : cases) {
        SCOPED_TRACE(QString("rotate %1 turned %2 media at %3,%4").arg(c.rotate).arg(c.turned)
                         .arg(c.media.left()).arg(c.media.top()).toStdString());
        fixtures::RawPage page{c.media, c.rotate, {}, {}};
        const QPointF down = QTransform().rotate(c.turned ? 0 : c.rotate).map(QPointF(0, -20));  // in the text's frame
        for (int i = 0; i < 3; ++i) {
            const QPointF at = c.media.topLeft() + QPointF(200, 400) + i * down;
            page.texts.push_back({at.x(), at.y(), lines[i], c.turned});
        }
        fixtures::writeRawPdf(in, {page});
        QFile::remove(out);
        const QString order = run("mutool", {"draw", "-q", "-F", "txt", "-o", "-", in, "1"}).out;
        expectRun({in, out, "--test", order.simplified().toUpper()}, 0);
        const auto found = highlights(out);
        ASSERT_EQ(found.size(), 3u);
        // Page space to display space: y down from the top left of the media box, rotation applied.
        const QTransform turn = QTransform().rotate(c.rotate);
        const QRectF turned = turn.mapRect(QRectF(QPointF(), c.media.size()));
        const QTransform toDisplay = QTransform(1, 0, 0, -1, -c.media.left(), c.media.bottom()) * turn *
                                     QTransform::fromTranslate(-turned.left(), -turned.top());
        QRectF all;
        for (int i = 0; i < 3; ++i) {
            const QRectF r = found[i].rect, shown = toDisplay.mapRect(r);
            EXPECT_THAT(found[i].quads, Pointwise(DoubleNear(1e-3), {r.left(), r.bottom(), r.right(), r.bottom(),
                                                                     r.left(), r.top(), r.right(), r.top()}));
            EXPECT_THAT(found[i].color, Pointwise(DoubleNear(1e-6), {1.0, 239 / 255.0, 158 / 255.0}));
            const QRectF words = wordBox(out, 0, lines[i].section(' ', 0, 0)) | wordBox(out, 0, lines[i].section(' ', -1));
            EXPECT_LT((shown.topLeft() - words.topLeft()).manhattanLength() +
                          (shown.bottomRight() - words.bottomRight()).manhattanLength(), 4.0) << "line " << i;
            all |= words;
        }
        for (const QStringList &draw : {QStringList{"pdftoppm", "-r", "72", "-png", "-singlefile", out, png.chopped(4)},
                                        {"mutool", "draw", "-q", "-r", "72", "-o", png, out, "1"}}) {
            run(draw[0], draw.mid(1));
            const QRect painted = where(QImage(png), yellow);
            EXPECT_LT((QRectF(painted).center() - all.center()).manhattanLength(), 4.0) << draw[0].toStdString();
            EXPECT_NEAR(painted.width(), all.width(), 4.0) << draw[0].toStdString();
        }
    }
}

// Case folding beyond ASCII, ligatures, and two columns read one after the other; then every status and message.
TEST_F(Batch, FindsAndStatusesAndMessagesAreExact) {
    const QString pdf = path("in.pdf"), out = path("out.pdf");
    fixtures::writeTextPdf(pdf, {{"Nothing to see on the first page"},
                                 {"Отчёт о БЮДЖЕТЕ за год", "the ﬁnal ﬁgures", "left column one\tright column budget",
                                  "left column budget\tright column two"}});
    for (const QString text : {"бюджете", "final figures", "column budget"}) {
        expectRun({pdf, out, "--test", text}, 0);
        const auto found = highlights(out);
        ASSERT_EQ(found.size(), 1u) << text.toStdString();
        EXPECT_EQ(found[0].page, 1);
    }
    EXPECT_LT(highlights(out)[0].rect.left(), 300);  // the left column's
    QFile::remove(out);

    for (const QStringList &args : {QStringList{}, QStringList{pdf}})
        expectRun(args, 1, "usage: tavrin-pdf <in.pdf> <out.pdf> [title]\n");

    writeAll(path("notes.txt"), "just text\n");
    QProcess::execute("qpdf", {"--encrypt", "user", "owner", "256", "--", pdf, path("locked.pdf")});
    ::mkfifo(QFile::encodeName(path("fifo")).constData(), 0600);  // blocks whoever opens it to read
    for (const QString bad : {"notes.txt", "missing.pdf", "locked.pdf", "--test", "fifo"})
        for (const QStringList &extra : {QStringList{}, QStringList{"--test", "Budget"}})
            expectRun(QStringList{bad, "out.pdf"} + extra, 1, "not a PDF: " + bad.toUtf8() + "\n", {"DISPLAY"});
    EXPECT_FALSE(QFile::exists(out));

    // Not found: 3, and what stood at the output path stays as it was.
    writeAll(out, "an earlier version");
    expectRun({pdf, out, "My-note", "--test", "nowhere"}, 3);
    EXPECT_EQ(readAll(out), "an earlier version");

    // Only the first flag counts; its text may itself be "--test".
    expectRun({pdf, path("flag.pdf"), "--test", "--test"}, 3);
    expectRun({pdf, path("two.pdf"), "--test", "budget", "--test", "nowhere"}, 0);
    EXPECT_EQ(highlights(path("two.pdf")).size(), 1u);

    // A flag with no text after it is no flag: the interactive mode, which without a display says so.
    expectRun({pdf, out, "--test"}, 1, "tavrin-pdf: cannot open the editor window: no display\n",
              {"DISPLAY", "WAYLAND_DISPLAY", "QT_QPA_PLATFORM"});
}

// What the save keeps: the encryption of a file with an owner password alone (which does not lock it), and, as an
// incremental update, a signature made with a self-signed certificate.
TEST_F(Batch, TheSaveKeepsEncryptionAndSignatures) {
    const QString in = path("in.pdf"), nss = "sql:" + dir.path();
    fixtures::writeTextPdf(in, {{"A Budget to sign"}});
    QProcess::execute("qpdf", {"--encrypt", "", "owner", "256", "--", in, path("owner.pdf")});
    ASSERT_EQ(QProcess::execute("sh", {"-c", "certutil -N -d " + nss + " --empty-password && echo y | certutil -S -d " +
                                                nss + " -n me -s CN=Test -x -t CT,C,C -k rsa -g 2048 -v 12 -z " + in +
                                                " >/dev/null 2>&1 && pdfsig -nssdir " + nss + " -add-signature -nick me " +
                                                in + " " + path("signed.pdf") + " >/dev/null 2>&1"}), 0);
    for (const auto &[name, reader, says] : {std::tuple{"owner.pdf", QStringList{"qpdf", "--show-encryption"}, "R = 6"},
                                             {"signed.pdf", {"pdfsig", "-nssdir", nss}, "Signature is Valid."}}) {
        SCOPED_TRACE(name);
        const QString out = path(QString("out-") + name);
        expectRun({path(name), out, "--test", "budget"}, 0);
        EXPECT_EQ(highlights(out).size(), 1u);
        EXPECT_TRUE(run(reader[0], reader.mid(1) << out).out.contains(says));
    }
}

// Each gives a clean status with exactly what the caller may see, and an output pdfinfo reads.
TEST_F(Batch, DamagedDocumentsOpenOrAreRefused) {
    fixtures::writeTextPdf(path("good.pdf"), {{"the first page"}, {"the second page"}, {"the third page"}});
    const QByteArray good = readAll(path("good.pdf"));
    for (const double at : {0.1, 0.5, 0.9, 0.99}) writeAll(path(QString("cut-%1.pdf").arg(at)), good.left(int(good.size() * at)));
    QByteArray xref = good;
    for (int i = xref.indexOf(" 00000 n", xref.lastIndexOf("xref")); i > 0; i = xref.indexOf(" 00000 n", i + 1))
        xref.replace(i - 10, 10, "0000000999");
    writeAll(path("xref.pdf"), xref);
    // A page tree that holds itself; a page count beyond the pages there are.
    fixtures::writeRawPdf(path("tree.pdf"), {{{0, 0, 612, 792}, 0, {{72, 700, "the page tree"}}, {}}});
    writeAll(path("loop.pdf"), readAll(path("tree.pdf")).replace("/Kids [", "/Kids [2 0 R 1 0 R "));
    writeAll(path("count.pdf"), readAll(path("tree.pdf")).replace("/Count 1", "/Count 3"));
    fixtures::writeRawPdf(path("boxes.pdf"), {{{0, 0, 0, 0}, 0, {{10, 10, "an empty box"}}, {}},
                                              {QRectF(QPointF(612, 792), QPointF(0, 0)), 90, {{72, 700, "the inverted box"}}, {}}});
    fixtures::RawPage crowded;  // a hang guard: a hundred thousand glyphs on one page
    for (int i = 0; i < 100000; ++i) crowded.texts.push_back({double(i % 600), double(i / 600 % 780), "x"});
    crowded.texts.push_back({300, 400, "the needle"});
    fixtures::writeRawPdf(path("crowded.pdf"), {crowded});
    writeAll(path("empty.pdf"), {});
    for (const QString &name : QDir(dir.path()).entryList({"*.pdf"})) {
        SCOPED_TRACE(name.toStdString());
        const QString out = path(name + ".out");
        const Result r = run(TAVRIN_PDF, {path(name), out, "--test", "the"});
        ASSERT_TRUE(r.status == 0 || r.status == 1 || r.status == 3) << "status " << r.status;
        EXPECT_EQ(r.out + r.err, r.status == 1 ? "not a PDF: " + path(name).toUtf8() + "\n" : "");
        EXPECT_EQ(QFile::exists(out), r.status == 0);
        EXPECT_TRUE(r.status != 0 || QProcess::execute("pdfinfo", {out}) == 0);
    }
}

// Each failed write leaves what stood at the output path byte for byte, silently, and no temporary file; the input
// as the output gets the highlighted document, and a link's target gets it through the link.
TEST_F(Batch, WritesReplaceTheOutputWholeOrNotAtAll) {
    const QString in = path("in.pdf");
    const QByteArray before = "an earlier version of the note";
    fixtures::writeTextPdf(in, {{"A line worth a highlight"}});
    const QByteArray original = readAll(in);
    writeAll(path("limited.pdf"), before);
    QDir(dir.path()).mkdir("folder");
    QFile::link(path("target.pdf"), path("link.pdf"));
    const bool device = ::mknod(QFile::encodeName(path("device")).constData(), S_IFCHR | 0600, makedev(1, 3)) == 0;
    // Cut off by the file-size limit (in blocks) the program survives; no folder, a folder, a device: refused.
    for (const auto &[out, limit, status] : {std::tuple{"limited.pdf", "4", 1}, {"no/such/out.pdf", "unlimited", 1},
                                             {"folder", "unlimited", 1}, {"device", "unlimited", 1},
                                             {"in.pdf", "unlimited", 0}, {"link.pdf", "unlimited", 0}}) {
        if (out == QString("device") && !device) continue;
        const Result r = run("sh", {"-c", QString("ulimit -f ") + limit + " && exec \"$0\" \"$@\"", TAVRIN_PDF, in,
                                    path(out), "--test", "line"});
        EXPECT_EQ(r.status, status) << out;
        EXPECT_EQ(r.out + r.err, "") << out;
    }
    EXPECT_EQ(readAll(path("limited.pdf")), before);
    EXPECT_FALSE(QDir(path("no")).exists());
    EXPECT_TRUE(QFileInfo(path("folder")).isDir());
    EXPECT_TRUE(!device || (QFileInfo(path("device")).exists() && !QFileInfo(path("device")).isFile()));
    EXPECT_EQ(highlights(in).size(), 1u);
    EXPECT_TRUE(readAll(in).startsWith(original));
    EXPECT_TRUE(QFileInfo(path("link.pdf")).isSymLink());
    EXPECT_EQ(highlights(path("target.pdf")).size(), 2u);  // the input's, already highlighted, and this one
    QStringList left = QDir(dir.path()).entryList(QDir::Files | QDir::Hidden | QDir::System);
    left.removeAll("device");
    EXPECT_EQ(left.join(' '), "in.pdf limited.pdf link.pdf target.pdf");
}

}  // namespace
