// The editor in-process on Qt's offscreen platform, driven through real mouse and key events.
#include <gtest/gtest.h>
#include <unistd.h>

#include <QAbstractButton>
#include <QAccessible>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>

#include "Editor.h"
#include "FindBar.h"
#include "PDFView.h"
#include "Swatch.h"
#include "fixtures.h"
#include "palette.h"
#include "support.h"

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

namespace {

using namespace support;
using ::testing::ExitedWithCode;

class EditorTest : public ::testing::Test {
protected:
    // Named after the run and the test, not random: a death test's child runs the test again and must write where
    // the parent looks, so the run's folder is handed down in the environment; two runs never meet.
    static QString folder() {
        if (qEnvironmentVariableIsEmpty("TAVRIN_TEST_RUN"))
            qputenv("TAVRIN_TEST_RUN", QFile::encodeName(QDir::temp().filePath(QString("tavrin-test-%1").arg(getpid()))));
        const auto *test = ::testing::UnitTest::GetInstance()->current_test_info();
        const QString root = qEnvironmentVariable("TAVRIN_TEST_RUN") + "/" + test->test_suite_name() + "." + test->name();
        QDir(root).removeRecursively(), QDir().mkpath(root);
        return root;
    }
    const QString root = folder();
    ~EditorTest() override { QDir(root).removeRecursively(), QDir().rmdir(QFileInfo(root).path()); }
    QString path(const QString &name) const { return root + "/" + name; }
    std::unique_ptr<Editor> editor;

    // Each test starts on the usual three pages; open() reopens in.pdf, written first from pages of lines if given.
    void SetUp() override {
        open({{"The opening line of the page", "and the second line of it", "a third line to close"},
              {"Another page begins here", "and goes on"}, {"The last page"}});
    }
    void open(const std::vector<QStringList> &pages = {}) {
        if (!pages.empty()) fixtures::writeTextPdf(path("in.pdf"), pages);
        std::shared_ptr<PDFDocument> doc = PDFDocument::open(path("in.pdf"));
        ASSERT_TRUE(doc);
        editor.reset();
        editor = std::make_unique<Editor>(path("in.pdf"), path("out.pdf"), doc, "note");
        ASSERT_TRUE(QTest::qWaitForWindowExposed(editor->window.get()));
    }

    // Where a word's first character starts (fraction 0) or its last ends (1), in view coordinates.
    QPoint at(int page, const QString &word, double fraction = 0.0) const {
        PDFPage *p = editor->doc->page(page);
        for (const TextLine &line : p->text().lines) {
            QString text;
            for (const TextChar &c : line.chars) text += c.text;
            const int i = text.indexOf(word);
            if (i < 0) continue;
            const QRectF first = line.chars[i].box, last = line.chars[i + word.size() - 1].box;
            const QPointF display(first.left() + fraction * (last.right() - first.left()) + (fraction == 0 ? 1 : -1),
                                  first.center().y());
            const QRectF r = editor->view->pageRect(p);
            return (r.topLeft() + display * r.width() / p->displaySize().width()).toPoint();
        }
        ADD_FAILURE() << "no " << word.toStdString() << " on page " << page;
        return {};
    }
    QWidget *viewport() const { return editor->view->viewport(); }
    void drag(QPoint from, QPoint to) {
        QTest::mousePress(viewport(), Qt::LeftButton, {}, from);
        QTest::mouseMove(viewport(), (from + to) / 2);
        QTest::mouseMove(viewport(), to);
        QTest::mouseRelease(viewport(), Qt::LeftButton, {}, to);
        QTest::qWait(20);  // mouseUp runs on a later turn of the loop
    }
    void click(QPoint at) { drag(at, at); }
    void clickSwatch(int i) { QTest::mouseClick(editor->buttons[size_t(i)], Qt::LeftButton); }
    QString status() const { return editor->status->text(); }
    QString selected() const { return editor->view->currentSelection().string; }
    const auto &annotations(int page) const { return editor->doc->page(page)->annotations(); }
    size_t highlightsOn(int page) const {
        size_t n = 0;
        for (const auto &a : annotations(page)) n += a->type() == "Highlight";
        return n;
    }

