// Pointer, tools, undo and the status line, driven through real mouse and key events.
#include <gtest/gtest.h>

#include <QWindow>

#include "editor_support.h"
#include "palette.h"

namespace {

class Interaction : public EditorTest {
protected:
    void SetUp() override {
        open({{"The opening line of the page", "and the second line of it", "a third line to close"},
              {"Another page begins here", "and goes on"}});
    }
};

TEST_F(Interaction, AnArmedColourPaintsEveryDragAndStaysArmed) {
    clickSwatch(3);
    EXPECT_EQ(editor->armed, color(palette[3].second));
    EXPECT_EQ(editor->buttons[3]->ringWidth(), 3.0);
    EXPECT_EQ(editor->buttons[3]->ringColor(), editor->window->palette().color(QPalette::Highlight));
    EXPECT_EQ(editor->buttons[2]->ringColor(), editor->window->palette().color(QPalette::Mid));
    EXPECT_EQ(editor->buttons[2]->ringWidth(), 1.0);
    EXPECT_EQ(status(), "Every selection is painted");

    drag(at(0, "line"), at(0, "second", 1));
    EXPECT_EQ(highlightsOn(0), 2u);
    EXPECT_EQ(editor->doc->page(0)->annotations()[0]->color(), color(palette[3].second));
    EXPECT_TRUE(editor->view->currentSelection().isEmpty());
    EXPECT_TRUE(editor->changed);
    drag(at(0, "third"), at(0, "close", 1));
    EXPECT_EQ(highlightsOn(0), 3u);
    EXPECT_EQ(status(), "Every selection is painted");

    // A plain click paints nothing and refreshes nothing.
    editor->status->setText("untouched");
    click(at(0, "opening"));
    EXPECT_EQ(highlightsOn(0), 3u);
    EXPECT_EQ(status(), "untouched");

    // A second click on the armed swatch disarms it; the count shows.
    clickSwatch(3);
    EXPECT_FALSE(editor->armed);
    EXPECT_EQ(editor->buttons[3]->ringWidth(), 1.0);
    EXPECT_EQ(status(), "3 marks added");
}

TEST_F(Interaction, ASwatchPaintsASelectionOnceAndLeavesNothingArmed) {
    clickSwatch(0);
    drag(at(0, "opening"), at(0, "opening", 1));  // armed yellow paints this one
    drag(at(0, "second"), at(0, "second", 1));
    ASSERT_EQ(highlightsOn(0), 2u);
    clickSwatch(0);  // disarm
    drag(at(0, "third"), at(0, "third", 1));
    EXPECT_EQ(highlightsOn(0), 2u);
    EXPECT_EQ(editor->view->currentSelection().string, "third");
    clickSwatch(5);
    EXPECT_EQ(highlightsOn(0), 3u);
    EXPECT_EQ(editor->doc->page(0)->annotations().back()->color(), color(palette[5].second));
    EXPECT_FALSE(editor->armed);
    EXPECT_TRUE(editor->view->currentSelection().isEmpty());
    EXPECT_EQ(status(), "3 marks added");
}

TEST_F(Interaction, EraseTakesTheLatestHighlightUnderThePointer) {
    clickSwatch(1);
    drag(at(0, "opening"), at(0, "line", 1));
    drag(at(0, "opening"), at(0, "opening", 1));  // on top of the first
    clickSwatch(1);
    ASSERT_EQ(highlightsOn(0), 2u);
    const auto earlier = editor->doc->page(0)->annotations()[0];

    QTest::mouseClick(editor->eraseBtn, Qt::LeftButton);
    EXPECT_TRUE(editor->erasing && editor->eraseBtn->isChecked());
    EXPECT_EQ(status(), "Click a highlight to remove it");
    click(at(0, "third"));  // no highlight there
    EXPECT_EQ(highlightsOn(0), 2u);
    click(at(0, "opening", 0.5));
    ASSERT_EQ(highlightsOn(0), 1u);
    EXPECT_EQ(editor->doc->page(0)->annotations()[0], earlier);
    click(at(0, "opening", 0.5));
    EXPECT_EQ(highlightsOn(0), 0u);
    EXPECT_EQ(status(), "Click a highlight to remove it");

    // Erasing leaves the history alone; a swatch leaves erase mode.
    EXPECT_EQ(editor->added.size(), 2u);
    clickSwatch(4);
    EXPECT_FALSE(editor->erasing || editor->eraseBtn->isChecked());
    EXPECT_EQ(editor->armed, color(palette[4].second));
}

TEST_F(Interaction, CtrlZUndoesOnePagesShareAndOtherKeysPassOn) {
    // One painting over both pages (the view cannot show both at once).
    PDFSelection across = editor->doc->findFirst("third");
    across.lines += editor->doc->findFirst("Another").lines;
    editor->paint(across, color(palette[0].second));
    editor->refresh();
    ASSERT_EQ(highlightsOn(0) + highlightsOn(1), 2u);
    ASSERT_EQ(editor->added.size(), 2u);
    EXPECT_EQ(status(), "2 marks added");

    int keysSeen = 0;
    struct Counter : QObject {
        int *seen;
        explicit Counter(int *s) : seen(s) {}
        bool eventFilter(QObject *, QEvent *e) override {
            *seen += e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Z;
            return false;
        }
    } counter(&keysSeen);
    editor->view->installEventFilter(&counter);

    QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier | Qt::AltModifier);
    EXPECT_EQ(highlightsOn(0) + highlightsOn(1), 1u);
    EXPECT_EQ(status(), "1 marks added");
    EXPECT_EQ(keysSeen, 0);
    QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(editor->view, Qt::Key_Z);
    EXPECT_EQ(highlightsOn(0) + highlightsOn(1), 1u);
    EXPECT_EQ(keysSeen, 2);
    QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(highlightsOn(0) + highlightsOn(1), 0u);
    EXPECT_EQ(status(), "Select text, then pick a color");
    EXPECT_TRUE(editor->changed);
    // Nothing left: swallowed all the same, and no refresh.
    editor->status->setText("untouched");
    QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier);
    EXPECT_EQ(keysSeen, 2);
    EXPECT_EQ(status(), "untouched");
}

