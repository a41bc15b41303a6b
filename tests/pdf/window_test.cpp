// The real program in a real window under Xvfb, driven with xdotool as a person would.
#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <QThread>

#include "fixtures.h"
#include "support.h"

namespace {

using namespace support;

class Window : public ::testing::Test {
protected:
    // Xvfb picks a free display and names it on standard output once it accepts clients.
    QProcess xvfb;
    const QString display = [this] {
        xvfb.start("Xvfb", {"-displayfd", "1", "-screen", "0", "1280x1100x24", "-nolisten", "tcp"});
        xvfb.waitForReadyRead(20000);
        return ":" + xvfb.readAllStandardOutput().trimmed();
    }();
    ~Window() override { xvfb.terminate(), xvfb.waitForFinished(); }
    QTemporaryDir dir;
    QProcess editor;
    QString window;

    QString path(const QString &name) const { return dir.filePath(name); }
    QByteArray tool(const QString &program, const QStringList &args) {
        return run(program, args, {"DISPLAY=" + display}, {}, 40000).out.trimmed();
    }
    void xdo(const QStringList &args) { tool("xdotool", args), QThread::msleep(150); }
    // The first window on screen with this title, waiting for it as long as a busy machine may need.
    QString find(const QString &title) {
        return tool("timeout", {"30", "xdotool", "search", "--sync", "--onlyvisible", "--name", "^" + title + "$"})
            .split('\n').value(0);
    }
    // Starts the program, types each password into its prompt in turn and waits for the window of that title.
    void launch(const QStringList &args, const QStringList &passwords, const QString &title) {
        editor.setEnvironment(QProcess::systemEnvironment() << "DISPLAY=" + display);
        editor.start(TAVRIN_PDF, args);
        ASSERT_TRUE(editor.waitForStarted());
        for (const QString &password : passwords) {
            const QString prompt = find("Password");
            ASSERT_FALSE(prompt.isEmpty());
            xdo({"windowfocus", "--sync", prompt});
            xdo({"type", password});
            xdo({"key", "Return"});
        }
        window = find(title);
        ASSERT_FALSE(window.isEmpty());
        xdo({"windowfocus", "--sync", window});
        QThread::msleep(300);
    }
    int finish() {  // the exit status, -1 for a crash or a hang
        editor.waitForFinished(10000);
        return editor.state() == QProcess::NotRunning && editor.exitStatus() == QProcess::NormalExit ? editor.exitCode() : -1;
    }
    // A drag across the first line of text on screen: the first band of rows with dark pixels below the strip.
    void dragOverFirstLine() {
        tool("import", {"-window", window, path("shot.png")});
        const QImage shot = QImage(path("shot.png")).convertToFormat(QImage::Format_RGB32);
        QRect r;
        for (int y = 60; y < shot.height() && (r.isEmpty() || r.bottom() >= y - 1); ++y)
            for (int x = 20; x < shot.width() - 30; ++x)
                if (qGray(shot.pixel(x, y)) < 110) r |= QRect(x, y, 1, 1);
        ASSERT_FALSE(r.isEmpty());
        const QString y = QString::number(r.center().y());
        xdo({"mousemove", "--window", window, QString::number(r.left() - 2), y, "mousedown", "1"});
        xdo({"mousemove", "--window", window, QString::number(r.center().x()), y});
        xdo({"mousemove", "--window", window, QString::number(r.right() + 2), y, "mouseup", "1"});
        QThread::msleep(200);
    }
};

// A locked file asks for its password, again after a wrong one. Ctrl+C copies the dragged line; the yellow swatch
// paints it and Ctrl+S writes it, still encrypted. Escape at the prompt gives up and writes nothing.
TEST_F(Window, APasswordOpensTheFileAndTheSaveKeepsItLocked) {
    const QString plain = path("in.pdf"), in = path("locked.pdf"), out = path("out.pdf");
    fixtures::writeTextPdf(plain, {{"Highlight these words here", "", "and leave this line alone"}});
    tool("qpdf", {"--encrypt", "user pw", "owner pw", "256", "--", plain, in});
    launch({in, out, "e2e note"}, {"wrong", "user pw"}, "e2e note");
    dragOverFirstLine();
    xdo({"key", "ctrl+c"});
    EXPECT_EQ(tool("xclip", {"-o", "-selection", "clipboard"}), "Highlight these words here");
    EXPECT_EQ(tool("xclip", {"-o", "-selection", "primary"}), "Highlight these words here");
    xdo({"mousemove", "--window", window, "21", "20", "click", "1"});
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0) << editor.readAllStandardError().toStdString();
    EXPECT_TRUE(tool("qpdf", {"--show-encryption", "--password=user pw", out}).contains("R = 6"));
    const auto found = highlights(out, "user pw");
    ASSERT_EQ(found.size(), 1u);
    expectOver(found[0].rect, plain, 0, "Highlight", "here");

    QFile::remove(out);
    launch({in, out}, {}, "Password");
    xdo({"key", "Escape"});
    EXPECT_EQ(finish(), 2) << editor.readAllStandardError().toStdString();
    EXPECT_FALSE(QFile::exists(out));
}

}  // namespace
