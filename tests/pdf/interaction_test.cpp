// The palette, painting, pointer, tools, undo, find and the status line, mostly through real mouse and key events.
#include <gtest/gtest.h>

#include <QAccessible>
#include <QInputDialog>
#include <QKeyEvent>
#include <QLineEdit>

#include "FindBar.h"
#include "editor_support.h"
#include "support.h"

namespace {

using Interaction = Opened;

TEST(Palette, ColoursAreReadFromTheirLastSixHexDigits) {
    ASSERT_EQ(palette.size(), 10u);
    EXPECT_EQ(color(palette[0].second), QColor::fromRgbF(1.0f, 239 / 255.0f, 158 / 255.0f));
    EXPECT_EQ(color("ffef9e"), QColor(0x0f, 0xef, 0x9e));  // the first character goes whatever it is
    EXPECT_EQ(color("#123456ffef9e"), color("#ffef9e"));
    EXPECT_EQ(color(""), QColor(0, 0, 0));
}

TEST_F(Interaction, AnArmedColourPaintsEveryDragUntilClickedAgain) {
    clickSwatch(6);
    clickSwatch(3);  // switches from 6 to 3
    ASSERT_EQ(editor->armed, color(palette[3].second));
    EXPECT_EQ(editor->buttons[3]->ringWidth(), 3.0);
    EXPECT_EQ(editor->buttons[6]->ringWidth(), 1.0);
    EXPECT_EQ(status(), "Every selection is painted");
    // What a screen reader says of a swatch.
    for (int i : {3, 6}) {
        QAccessibleInterface *swatch = QAccessible::queryAccessibleInterface(editor->buttons[size_t(i)]);
        ASSERT_TRUE(swatch);
        EXPECT_EQ(swatch->text(QAccessible::Name), "Highlight " + palette[size_t(i)].first);
        EXPECT_EQ(bool(swatch->state().checked), i == 3);
    }

    drag(at(0, "line"), at(0, "second", 1));
    EXPECT_EQ(highlightsOn(0), 2u);
    EXPECT_EQ(editor->doc->page(0)->annotations()[0]->color(), color(palette[3].second));
    EXPECT_TRUE(editor->view->currentSelection().isEmpty());
    drag(at(0, "third"), at(0, "close", 1));
    EXPECT_EQ(highlightsOn(0), 3u);
    click(at(0, "opening"));  // a plain click paints nothing
    EXPECT_EQ(highlightsOn(0), 3u);

    clickSwatch(3);
    EXPECT_FALSE(editor->armed);
    EXPECT_EQ(status(), "3 marks added");
    drag(at(0, "third"), at(0, "third", 1));
    EXPECT_EQ(highlightsOn(0), 3u);
    // A swatch paints the selection once and leaves nothing armed.
    clickSwatch(5);
    EXPECT_EQ(highlightsOn(0), 4u);
    EXPECT_EQ(editor->doc->page(0)->annotations().back()->color(), color(palette[5].second));
    EXPECT_FALSE(editor->armed);
    EXPECT_TRUE(editor->view->currentSelection().isEmpty());
}

// The latest highlight under the pointer goes, one a click, also one that came with the file; nothing else does,
// such as a note over that highlight. Undo brings nothing back and removes nothing more.
TEST_F(EditorTest, EraseTakesTheLatestHighlightUnderThePointerAndNothingElse) {
    const QString in = dir.filePath("noted.pdf");
    fixtures::writeRawPdf(in, {{{0, 0, 612, 792}, 0,
                                {{72, 700, "A word under a note"}, {72, 680, "The opening line"}, {72, 660, "a third line"}},
                                "/Annots [6 0 R 7 0 R]"}}, {},
                          {"<< /Subtype /Highlight /Rect [70 695 200 712] /QuadPoints [70 712 200 712 70 695 200 695] >>",
                           "<< /Subtype /Text /Rect [70 690 120 720] /Contents (a note) >>"});
    openFile(in);
    clickSwatch(1);
    drag(at(0, "opening"), at(0, "line", 1));
    drag(at(0, "opening"), at(0, "opening", 1));  // on top of the first
    ASSERT_EQ(highlightsOn(0), 3u);
    const auto earlier = editor->doc->page(0)->annotations()[2];

    QTest::mouseClick(editor->eraseBtn, Qt::LeftButton);
    EXPECT_TRUE(editor->erasing && !editor->armed);
    EXPECT_EQ(status(), "Click a highlight to remove it");
    click(at(0, "third"));  // no highlight there
    EXPECT_EQ(highlightsOn(0), 3u);
    click(at(0, "opening", 0.5));
    ASSERT_EQ(highlightsOn(0), 2u);
    EXPECT_EQ(editor->doc->page(0)->annotations().back(), earlier);
    for (const QString word : {"opening", "word", "word"}) click(at(0, word, 0.5));
    ASSERT_EQ(editor->doc->page(0)->annotations().size(), 1u);
    EXPECT_EQ(editor->doc->page(0)->annotations()[0]->type(), "Text");

    EXPECT_EQ(editor->added.size(), 2u);
    editor->undoLast();
    editor->undoLast();
    EXPECT_EQ(editor->doc->page(0)->annotations().size(), 1u);
    clickSwatch(4);  // leaves erase mode
    EXPECT_FALSE(editor->erasing || editor->eraseBtn->isChecked());
}

// A painting makes one highlight per line piece and one undo group per page; pieces under one point are skipped,
// one point is enough. Ctrl+Z takes back the latest group, one page's share at a time; other keys with Z pass on.
TEST_F(Interaction, PaintingGroupsByPageAndCtrlZTakesBackTheLatest) {
    const QColor green = color(palette[1].second);
    PDFSelection across = editor->doc->findFirst("third");
    across.lines += editor->doc->findFirst("Another").lines;
    PDFSelection tiny = across;
    tiny.lines[0].bounds.setWidth(0.5);
    tiny.lines[1].bounds.setHeight(0.5);
    editor->paint(tiny, green);
    EXPECT_TRUE(editor->added.empty() && !editor->changed);

    const PDFSelection two = editor->doc->findFirst("page and");
    ASSERT_EQ(two.lines.size(), 2);
    editor->paint(two, green);
    ASSERT_EQ(editor->added.size(), 1u);
    ASSERT_EQ(editor->added[0].annotations.size(), 2u);
    EXPECT_EQ(editor->added[0].annotations[0]->color(), green);
    EXPECT_EQ(editor->added[0].annotations[0]->bounds(), two.lines[0].bounds);
    const auto first = editor->doc->page(0)->annotations()[0];
    editor->paint(across, green);
    ASSERT_EQ(editor->added.size(), 3u);
    EXPECT_EQ(editor->added[2].page, editor->doc->page(1));
    tiny.lines[0].bounds = {72, 500, 1, 1};
    editor->paint(tiny, green);
    ASSERT_EQ(editor->added.size(), 4u);

    struct Counter : QObject {
        int seen = 0;
        bool eventFilter(QObject *, QEvent *e) override {
            seen += e->type() == QEvent::KeyPress && static_cast<QKeyEvent *>(e)->key() == Qt::Key_Z;
            return false;
        }
    } counter;
    editor->view->installEventFilter(&counter);
    QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(editor->view, Qt::Key_Z);
    EXPECT_EQ(highlightsOn(0) + highlightsOn(1), 5u);
    // After each Ctrl+Z (the first with Alt) the highlights on either page; the last, with nothing left, is
    // swallowed all the same.
    int undo = 0;
    for (const auto &[onFirst, onSecond] : {std::pair{3u, 1u}, {3u, 0u}, {2u, 0u}, {0u, 0u}, {0u, 0u}}) {
        SCOPED_TRACE(++undo);
        QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier | (undo == 1 ? Qt::AltModifier : Qt::NoModifier));
        EXPECT_EQ(highlightsOn(0), onFirst);
        EXPECT_EQ(highlightsOn(1), onSecond);
        if (onFirst) { EXPECT_EQ(editor->doc->page(0)->annotations()[0], first) << "the first highlight, the same object"; }
        if (undo == 1) { EXPECT_EQ(status(), "4 marks added"); }
    }
    EXPECT_EQ(counter.seen, 2);
    EXPECT_EQ(status(), "Select text, then pick a color");
    EXPECT_TRUE(editor->changed);
}

