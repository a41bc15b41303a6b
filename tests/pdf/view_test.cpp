// What the page view draws, and where zooming and the keys take it.
#include <gtest/gtest.h>

#include <unistd.h>

#include <QScrollBar>
#include <QSignalSpy>
#include <QWheelEvent>

#include "editor_support.h"
#include "support.h"

namespace {

using support::where;
using support::yellow;

class View : public Opened {
protected:
    // The view as it is drawn once every render it asked for has landed.
    QImage shown() {
        for (int i = 0; i < 1000; ++i) {
            QTest::qWait(10);
            if (editor->view->rendering()) continue;
            const QImage image = viewport()->grab().toImage();
            if (!editor->view->rendering()) return image;
        }
        ADD_FAILURE() << "the renders never settled";
        return {};
    }
    static bool tinted(QColor c) { return c.blue() > c.red() + 30; }
    void wheel(QPoint at, int notches, Qt::KeyboardModifiers modifiers) {
        QWheelEvent event(at, viewport()->mapToGlobal(at), {}, {0, 120 * notches}, Qt::NoButton, modifiers,
                          Qt::NoScrollPhase, false);
        QApplication::sendEvent(viewport(), &event);
    }
};

TEST_F(View, DrawsThePagesTheSelectionAndThePaintWhereTheyLie) {
    const QPoint from = at(0, "opening"), to = at(0, "line", 1);
    drag(from, to);
    QImage image = shown();
    // The text where the text model puts it.
    const QRect page = editor->view->pageRect(editor->doc->page(0)).toRect() & image.rect();
    const QRect text = where(image.copy(page), [](QColor c) { return c.lightness() < 100; }).translated(page.topLeft());
    EXPECT_NEAR(text.left(), at(0, "The").x(), 3);
    EXPECT_NEAR(text.right(), at(0, "page", 1).x(), 3);
    EXPECT_NEAR(text.center().y(), at(0, "second").y(), 8);

    const QRect tint = where(image, tinted);
    EXPECT_NEAR(tint.left(), from.x(), 3);
    EXPECT_NEAR(tint.right(), to.x(), 3);
    EXPECT_NEAR(tint.center().y(), from.y(), 4);
    EXPECT_LT(tint.height(), 30);

    QSignalSpy rendered(editor->view, &PDFView::pageRendered);
    clickSwatch(0);  // paints the selection
    image = shown();
    EXPECT_TRUE(rendered.contains({0}));  // not only drawn over the old image
    EXPECT_TRUE(where(image, tinted).isEmpty());
    const QRect painted = where(image, yellow);
    EXPECT_NEAR(painted.left(), from.x(), 6);
    EXPECT_NEAR(painted.right(), to.x(), 6);
    EXPECT_NEAR(painted.center().y(), from.y(), 4);

    editor->undoLast();
    EXPECT_TRUE(where(shown(), yellow).isEmpty());
}

TEST_F(View, ZoomKeepsItsPointAndKeysMoveThroughTheDocument) {
    // Ctrl+wheel keeps the word under the pointer; keys keep the view's centre.
    const QPoint word = at(0, "second");
    wheel(word, 3, Qt::ControlModifier);
    EXPECT_NEAR(editor->view->zoom(), 1.2 * 1.2 * 1.2, 1e-9);
    EXPECT_LE((at(0, "second") - word).manhattanLength(), 2);
    QTest::keyClick(editor->view, Qt::Key_0, Qt::ControlModifier);
    EXPECT_EQ(editor->view->zoom(), 1.0);
    const QPointF centre = QRectF(viewport()->rect()).center();
    PDFPage *page = editor->view->pageForPoint(centre);
    ASSERT_TRUE(page);
    const QPointF before = editor->view->convertPointToPage(centre, page);
    for (int i = 0; i < 3; ++i) QTest::keyClick(editor->view, Qt::Key_Plus, Qt::ControlModifier);
    EXPECT_EQ(editor->view->zoom(), 2.0);
    EXPECT_LT(QLineF(editor->view->convertPointToPage(centre, page), before).length(), 2.0);
    EXPECT_GT(editor->view->horizontalScrollBar()->maximum(), 0);
    for (int i = 0; i < 20; ++i) QTest::keyClick(editor->view, Qt::Key_Equal, Qt::ControlModifier);
    EXPECT_EQ(editor->view->zoom(), 8.0);
    for (int i = 0; i < 30; ++i) QTest::keyClick(editor->view, Qt::Key_Minus, Qt::ControlModifier);
    EXPECT_EQ(editor->view->zoom(), 0.25);
    QTest::keyClick(editor->view, Qt::Key_0, Qt::ControlModifier);

    // Space pages on, End and Home go to the last page and the first; a plain wheel scrolls.
    QScrollBar *bar = editor->view->verticalScrollBar();
    bar->setValue(0);
    QTest::keyClick(editor->view, Qt::Key_Space);
    EXPECT_GT(bar->value(), viewport()->height() / 2);
    QTest::keyClick(editor->view, Qt::Key_Space, Qt::ShiftModifier);
    EXPECT_EQ(bar->value(), 0);
    QTest::keyClick(editor->view, Qt::Key_End, Qt::ControlModifier);
    EXPECT_LE(editor->view->pageRect(editor->doc->page(2)).bottom(), viewport()->height());
    QTest::keyClick(editor->view, Qt::Key_Home);
    EXPECT_EQ(bar->value(), 0);
    wheel(word, -1, Qt::NoModifier);
    EXPECT_GT(bar->value(), 0);
    EXPECT_EQ(editor->view->zoom(), 1.0);
}

TEST_F(View, ClicksSelectAWordALineAndExtend) {
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, at(0, "second", 0.5));
    EXPECT_EQ(editor->view->currentSelection().string, "second");
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, at(0, "second", 0.5));  // the third click
    EXPECT_EQ(editor->view->currentSelection().string, "and the second line of it");
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, at(0, "opening", 0.5));
    QTest::qWait(QApplication::doubleClickInterval() + 50);
    QTest::mouseClick(viewport(), Qt::LeftButton, Qt::ShiftModifier, at(0, "second", 1));
    EXPECT_EQ(editor->view->currentSelection().string, "opening line of the page\nand the second");
}

