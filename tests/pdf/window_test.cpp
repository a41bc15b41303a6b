// The real program in a real window under Xvfb, driven with xdotool as a person would.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QDir>
#include <QFile>
#include <QImage>
#include <QProcess>
#include <QRegularExpression>
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
    static void SetUpTestSuite() {
        for (int n = 100 + getpid() % 500;; ++n) {
            if (QFile::exists(QString("/tmp/.X%1-lock").arg(n))) continue;
            display = QString(":%1").arg(n);
            break;
        }
        xvfb = new QProcess;
        xvfb->start("Xvfb", {display, "-screen", "0", "1280x1100x24", "-nolisten", "tcp"});
        xvfb->waitForStarted();
        for (int i = 0; i < 50 && QProcess::execute("sh", {"-c", "xdpyinfo -display " + display + " >/dev/null 2>&1"}) != 0; ++i)
            QThread::msleep(100);
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
        QProcess p;
        QStringList env = QProcess::systemEnvironment();
        env << "DISPLAY=" + display;
        p.setEnvironment(env);
        p.start(program, args);
        p.waitForFinished(20000);
        return p.readAllStandardOutput().trimmed();
    }
    static void xdo(const QStringList &args) {
        tool("xdotool", args);
        QThread::msleep(150);
    }

    void launch(const QString &in, const QString &out) {
        QStringList env = QProcess::systemEnvironment();
        env << "DISPLAY=" + display;
        editor.setEnvironment(env);
        editor.start(TAVRIN_PDF, {in, out, "e2e note"});
        ASSERT_TRUE(editor.waitForStarted());
        window = tool("timeout", {"10", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^e2e note$"})
                     .split('\n').value(0);
        ASSERT_FALSE(window.isEmpty());
        focus();
        QThread::msleep(300);
    }
    void focus() { xdo({"windowfocus", "--sync", window}); }
    int finish() {
        editor.waitForFinished(10000);
        if (editor.exitStatus() != QProcess::NormalExit) ADD_FAILURE() << "crashed: " << editor.readAllStandardError().toStdString();
        return editor.state() == QProcess::NotRunning && editor.exitStatus() == QProcess::NormalExit
                   ? editor.exitCode() : -1;
    }
    QImage screenshot() {
        const QString png = path("shot.png");
        tool("import", {"-window", window, png});
        return QImage(png).convertToFormat(QImage::Format_RGB32);
    }
    // A line of text as the screen shows it: the band of rows holding dark pixels below the strip.
    QRect line(int n) {
        const QImage shot = screenshot();
        std::vector<QRect> bands;
        bool inBand = false;
        for (int y = 60; y < shot.height(); ++y) {
            QRect row;
            for (int x = 20; x < shot.width() - 30; ++x)
                if (qGray(shot.pixel(x, y)) < 110) row |= QRect(x, y, 1, 1);
            if (!row.isEmpty() && !inBand) bands.push_back(row);
            else if (!row.isEmpty()) bands.back() |= row;
            inBand = !row.isEmpty();
        }
        return n < int(bands.size()) ? bands[size_t(n)] : QRect();
    }
    void clickAt(QPoint p) { xdo({"mousemove", "--window", window, QString::number(p.x()), QString::number(p.y()), "click", "1"}); }
    void dragAcross(const QRect &r) {
        const int y = r.center().y();
        xdo({"mousemove", "--window", window, QString::number(r.left() - 2), QString::number(y), "mousedown", "1"});
        xdo({"mousemove", "--window", window, QString::number(r.center().x()), QString::number(y)});
        xdo({"mousemove", "--window", window, QString::number(r.right() + 2), QString::number(y), "mouseup", "1"});
        QThread::msleep(200);
    }
    static constexpr QPoint kYellowSwatch{21, 20};
    void paintFirstLine() {
        clickAt(kYellowSwatch);
        const QRect first = line(0);
        ASSERT_FALSE(first.isEmpty());
        dragAcross(first);
    }
    // The question's buttons take focus in the order Save, Don't Save, Cancel, Save first. Without a window
    // manager the question does not always get the keyboard focus by itself, so it is given it, as a window
    // manager would.
    void answer(int tabs) {
        QString box;
        for (int i = 0; i < 50 && box.isEmpty(); ++i, QThread::msleep(200)) box = newTopLevel();
        if (box.isEmpty()) tool("import", {"-window", "root", "/tmp/tavrin-window-failure.png"});
        ASSERT_FALSE(box.isEmpty()) << "no question on screen; the screen is in /tmp/tavrin-window-failure.png";
        xdo({"windowfocus", "--sync", box});
        for (int i = 0; i < tabs; ++i) xdo({"key", "Tab"});
        xdo({"key", "space"});
    }
    // A window on screen besides the editor's: the question (it has no name of its own).
    QString newTopLevel() {
        static const QRegularExpression child("^\\s+(0x[0-9a-f]+) ");
        for (const QString &line : QString::fromLatin1(tool("xwininfo", {"-root", "-children"})).split('\n')) {
            const QString id = child.match(line).captured(1);
            if (id.isEmpty() || id.toULongLong(nullptr, 16) == window.toULongLong()) continue;
            if (tool("xwininfo", {"-id", id}).contains("IsViewable")) return QString::number(id.toULongLong(nullptr, 16));
        }
        return {};
    }
    QString document() {
        const QString in = path("in.pdf");
        fixtures::writeTextPdf(in, {{"Highlight these words here", "", "and leave this line alone"}});
        return in;
    }
};

TEST_F(Window, PaintAndSaveWritesAHighlightOverTheDraggedWords) {
    const QString out = path("out.pdf");
    launch(document(), out);
    paintFirstLine();
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0);
    const auto found = highlights(out);
    ASSERT_EQ(found.size(), 1u);
    const QRectF first = wordBox(out, 0, "Highlight"), last = wordBox(out, 0, "here");
    const QRectF r = found[0].rect;
    // pdftotext's boxes are top-down; the page is 792 points high.
    EXPECT_NEAR(r.left(), first.left(), 2.0);
    EXPECT_NEAR(r.right(), last.right(), 2.0);
    EXPECT_NEAR(792 - r.center().y(), first.center().y(), 3.0);
}

