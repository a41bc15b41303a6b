// The real program in a real window under Xvfb, driven with xdotool as a person would.
#include <gtest/gtest.h>

#include <QFileInfo>
#include <QTemporaryDir>
#include <QThread>

#include "fixtures.h"
#include "support.h"

namespace {

using namespace support;

QString display;
QProcess *xvfb = nullptr;

class Window : public ::testing::Test {
protected:
    // Xvfb picks a free display and names it on standard output once it accepts clients.
    static void SetUpTestSuite() {
        xvfb = new QProcess;
        xvfb->start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1100x24", "-nolisten", "tcp"});
        xvfb->waitForReadyRead(20000);
        display = ":" + xvfb->readAllStandardOutput().trimmed();
    }
    static void TearDownTestSuite() {
        xvfb->terminate();
        xvfb->waitForFinished();
        delete xvfb;
    }

    QTemporaryDir dir;
    QProcess editor;
    QString window;

    QString path(const QString &name) const { return dir.filePath(name); }
    static QByteArray tool(const QString &program, const QStringList &args) {
        return run(program, args, {"DISPLAY=" + display}, {}, 40000).out.trimmed();
    }
    static void xdo(const QStringList &args) {
        tool("xdotool", args);
        QThread::msleep(150);
    }
    // The first window on screen with this title, waiting for it as long as a busy machine may need.
    static QString find(const QString &title) {
        return tool("timeout", {"30", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"})
            .split('\n').value(0);
    }
    // Without a title the window is named after the input file. Each password is typed into the prompt in turn.
    void launch(const QString &in, const QString &title = "e2e note", const QStringList &passwords = {}) {
        editor.setEnvironment(QProcess::systemEnvironment() << "DISPLAY=" + display);
        editor.start(TAVRIN_PDF, QStringList{in, path("out.pdf")} << (title.isEmpty() ? QStringList() : QStringList{title}));
        ASSERT_TRUE(editor.waitForStarted());
        for (const QString &password : passwords) {
            const QString prompt = find("Password");
            ASSERT_FALSE(prompt.isEmpty());
            xdo({"windowfocus", "--sync", prompt});
            xdo({"type", password});
            xdo({"key", "Return"});
        }
        window = find(title.isEmpty() ? QFileInfo(in).fileName() : title);
        ASSERT_FALSE(window.isEmpty());
        xdo({"windowfocus", "--sync", window});
        QThread::msleep(300);
    }
    int finish() {
        editor.waitForFinished(10000);
        EXPECT_EQ(editor.exitStatus(), QProcess::NormalExit) << editor.readAllStandardError().toStdString();
        return editor.state() == QProcess::NotRunning ? editor.exitCode() : -1;
    }
    QImage screenshot() {
        tool("import", {"-window", window, path("shot.png")});
        return QImage(path("shot.png")).convertToFormat(QImage::Format_RGB32);
    }
    // A line of text as the screen shows it: the n-th band of rows holding dark pixels below the strip.
    QRect line(int n = 0) {
        const QImage shot = screenshot();
        QRect band;
        for (int y = 60; y < shot.height(); ++y) {
            QRect row;
            for (int x = 20; x < shot.width() - 30; ++x)
                if (qGray(shot.pixel(x, y)) < 110) row |= QRect(x, y, 1, 1);
            if (row.isEmpty() && !band.isEmpty() && n-- == 0) break;
            if (row.isEmpty()) band = {};
            band |= row;
        }
        return band;
    }
    void clickAt(QPoint p, int times = 1) {
        xdo({"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y()), "click", "--repeat",
             QString::number(times), "--delay", "80", "1"});
    }
    static constexpr QPoint kYellowSwatch{21, 20}, kErase{320, 20};  // Erase lies right of the ten swatches
    // A drag from just before the first line of text to just after it.
    QRect dragOverFirstLine() {
        const QRect r = line();
        EXPECT_FALSE(r.isEmpty());
        const QString y = QString::number(r.center().y());
        xdo({"mousemove", "--window", window, QString::number(r.left() - 2), y, "mousedown", "1"});
        xdo({"mousemove", "--window", window, QString::number(r.center().x()), y});
        xdo({"mousemove", "--window", window, QString::number(r.right() + 2), y, "mouseup", "1"});
        QThread::msleep(200);
        return r;
    }
    QString document() {
        fixtures::writeTextPdf(path("in.pdf"), {{"Highlight these words here", "", "and leave this line alone"}});
        return path("in.pdf");
    }
};

// A locked file asks for its password before the editor opens, and again after a wrong one. A drag over the first
// line with yellow armed, then Ctrl+S, writes a highlight over the dragged words and keeps the encryption. Escape
// at the prompt gives up and writes nothing.
TEST_F(Window, APasswordOpensTheFileAndTheSaveKeepsItLocked) {
    const QString plain = document(), in = path("locked.pdf"), out = path("out.pdf");
    tool("qpdf", {"--encrypt", "user pw", "owner pw", "256", "--", plain, in});
    launch(in, "e2e note", {"wrong", "user pw"});
    clickAt(kYellowSwatch);
    dragOverFirstLine();
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0);
    EXPECT_TRUE(tool("qpdf", {"--show-encryption", "--password=user pw", out}).contains("R = 6"));
    const auto found = highlights(out, "user pw");
    ASSERT_EQ(found.size(), 1u);
    expectOver(found[0].rect, plain, 0, "Highlight", "here");

    QFile::remove(out);
    editor.start(TAVRIN_PDF, {in, out});
    xdo({"windowfocus", "--sync", find("Password")});
    xdo({"key", "Escape"});
    EXPECT_EQ(finish(), 2) << editor.readAllStandardError().toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

// The file comes with two highlights, one over the other: a click in erase mode takes one. A drag and Ctrl+C put the
// text on the clipboard and the primary selection. With a colour armed a double-click paints the word, also at 200%
// from the top left; Ctrl+S writes the highlight left and the two painted.
TEST_F(Window, EraseCopyAndPaintAtEveryZoom) {
    const QString marked = path("marked.pdf"), out = path("out.pdf");
    ASSERT_EQ(runPdf({document(), marked, "--test", "these words"}).status, 0);
    ASSERT_EQ(runPdf({marked, marked, "--test", "these words"}).status, 0);
    launch(marked, {});
    const QImage shot = screenshot();
    const QRect painted = where(shot.copy(0, 60, shot.width(), shot.height() - 60), yellow).translated(0, 60);
    ASSERT_FALSE(painted.isEmpty());
    for (const QPoint p : {kErase, painted.center(), kErase}) clickAt(p);

    const QRect first = dragOverFirstLine();
    xdo({"key", "ctrl+c"});
    EXPECT_EQ(tool("xclip", {"-o", "-selection", "clipboard"}), "Highlight these words here");
    EXPECT_EQ(tool("xclip", {"-o", "-selection", "primary"}), "Highlight these words here");
    clickAt(first.bottomLeft() + QPoint(0, 300));  // a click beside the text clears the selection
    clickAt(kYellowSwatch);
    clickAt(first.topLeft() + QPoint(6, first.height() / 2), 2);
    const int unzoomed = line(1).height();
    for (int i = 0; i < 3; ++i) xdo({"key", "ctrl+plus"});
    xdo({"key", "Home"});
    const QRect third = line(1);
    ASSERT_FALSE(third.isEmpty());
    EXPECT_NEAR(third.height(), 2 * unzoomed, 3);
    clickAt(third.topLeft() + QPoint(6, third.height() / 2), 2);
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0);
    const auto found = highlights(out);
    ASSERT_EQ(found.size(), 3u);
    expectOver(found[0].rect, out, 0, "these", "words");
    expectOver(found[1].rect, out, 0, "Highlight");
    expectOver(found[2].rect, out, 0, "and");
}

// A page that takes many seconds to draw holds up nothing: the strip answers and Escape ends the editor while the
// page is still blank.
TEST_F(Window, ASlowPageHoldsUpNothing) {
    fixtures::RawPage slow;
    slow.texts = {{72, 740, "A plot that takes long to draw"}};
    slow.drawing = fixtures::slowDrawing(6000);  // about 40 s
    fixtures::writeRawPdf(path("slow.pdf"), {slow});
    launch(path("slow.pdf"));
    const QImage before = screenshot();
    clickAt(kYellowSwatch);
    const QImage after = screenshot();
    const QImage page = after.copy(40, 100, after.width() - 80, after.height() - 140);
    EXPECT_TRUE(where(page, [](QColor c) { return qGray(c.rgb()) < 200; }).isEmpty())
        << "the page was drawn before the test could look: make it slower";
    EXPECT_NE(before.copy(0, 0, before.width(), 40), after.copy(0, 0, after.width(), 40));  // the ring and status
    xdo({"key", "Escape"});
    EXPECT_EQ(finish(), 2) << editor.readAllStandardError().toStdString();
}

}  // namespace