TEST_F(Interaction, ADragPastTheBottomScrollsOnIntoTheNextPage) {
    const QPoint from = at(0, "third");
    QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
    for (int i = 0; i < 40 && editor->view->pageRect(editor->doc->page(1)).top() > 200; ++i)
        QTest::mouseMove(viewport(), QPoint(from.x(), viewport()->height() + 60));
    const QPoint to = at(1, "Another", 1);
    QTest::mouseMove(viewport(), to);
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
    const PDFSelection s = editor->view->currentSelection();
    EXPECT_EQ(s.string, "third line to close\nAnother");
    ASSERT_EQ(s.lines.size(), 2);
    EXPECT_EQ(s.lines[1].page, editor->doc->page(1));
}

TEST_F(Interaction, ReleasesThroughTheWindowAreActedOnOnce) {
    clickSwatch(2);
    QWindow *window = editor->window->windowHandle();
    const QPoint offset = viewport()->mapTo(editor->window.get(), QPoint());
    const QPoint from = at(0, "second") + offset, to = at(0, "second", 1) + offset;
    QTest::mousePress(window, Qt::LeftButton, {}, from);
    QTest::mouseMove(window, to);
    QTest::mouseRelease(window, Qt::LeftButton, {}, to);
    QTest::qWait(30);
    EXPECT_EQ(highlightsOn(0), 1u);
    EXPECT_EQ(editor->added.size(), 1u);
    // A release on the strip's background climbs through the parents: still one mouseUp, and no selection.
    QTest::mouseClick(window, Qt::LeftButton, {}, QPoint(600, 4));
    QTest::qWait(30);
    EXPECT_EQ(editor->added.size(), 1u);
}

TEST_F(EditorTest, SelectionFollowsReadingOrder) {
    open({{"left one top\tright one top", "left two middle\tright two middle", "left three bottom\tright three bottom"}});
    PDFView *view = editor->view;
    const auto selected = [&](QPoint a, QPoint b) {
        QTest::mousePress(viewport(), Qt::LeftButton, {}, a);
        QTest::mouseMove(viewport(), b);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, b);
        QTest::qWait(10);
        return view->currentSelection();
    };
    // Within the left column only left-column lines, although the right column's lines sit in between.
    PDFSelection s = selected(at(0, "one"), at(0, "three", 1));
    EXPECT_EQ(s.string, "one top\nleft two middle\nleft three");
    for (const auto &line : s.lines) EXPECT_LT(line.bounds.right(), 300);
    // Reversed, the same.
    EXPECT_EQ(selected(at(0, "three", 1), at(0, "one")).string, s.string);
    // Middle of one line to the middle of the next: the tail of the first, the head of the second.
    s = selected(at(0, "top"), at(0, "two", 1));
    EXPECT_EQ(s.string, "top\nleft two");
    EXPECT_EQ(s.lines.size(), 2);
}

}  // namespace