TEST_F(Window, EscapeAndDontSaveWritesNothing) {
    const QString out = path("out.pdf");
    launch(document(), out);
    paintFirstLine();
    xdo({"key", "Escape"});
    answer(1);
    EXPECT_EQ(finish(), 2);
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(Window, TheCloseRequestAsksAndSaveWrites) {
    const QString out = path("out.pdf");
    launch(document(), out);
    paintFirstLine();
    tool(WM_CLOSE, {window});
    answer(0);
    EXPECT_EQ(finish(), 0);
    EXPECT_EQ(highlights(out).size(), 1u);
}

TEST_F(Window, EscapeWithoutChangesEndsAtOnce) {
    const QString out = path("out.pdf");
    launch(document(), out);
    xdo({"key", "Escape"});
    EXPECT_EQ(finish(), 2);
    EXPECT_FALSE(QFile::exists(out));
}

TEST_F(Window, ErasingAHighlightFromTheFileRemovesItFromTheOutput) {
    const QString marked = path("marked.pdf"), out = path("out.pdf");
    ASSERT_EQ(runPdf({document(), marked, "--test", "these words"}).status, 0);
    ASSERT_EQ(highlights(marked).size(), 1u);
    launch(marked, out);
    QImage shot = screenshot();
    QRect yellow = yellowBox(shot.copy(0, 60, shot.width(), shot.height() - 60)).translated(0, 60);
    ASSERT_FALSE(yellow.isEmpty());
    clickAt({320, kYellowSwatch.y()});  // Erase, right of the ten swatches
    clickAt(yellow.center());
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0);
    EXPECT_EQ(highlights(out).size(), 0u);
}

}  // namespace