// A link: a pointing hand over it, a click goes to its target, but not in erase mode.
TEST_F(EditorTest, LinksAndTheCursor) {
    const QString in = dir.filePath("links.pdf");
    fixtures::RawPage start, middle, target;
    start.texts = {{72, 700, "Go to the last page"}, {72, 600, "plain text"}};
    start.extra = "/Annots [<< /Type /Annot /Subtype /Link /Rect [70 690 300 715] /Dest [8 0 R /XYZ 0 792 0] >>]";
    middle.texts = target.texts = {{72, 700, "more text"}};
    fixtures::writeRawPdf(in, {start, middle, target});
    openFile(in);
    const auto cursorAt = [&](QPoint p) {
        QTest::mouseMove(viewport(), p);
        return viewport()->cursor().shape();
    };
    EXPECT_EQ(cursorAt(at(0, "plain", 0.5)), Qt::IBeamCursor);
    EXPECT_EQ(cursorAt(at(0, "plain") + QPoint(0, 60)), Qt::ArrowCursor);
    const QPoint link = at(0, "last", 0.5);
    EXPECT_EQ(cursorAt(link), Qt::PointingHandCursor);

    QTest::mouseClick(editor->eraseBtn, Qt::LeftButton);
    click(link);
    EXPECT_EQ(editor->view->verticalScrollBar()->value(), 0);
    QTest::mouseClick(editor->eraseBtn, Qt::LeftButton);
    click(link);
    const QRectF shown = editor->view->pageRect(editor->doc->page(2));
    EXPECT_LE(std::abs(shown.top()), 10);
}

// Pages of absurd shape, fitted to the width and zoomed: drawn, and nothing on standard error, where Poppler
// complains when asked for pixels it cannot allocate.
TEST_F(EditorTest, AbsurdPagesRenderQuietly) {
    const QString in = dir.filePath("odd.pdf");
    fixtures::writeRawPdf(in, {{{0, 0, 1, 14400}, 0, {{0, 7000, "a needle"}}}, {{0, 0, 1, 400}, 0, {{0, 200, "end"}}}});
    openFile(in);
    const QtMessageHandler qt = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int saved = ::dup(STDERR_FILENO);
    QFile err(dir.filePath("stderr"));
    ASSERT_TRUE(err.open(QIODevice::ReadWrite) && ::dup2(err.handle(), STDERR_FILENO) >= 0);
    QSignalSpy rendered(editor->view, &PDFView::pageRendered);
    for (double zoom : {1.0, 8.0}) {
        editor->view->setZoom(zoom, {});
        QTest::qWait(200);  // a scroll bar came or went: the view re-renders once that settles
        for (int step = 0; step <= 4; ++step) {
            editor->view->verticalScrollBar()->setValue(editor->view->verticalScrollBar()->maximum() * step / 4);
            for (int i = 0; i < 500 && (viewport()->grab(), editor->view->rendering()); ++i) QTest::qWait(10);
        }
    }
    ::dup2(saved, STDERR_FILENO);
    ::close(saved);
    qInstallMessageHandler(qt);
    EXPECT_GE(rendered.count(), 4);  // drawn at both zooms, whatever the timing
    err.close();
    EXPECT_EQ(err.size(), 0);
}

}  // namespace
