// The real program in a real window under Xvfb, driven with xdotool as a person would.
#include <gtest/gtest.h>

#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QProcess>
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
    static QStringList environment() { return QProcess::systemEnvironment() << "DISPLAY=" + display; }
    static QByteArray tool(const QString &program, const QStringList &args) {
        QProcess p;
        p.setEnvironment(environment());
        p.start(program, args);
        p.waitForFinished(20000);
        return p.readAllStandardOutput().trimmed();
    }
    static void xdo(const QStringList &args) {
        tool("xdotool", args);
        QThread::msleep(150);
    }
    // The first window on screen with this title, waiting up to ten seconds for it.
    static QString find(const QString &title) {
        return tool("timeout", {"10", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"})
            .split('\n').value(0);
    }

    // Without a title the window is named after the input file.
    void launch(const QString &in, const QString &out, const QString &title = "e2e note") {
        editor.setEnvironment(environment());
        editor.start(TAVRIN_PDF, title.isEmpty() ? QStringList{in, out} : QStringList{in, out, title});
        ASSERT_TRUE(editor.waitForStarted());
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
    // The first line of text as the screen shows it: the first band of rows holding dark pixels below the strip.
    QRect firstLine() {
        const QImage shot = screenshot();
        QRect band;
        for (int y = 60; y < shot.height(); ++y) {
            QRect row;
            for (int x = 20; x < shot.width() - 30; ++x)
                if (qGray(shot.pixel(x, y)) < 110) row |= QRect(x, y, 1, 1);
            if (row.isEmpty() && !band.isEmpty()) break;
            band |= row;
        }
        return band;
    }
    void clickAt(QPoint p) { xdo({"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y()), "click", "1"}); }
    static constexpr QPoint kYellowSwatch{21, 20};
    void paintFirstLine() {
        clickAt(kYellowSwatch);
        const QRect r = firstLine();
        ASSERT_FALSE(r.isEmpty());
        const QString y = QString::number(r.center().y());
        xdo({"mousemove", "--window", window, QString::number(r.left() - 2), y, "mousedown", "1"});
        xdo({"mousemove", "--window", window, QString::number(r.center().x()), y});
        xdo({"mousemove", "--window", window, QString::number(r.right() + 2), y, "mouseup", "1"});
        QThread::msleep(200);
    }
    // The question: the program's other window on screen. Its buttons take focus in the order Save,
    // Don't Save, Cancel, Save first. Without a window manager it does not always get the keyboard focus by
    // itself, so it is given it, as a window manager would.
    void answer(int tabs) {
        QString box;
        for (int i = 0; i < 50 && box.isEmpty(); ++i, QThread::msleep(200))
            for (const QString &id : QString(tool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(editor.processId())})).split('\n'))
                if (!id.isEmpty() && id != window) box = id;
        ASSERT_FALSE(box.isEmpty()) << "no question on screen";
        xdo({"windowfocus", "--sync", box});
        for (int i = 0; i < tabs; ++i) xdo({"key", "Tab"});
        xdo({"key", "space"});
    }
    QString document() {
        const QString in = path("in.pdf");
        fixtures::writeTextPdf(in, {{"Highlight these words here", "", "and leave this line alone"}});
        return in;
    }
};

// A drag over the first line with yellow armed, then the window manager's close request, answered Save.
TEST_F(Window, TheCloseRequestAsksAndSaveWritesAHighlightOverTheDraggedWords) {
    const QString out = path("out.pdf");
    launch(document(), out);
    paintFirstLine();
    tool(WM_CLOSE, {window});
    answer(0);
    ASSERT_EQ(finish(), 0);
    const auto found = highlights(out);
    ASSERT_EQ(found.size(), 1u);
    const QRectF r = found[0].rect, first = wordBox(out, 0, "Highlight"), last = wordBox(out, 0, "here");
    // pdftotext's boxes are top-down; the page is 792 points high.
    EXPECT_NEAR(r.left(), first.left(), 2.0);
    EXPECT_NEAR(r.right(), last.right(), 2.0);
    EXPECT_NEAR(792 - r.center().y(), first.center().y(), 3.0);
}

// The file comes with two highlights, one over the other: a click takes one, Ctrl+S writes the other.
TEST_F(Window, ErasingAHighlightFromTheFileRemovesItFromTheOutput) {
    const QString marked = path("marked.pdf"), out = path("out.pdf");
    ASSERT_EQ(runPdf({document(), marked, "--test", "these words"}).status, 0);
    ASSERT_EQ(runPdf({marked, marked, "--test", "these words"}).status, 0);
    launch(marked, out, {});
    const QImage shot = screenshot();
    const QRect yellow = yellowBox(shot.copy(0, 60, shot.width(), shot.height() - 60)).translated(0, 60);
    ASSERT_FALSE(yellow.isEmpty());
    clickAt({320, kYellowSwatch.y()});  // Erase, right of the ten swatches
    clickAt(yellow.center());
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0);
    EXPECT_EQ(highlights(out).size(), 1u);
}

}  // namespace
