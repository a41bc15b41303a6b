// Save, Cancel, Escape and the close request: every way the editor ends, with its exit status.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QMessageBox>

#include "editor_support.h"

namespace {

using ::testing::ExitedWithCode;

class Ending : public Opened {
protected:
    QString out() const { return dir.filePath("out.pdf"); }
    void paintSomething() {
        clickSwatch(0);
        drag(at(0, "opening"), at(0, "line", 1));
        ASSERT_TRUE(editor->changed);
    }
    // Clicks the button with this text in the next modal box that has one, and remembers what the box showed,
    // buttons left to right.
    QStringList shown;
    void answer(const QString &button) {
        whenModal([=](QWidget *modal) {
            auto *box = qobject_cast<QMessageBox *>(modal);
            QList<QAbstractButton *> buttons = box ? box->buttons() : QList<QAbstractButton *>();
            std::sort(buttons.begin(), buttons.end(), [](auto *a, auto *b) { return a->x() < b->x(); });
            const auto it = std::find_if(buttons.begin(), buttons.end(), [&](auto *b) { return b->text() == button; });
            if (it == buttons.end()) return false;
            shown = QStringList{box->text(), box->informativeText()};
            for (QAbstractButton *b : buttons) shown << b->text();
            (*it)->click();
            return true;
        });
    }
};

TEST_F(Ending, WithoutChangesEveryEndIsTwoAndWritesNothing) {
    EXPECT_EXIT(editor->saveAndQuit(), ExitedWithCode(2), "");
    EXPECT_EXIT(editor->cancel(), ExitedWithCode(2), "");
    EXPECT_EXIT(editor->window->close(), ExitedWithCode(2), "");
    EXPECT_EXIT((QTest::keyClick(editor->view, Qt::Key_Escape), QTest::qWait(1000)), ExitedWithCode(2), "");
    EXPECT_FALSE(QFile::exists(out()));
}

TEST_F(Ending, TheQuestionDecides) {
    paintSomething();
    EXPECT_EXIT((answer("Don't Save"), editor->cancel()), ExitedWithCode(2), "");
    EXPECT_FALSE(QFile::exists(out()));
    EXPECT_EXIT((answer("Save"), editor->window->close()), ExitedWithCode(0), "");
    EXPECT_TRUE(QFile::exists(out()));
    QFile::remove(out());

    // "Cancel" goes back to editing with everything as it was; undoing all still asks.
    editor->undoLast();
    answer("Cancel");
    editor->cancel();
    EXPECT_EQ(shown, QStringList({"Save the highlights?",
                                  "The PDF in the note gets the new marks. The previous file stays in the note's versions.",
                                  "Save", "Don't Save", "Cancel"}));
    EXPECT_TRUE(editor->window->isVisible() && editor->changed);
    EXPECT_EQ(editor->armed, color(palette[0].second));
    EXPECT_FALSE(QFile::exists(out()));
}

TEST_F(Ending, AFailedSaveAlertsAndKeepsEverything) {
    editor.reset();
    openFile(dir.filePath("in.pdf"), dir.filePath("missing/out.pdf"));
    paintSomething();
    const size_t groups = editor->added.size();
    answer("OK");
    editor->saveAndQuit();
    EXPECT_EQ(shown.value(0), "The PDF could not be saved");
    EXPECT_TRUE(editor->window->isVisible() && editor->changed && editor->armed);
    EXPECT_EQ(editor->added.size(), groups);

    // The same through the question; then, once the folder exists, a second Save succeeds.
    answer("Save");
    answer("OK");
    editor->cancel();
    EXPECT_TRUE(editor->window->isVisible());
    QDir().mkdir(dir.filePath("missing"));
    EXPECT_EXIT(editor->saveAndQuit(), ExitedWithCode(0), "");
    EXPECT_TRUE(QFile::exists(dir.filePath("missing/out.pdf")));
}

}  // namespace