// Held still past the bottom, the drag scrolls on by itself.
TEST_F(Interaction, ADragPastTheBottomScrollsOnIntoTheNextPage) {
    const QPoint from = at(0, "third");
    QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport(), QPoint(from.x(), viewport()->height() + 60));
    for (int i = 0; i < 500 && editor->view->pageRect(editor->doc->page(1)).top() > 200; ++i) QTest::qWait(10);
    ASSERT_LE(editor->view->pageRect(editor->doc->page(1)).top(), 200);
    const QPoint to = at(1, "Another", 1);
    QTest::mouseMove(viewport(), to);
    QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
    EXPECT_EQ(editor->view->currentSelection().string, "third line to close\nAnother");
}

// Ctrl+F finds as the word is typed, from the top of the view; the match is the selection that a swatch paints.
// Escape closes only the field. The page number follows the view; Ctrl+G goes to a page, out of range to an end.
TEST_F(EditorTest, FindSelectsTheMatchAndPagesAreNumbered) {
    std::vector<QStringList> pages(25, {"Nothing much on this page"});
    pages[10] = {"A line before it", "the Quagmire first appears here"};
    pages[14] = {"and a quagmire again"};
    open(pages);
    const FindBar *find = editor->findBar;
    const auto expectFound = [&](const QString &summary, int page) {
        for (int i = 0; i < 500 && find->summary()->text() != summary; ++i) QTest::qWait(10);
        EXPECT_EQ(find->summary()->text(), summary);
        EXPECT_EQ(editor->view->currentPage(), page);
        ASSERT_EQ(editor->view->currentSelection().lines.size(), 1);
        EXPECT_EQ(editor->view->currentSelection().lines[0].page->index(), page);
    };
    QTest::keyClick(editor->view, Qt::Key_F, Qt::ControlModifier);
    QTest::keyClicks(find->field(), "quagMIRE");
    expectFound("1 of 2", 10);
    EXPECT_EQ(editor->view->currentSelection().string, "Quagmire");
    for (const auto &[key, modifiers, summary, page] : {std::tuple{Qt::Key_Return, Qt::NoModifier, "2 of 2", 14},
                                                        {Qt::Key_Return, Qt::NoModifier, "1 of 2", 10},
                                                        {Qt::Key_Enter, Qt::ShiftModifier, "2 of 2", 14},
                                                        {Qt::Key_F3, Qt::NoModifier, "1 of 2", 10}}) {
        QTest::keyClick(find->field(), key, modifiers);
        expectFound(summary, page);
    }
    QTest::keyClick(find->field(), Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
    EXPECT_TRUE(editor->view->hasFocus());
    EXPECT_EXIT((QTest::keyClick(editor->view, Qt::Key_Escape), QTest::qWait(1000)), ::testing::ExitedWithCode(2), "");

    QLabel *number = nullptr;
    for (QLabel *label : viewport()->findChildren<QLabel *>())
        if (label->accessibleName() == "Page number") number = label;
    ASSERT_TRUE(number);
    QTest::keyClick(editor->view, Qt::Key_End);
    EXPECT_TRUE(number->isVisible());
    EXPECT_EQ(number->text(), "25 / 25");
    for (const auto &[asked, page] : {std::pair{20, 19}, {99, 24}, {-3, 0}}) {
        whenModal([asked = asked](QWidget *modal) {
            auto *dialog = qobject_cast<QInputDialog *>(modal);
            if (dialog) dialog->setIntValue(asked), dialog->accept();
            return dialog != nullptr;
        });
        QTest::keyClick(editor->view, Qt::Key_G, Qt::ControlModifier);
        editor->window->activateWindow();  // the offscreen platform leaves the closed dialog's window active
        QTest::qWait(20);
        EXPECT_EQ(number->text(), QString("%1 / 25").arg(page + 1));
        EXPECT_NEAR(editor->view->pageRect(editor->doc->page(page)).top(), 0, 10);
    }

    clickSwatch(0);
    ASSERT_EQ(highlightsOn(10), 1u);
    support::expectOver(editor->doc->page(10)->annotations()[0]->bounds(), dir.filePath("in.pdf"), 10, "quagmire");
}

TEST_F(EditorTest, SelectionFollowsReadingOrder) {
    open({{"left one top\tright one top", "left two middle\tright two middle", "left three bottom\tright three bottom"}});
    const auto selected = [&](QPoint a, QPoint b) {
        drag(a, b);
        return editor->view->currentSelection();
    };
    // Within the left column only left-column lines, although the right column's lines sit in between.
    const PDFSelection s = selected(at(0, "one"), at(0, "three", 1));
    EXPECT_EQ(s.string, "one top\nleft two middle\nleft three");
    for (const auto &line : s.lines) EXPECT_LT(line.bounds.right(), 300);
    EXPECT_EQ(selected(at(0, "three", 1), at(0, "one")).string, s.string);
    // Middle of one line to the middle of the next: the tail of the first, the head of the second.
    EXPECT_EQ(selected(at(0, "top"), at(0, "two", 1)).string, "top\nleft two");
    // Ending in the gutter, level with a right-hand line: still the left column.
    EXPECT_EQ(selected(at(0, "one"), at(0, "middle", 1) + QPoint(20, 9)).string, "one top\nleft two middle");
}

}  // namespace
