// The real program in a real window under Xvfb, driven with xdotool as a person would.
#include <gtest/gtest.h>
#include <xcb/xcb.h>

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
    static QByteArray tool(const QString &program, const QStringList &args) {
        return run(program, args, {"DISPLAY=" + display}, {}, 20000).out.trimmed();
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

    // Without a title the window is named after the input file. Each password is typed into the prompt in turn.
    void launch(const QString &in, const QString &out, const QString &title = "e2e note",
                const QStringList &passwords = {}) {
        editor.setEnvironment(QProcess::systemEnvironment() << "DISPLAY=" + display);
        editor.start(TAVRIN_PDF, title.isEmpty() ? QStringList{in, out} : QStringList{in, out, title});
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
    static constexpr QPoint kYellowSwatch{21, 20};
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
    // Answers Save to the question, the program's other window on screen, whose first button has the focus.
    // Without a window manager it does not always get the keyboard focus by itself, so it is given it.
    void answerSave() {
        QString box;
        for (int i = 0; i < 50 && box.isEmpty(); ++i, QThread::msleep(200))
            for (const QString &id : QString(tool("xdotool", {"search", "--onlyvisible", "--pid", QString::number(editor.processId())})).split('\n'))
                if (!id.isEmpty() && id != window) box = id;
        ASSERT_FALSE(box.isEmpty()) << "no question on screen";
        xdo({"windowfocus", "--sync", box});
        xdo({"key", "space"});
    }
    // Asks the window to close as a window manager does (WM_DELETE_WINDOW), and waits for the server's answer:
    // a client that hangs up at once may have its last requests dropped unread.
    void closeRequest() {
        xcb_connection_t *c = xcb_connect(display.toLatin1(), nullptr);
        const auto atom = [c](const QByteArray &name) {
            xcb_intern_atom_reply_t *reply =
                xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(name.size()), name.constData()), nullptr);
            const xcb_atom_t a = reply ? reply->atom : xcb_atom_t(XCB_ATOM_NONE);
            free(reply);
            return a;
        };
        xcb_client_message_event_t event{};
        event.response_type = XCB_CLIENT_MESSAGE;
        event.format = 32;
        event.window = window.toUInt();
        event.type = atom("WM_PROTOCOLS");
        event.data.data32[0] = atom("WM_DELETE_WINDOW");
        event.data.data32[1] = XCB_CURRENT_TIME;
        free(xcb_request_check(c, xcb_send_event_checked(c, 0, event.window, XCB_EVENT_MASK_NO_EVENT,
                                                         reinterpret_cast<const char *>(&event))));
        xcb_disconnect(c);
    }
    QString document() {
        const QString in = path("in.pdf");
        fixtures::writeTextPdf(in, {{"Highlight these words here", "", "and leave this line alone"}});
        return in;
    }
};

// A locked file asks for its password before the editor opens, and again after a wrong one. A drag over the
// first line with yellow armed, then the window manager's close request answered Save, writes a highlight over
// the dragged words and keeps the encryption. Escape at the prompt gives up and writes nothing.
TEST_F(Window, APasswordOpensTheFileAndTheCloseRequestSavesItLocked) {
    const QString plain = document(), in = path("locked.pdf"), out = path("out.pdf");
    tool("qpdf", {"--encrypt", "user pw", "owner pw", "256", "--", plain, in});
    launch(in, out, "e2e note", {"wrong", "user pw"});
    clickAt(kYellowSwatch);
    dragOverFirstLine();
    closeRequest();
    answerSave();
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

TEST_F(Window, ClicksSelectAndCopyAndPaintAtEveryZoom) {
    const QString out = path("out.pdf");
    launch(document(), out);
    // A drag, then Ctrl+C: the clipboard and the primary selection hold the text.
    const QRect first = dragOverFirstLine();
    xdo({"key", "ctrl+c"});
    EXPECT_EQ(tool("xclip", {"-o", "-selection", "clipboard"}), "Highlight these words here");
    EXPECT_EQ(tool("xclip", {"-o", "-selection", "primary"}), "Highlight these words here");

    // With a colour armed, a double-click paints the word; then the same at 200%, from the top left.
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
    ASSERT_EQ(found.size(), 2u);
    expectOver(found[0].rect, out, 0, "Highlight");
    expectOver(found[1].rect, out, 0, "and");
}

// A page that takes many seconds to draw holds up nothing: the strip answers and Escape ends the editor
// while the page is still blank.
TEST_F(Window, ASlowPageHoldsUpNothing) {
    const QString in = path("slow.pdf");
    fixtures::RawPage slow;
    slow.texts = {{72, 740, "A plot that takes long to draw"}};
    slow.drawing = fixtures::slowDrawing(6000);  // about 40 s
    fixtures::writeRawPdf(in, {slow});
    launch(in, path("out.pdf"));
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

// The file comes with two highlights, one over the other: a click takes one, Ctrl+S writes the other.
TEST_F(Window, ErasingAHighlightFromTheFileRemovesItFromTheOutput) {
    const QString marked = path("marked.pdf"), out = path("out.pdf");
    ASSERT_EQ(runPdf({document(), marked, "--test", "these words"}).status, 0);
    ASSERT_EQ(runPdf({marked, marked, "--test", "these words"}).status, 0);
    launch(marked, out, {});
    const QImage shot = screenshot();
    const QRect painted = where(shot.copy(0, 60, shot.width(), shot.height() - 60), yellow).translated(0, 60);
    ASSERT_FALSE(painted.isEmpty());
    clickAt({320, kYellowSwatch.y()});  // Erase, right of the ten swatches
    clickAt(painted.center());
    xdo({"key", "ctrl+s"});
    ASSERT_EQ(finish(), 0);
    EXPECT_EQ(highlights(out).size(), 1u);
}

}  // namespace