    // Answers the next dialog once it is up (a busy machine may take its time): a number asked for, or a message
    // box's `button`, keeping what the box showed, its buttons left to right.
    QStringList shown;
    void answer(const QString &button, int number = 0, int tries = 200) {
        QTimer::singleShot(50, [=] {
            QWidget *modal = QApplication::activeModalWidget();
            auto *dialog = qobject_cast<QInputDialog *>(modal);
            if (dialog && button.isEmpty()) return dialog->setIntValue(number), dialog->accept();
            auto *box = qobject_cast<QMessageBox *>(modal);
            QList<QAbstractButton *> buttons = box ? box->buttons() : QList<QAbstractButton *>();
            std::sort(buttons.begin(), buttons.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
            const auto it = std::find_if(buttons.begin(), buttons.end(), [&](auto *b) { return b->text() == button; });
            if (it != buttons.end()) {
                shown = QStringList{box->text(), box->informativeText()};
                for (QAbstractButton *b : buttons) shown << b->text();
                return (*it)->click();
            }
            if (tries > 0) return answer(button, number, tries - 1);
            ADD_FAILURE() << "no such dialog";
        });
    }
    // The view as it is drawn once every render it asked for has landed. A render that the grab itself asked
    // for may finish before the grab returns: the image counts only when no render lands after it.
    QImage drawn() {
        for (int i = 0; i < 1000; ++i) {
            QTest::qWait(10);
            if (editor->view->rendering()) continue;
            QSignalSpy landed(editor->view, &PDFView::pageRendered);
            const QImage image = viewport()->grab().toImage();
            QTest::qWait(10);
            if (!editor->view->rendering() && landed.isEmpty()) return image;
        }
        ADD_FAILURE() << "the renders never settled";
        return {};
    }
};

// An armed colour paints every drag until its swatch is clicked again; a swatch clicked with a selection paints it
// once, drawn where the selection's tint was. A screen reader hears each swatch's colour and whether it is armed.
TEST_F(EditorTest, SwatchesArmOrPaintOnce) {
    clickSwatch(6);
    clickSwatch(3);  // switches from 6 to 3
    EXPECT_EQ(status(), "Every selection is painted");
    ASSERT_EQ(editor->buttons.size(), 10u);
    for (size_t i = 0; i < 10; ++i) {
        QAccessibleInterface *swatch = QAccessible::queryAccessibleInterface(editor->buttons[i]);
        ASSERT_TRUE(swatch);
        EXPECT_EQ(swatch->text(QAccessible::Name), "Highlight " + palette[i].first);
        EXPECT_EQ(bool(swatch->state().checked), i == 3);
        EXPECT_EQ(editor->buttons[i]->ringWidth(), i == 3 ? 3.0 : 1.0);
    }
    drag(at(0, "line"), at(0, "second", 1));
    drag(at(0, "third"), at(0, "close", 1));
    click(at(0, "opening"));  // a plain click paints nothing
    EXPECT_EQ(highlightsOn(0), 3u);
    EXPECT_EQ(annotations(0)[0]->color(), QColor(0xff, 0xe8, 0xcc));  // "#ffe8cc"
    EXPECT_TRUE(editor->view->currentSelection().isEmpty());
    clickSwatch(3);
    EXPECT_EQ(status(), "3 marks added");
    const QPoint from = at(0, "third"), to = at(0, "third", 1);
    drag(from, to);
    EXPECT_EQ(highlightsOn(0), 3u);
    const auto tinted = [](QColor c) { return c.blue() > c.red() + 30; };
    const auto expectUnderTheDrag = [&](const QRect &r, int slack) {
        EXPECT_NEAR(r.left(), from.x(), slack);
        EXPECT_NEAR(r.right(), to.x(), slack);
        EXPECT_NEAR(r.center().y(), from.y(), 4);
        EXPECT_LT(r.height(), 30);
    };
    expectUnderTheDrag(where(drawn(), tinted), 3);
    QSignalSpy rendered(editor->view, &PDFView::pageRendered);
    clickSwatch(0);
    const QImage image = drawn();
    EXPECT_EQ(highlightsOn(0), 4u);
    EXPECT_TRUE(!editor->armed && editor->view->currentSelection().isEmpty());
    EXPECT_TRUE(rendered.contains({0}));  // not only drawn over the old image
    EXPECT_TRUE(where(image, tinted).isEmpty());
    expectUnderTheDrag(where(image, yellow), 6);
    editor->undoLast();
    EXPECT_TRUE(where(drawn(), yellow).isEmpty());
}

// Erase takes the latest highlight under the pointer, one a click, also one that came with the file, and nothing
// else, such as a note; undo brings none back, the output holds none. A link is followed, but not in erase mode.
TEST_F(EditorTest, EraseTakesTheLatestHighlightAndLinksWaitForIt) {
    const fixtures::RawPage more{{0, 0, 612, 792}, 0, {{72, 700, "more text"}}};
    fixtures::writeRawPdf(path("in.pdf"), {{{0, 0, 612, 792}, 0,
                                            {{72, 700, "A word under a note"}, {72, 680, "The opening line"},
                                             {72, 660, "a third line"}, {72, 600, "Go to the last page"}},
                                            "/Annots [10 0 R 11 0 R << /Subtype /Link /Rect [70 595 300 615] "
                                            "/Dest [8 0 R /XYZ 0 792 0] >>]"}, more, more}, {},
                          {"<< /Subtype /Highlight /Rect [70 695 200 712] /QuadPoints [70 712 200 712 70 695 200 695] >>",
                           "<< /Subtype /Text /Rect [70 690 120 720] /Contents (a note) >>"});
    open();
    const QPoint link = at(0, "last", 0.5);
    clickSwatch(1);
    drag(at(0, "opening"), at(0, "line", 1));
    drag(at(0, "opening"), at(0, "opening", 1));  // on top of the first
    ASSERT_EQ(highlightsOn(0), 3u);
    const auto earlier = annotations(0).end()[-2];

    QTest::mouseClick(editor->eraseBtn, Qt::LeftButton);
    EXPECT_TRUE(editor->erasing && !editor->armed);
    EXPECT_EQ(status(), "Click a highlight to remove it");
    for (const QPoint p : {link, at(0, "third")}) click(p);  // no highlight there, and the link is not followed
    EXPECT_EQ(editor->view->verticalScrollBar()->value(), 0);
    EXPECT_EQ(highlightsOn(0), 3u);
    click(at(0, "opening", 0.5));
    ASSERT_EQ(highlightsOn(0), 2u);
    EXPECT_EQ(annotations(0).back(), earlier);
    click(at(0, "word", 0.5));
    EXPECT_EXIT(editor->saveAndQuit(), ExitedWithCode(0), "");
    EXPECT_EQ(highlights(path("out.pdf")).size(), 1u);  // the file's own is gone from the output too
    for (const QString word : {"opening", "word"}) click(at(0, word, 0.5));
    EXPECT_EQ(highlightsOn(0), 0u);
    editor->undoLast(), editor->undoLast();
    EXPECT_EQ(annotations(0).size(), 2u);  // the note and the link

    clickSwatch(4);  // leaves erase mode
    EXPECT_FALSE(editor->erasing || editor->eraseBtn->isChecked());
    click(link);
    EXPECT_LE(std::abs(editor->view->pageRect(editor->doc->page(2)).top()), 10);
}

// One highlight per line piece, one undo group per page; Ctrl+Z (not Ctrl+Shift+Z, not Z) takes back the latest.
TEST_F(EditorTest, PaintingGroupsByPageAndCtrlZTakesBackTheLatest) {
    const QColor green = color(palette[1].second);
    PDFSelection across = editor->doc->findFirst("third");
    across.lines += editor->doc->findFirst("Another").lines;
    const PDFSelection two = editor->doc->findFirst("page and");
    ASSERT_EQ(two.lines.size(), 2);
    editor->paint(two, green);
    ASSERT_EQ(editor->added.size(), 1u);
    ASSERT_EQ(editor->added[0].annotations.size(), 2u);
    EXPECT_EQ(editor->added[0].annotations[0]->color(), green);
    EXPECT_EQ(editor->added[0].annotations[0]->bounds(), two.lines[0].bounds);
    const auto first = annotations(0)[0];
    editor->paint(across, green);
    ASSERT_EQ(editor->added.size(), 3u);
    EXPECT_EQ(editor->added[2].page, editor->doc->page(1));
    editor->paint(editor->doc->findFirst("opening"), green);
    ASSERT_EQ(editor->added.size(), 4u);

    QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier | Qt::ShiftModifier);
    QTest::keyClick(editor->view, Qt::Key_Z);
    EXPECT_EQ(highlightsOn(0) + highlightsOn(1), 5u);
    // After each Ctrl+Z (the first with Alt) the highlights on either page; the last finds nothing left.
    int undo = 0;
    for (const auto &[onFirst, onSecond] : {std::pair{3u, 1u}, {3u, 0u}, {2u, 0u}, {0u, 0u}, {0u, 0u}}) {
        SCOPED_TRACE(++undo);
        QTest::keyClick(editor->view, Qt::Key_Z, Qt::ControlModifier | (undo == 1 ? Qt::AltModifier : Qt::NoModifier));
        EXPECT_EQ(highlightsOn(0), onFirst);
        EXPECT_EQ(highlightsOn(1), onSecond);
        if (onFirst) { EXPECT_EQ(annotations(0)[0], first) << "the first highlight, the same object"; }
        if (undo == 1) { EXPECT_EQ(status(), "4 marks added"); }
    }
    EXPECT_EQ(status(), "Select text, then pick a color");
    EXPECT_TRUE(editor->changed);
}

// Ctrl+F finds as the word (with a Z) is typed; a swatch paints the match. Escape closes only the field. The page
// number follows the view; Ctrl+G goes to a page, out of range to an end.
TEST_F(EditorTest, FindSelectsTheMatchAndPagesAreNumbered) {
    std::vector<QStringList> pages(25, {"Nothing much on this page"});
    pages[10] = {"A line before it", "the Zigzag first appears here"};
    pages[14] = {"and a zigzag again"};
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
    QTest::keyClicks(find->field(), "zigZAG");
    expectFound("1 of 2", 10);
    EXPECT_EQ(selected(), "Zigzag");
    for (const auto &[key, modifiers, summary, page] : {std::tuple{Qt::Key_Return, Qt::NoModifier, "2 of 2", 14},
                                                        {Qt::Key_Return, Qt::NoModifier, "1 of 2", 10},
                                                        {Qt::Key_Enter, Qt::ShiftModifier, "2 of 2", 14}}) {
        QTest::keyClick(find->field(), key, modifiers);
        expectFound(summary, page);
    }
    QTest::keyClick(find->field(), Qt::Key_Escape);
    EXPECT_FALSE(find->isVisible());
    EXPECT_TRUE(editor->view->hasFocus());

    const auto labels = viewport()->findChildren<QLabel *>();
    const auto number =
        std::find_if(labels.begin(), labels.end(), [](auto *l) { return l->accessibleName() == "Page number"; });
    ASSERT_NE(number, labels.end());
    QTest::keyClick(editor->view, Qt::Key_End);
    EXPECT_TRUE((*number)->isVisible() && (*number)->text() == "25 / 25") << (*number)->text().toStdString();
    for (const auto &[asked, page] : {std::pair{20, 19}, {99, 24}, {-3, 0}}) {
        answer({}, asked);
        QTest::keyClick(editor->view, Qt::Key_G, Qt::ControlModifier);
        editor->window->activateWindow();  // the offscreen platform leaves the closed dialog's window active
        QTest::qWait(20);
        EXPECT_EQ((*number)->text(), QString("%1 / 25").arg(page + 1));
        EXPECT_NEAR(editor->view->pageRect(editor->doc->page(page)).top(), 0, 10);
    }
    clickSwatch(0);
    ASSERT_EQ(highlightsOn(14), 1u);  // the match selected last
    expectOver(annotations(14)[0]->bounds(), path("in.pdf"), 14, "zigzag");
}

// Ctrl+wheel keeps the word under the pointer, where a double click takes it and a third click its line; Ctrl with
// the keys zooms within a quarter and eight times. Space pages on and Shift+Space back, End and Home go to either end.
TEST_F(EditorTest, ZoomKeepsItsPointAndKeysMoveThroughTheDocument) {
    const QPoint word = at(0, "second");
    QWheelEvent wheel(word, viewport()->mapToGlobal(word), {}, {0, 360}, Qt::NoButton, Qt::ControlModifier,
                      Qt::NoScrollPhase, false);
    QApplication::sendEvent(viewport(), &wheel);
    EXPECT_NEAR(editor->view->zoom(), 1.2 * 1.2 * 1.2, 1e-9);
    EXPECT_LE((at(0, "second") - word).manhattanLength(), 2);
    QTest::mouseDClick(viewport(), Qt::LeftButton, {}, at(0, "second", 0.5));  // at that zoom, the word
    EXPECT_EQ(selected(), "second");
    QTest::mouseClick(viewport(), Qt::LeftButton, {}, at(0, "second", 0.5));  // the third click, the line
    EXPECT_EQ(selected(), "and the second line of it");
    for (const auto &[key, times, zoom] : {std::tuple{Qt::Key_0, 1, 1.0}, {Qt::Key_Plus, 3, 2.0},
                                           {Qt::Key_Equal, 20, 8.0}, {Qt::Key_Minus, 30, 0.25}, {Qt::Key_0, 1, 1.0}}) {
        for (int i = 0; i < times; ++i) QTest::keyClick(editor->view, key, Qt::ControlModifier);
        EXPECT_EQ(editor->view->zoom(), zoom);
    }
    QScrollBar *bar = editor->view->verticalScrollBar();
    bar->setValue(0);
    // Where each key takes the view: at least that far down, or to the top.
    for (const auto &[key, modifiers, least] : {std::tuple{Qt::Key_Space, Qt::NoModifier, viewport()->height() / 2},
                                                {Qt::Key_Space, Qt::ShiftModifier, 0},
                                                {Qt::Key_End, Qt::ControlModifier, bar->maximum()},
                                                {Qt::Key_Home, Qt::NoModifier, 0}}) {
        QTest::keyClick(editor->view, key, modifiers);
        EXPECT_TRUE(least ? bar->value() >= least : bar->value() == 0) << "key " << key << ": " << bar->value();
    }
}

// Without changes every end is 2 and writes nothing, even while a page that takes long to draw holds up nothing.
TEST_F(EditorTest, WithoutChangesEveryEndIsTwoEvenWhileASlowPageDraws) {
    fixtures::RawPage slow;
    slow.drawing = fixtures::slowDrawing(6000);  // about 40 s
    fixtures::writeRawPdf(path("in.pdf"), {slow});
    open();
    clickSwatch(0);
    EXPECT_EQ(status(), "Every selection is painted");
    EXPECT_TRUE(editor->view->rendering()) << "the page was drawn before the test could look: make it slower";
    EXPECT_EXIT(editor->saveAndQuit(), ExitedWithCode(2), "");
    EXPECT_EXIT(editor->cancel(), ExitedWithCode(2), "");
    EXPECT_EXIT(editor->window->close(), ExitedWithCode(2), "");
    EXPECT_EXIT((QTest::keyClick(editor->view, Qt::Key_Escape), QTest::qWait(1000)), ExitedWithCode(2), "");
    EXPECT_FALSE(QFile::exists(path("out.pdf")));
}

// Pages of absurd shape, fitted to the width and zoomed: drawn, and nothing on standard error, where Poppler
// complains when asked for pixels it cannot allocate.
TEST_F(EditorTest, AbsurdPagesRenderQuietly) {
    fixtures::writeRawPdf(path("in.pdf"), {{{0, 0, 1, 14400}, 0, {{0, 7000, "a needle"}}}, {{0, 0, 1, 400}, 0, {{0, 200, "end"}}}});
    open();
    const QtMessageHandler qt = qInstallMessageHandler([](QtMsgType, const QMessageLogContext &, const QString &) {});
    const int saved = ::dup(STDERR_FILENO);
    QFile err(path("stderr"));
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
    ::dup2(saved, STDERR_FILENO), ::close(saved);
    qInstallMessageHandler(qt);
    EXPECT_GE(rendered.count(), 4);  // drawn at both zooms, whatever the timing
    EXPECT_EQ(err.size(), 0);
}

// After a change the question decides. A save that fails, directly or through the question, alerts and keeps
// everything; "Cancel" goes back to editing with everything as it was.
TEST_F(EditorTest, TheQuestionDecides) {
    clickSwatch(0);
    drag(at(0, "opening"), at(0, "line", 1));
    EXPECT_EXIT((answer("Don't Save"), editor->cancel()), ExitedWithCode(2), "");
    EXPECT_FALSE(QFile::exists(path("out.pdf")));
    EXPECT_EXIT((answer("Save"), editor->window->close()), ExitedWithCode(0), "");
    EXPECT_EQ(highlights(path("out.pdf")).size(), 1u);
    QFile::remove(path("out.pdf"));

    QDir().mkdir(path("out.pdf"));  // a folder in the way
    answer("OK");
    editor->saveAndQuit();
    EXPECT_EQ(shown.value(0), "The PDF could not be saved");
    answer("Save");
    answer("OK");
    editor->cancel();
    EXPECT_TRUE(editor->window->isVisible() && editor->changed && editor->added.size() == 1);
    QDir().rmdir(path("out.pdf"));

    editor->undoLast();  // undoing all still asks
    answer("Cancel");
    editor->cancel();
    EXPECT_EQ(shown, QStringList({"Save the highlights?",
                                  "The PDF in the note gets the new marks. The previous file stays in the note's versions.",
                                  "Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(editor->window->isVisible() && editor->changed && !QFile::exists(path("out.pdf")));
    EXPECT_EQ(editor->armed, color(palette[0].second));
    EXPECT_EXIT(editor->saveAndQuit(), ExitedWithCode(0), "");
    EXPECT_TRUE(QFile::exists(path("out.pdf")));
}

}  // namespace
