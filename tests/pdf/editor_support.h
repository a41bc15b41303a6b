#pragma once

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QTest>
#include <QTimer>
#include <functional>
#include <memory>
#include <ostream>

#include "Editor.h"
#include "PDFView.h"
#include "Swatch.h"
#include "fixtures.h"
#include "palette.h"

inline void PrintTo(const QString &s, std::ostream *os) { *os << '"' << s.toStdString() << '"'; }

// An editor on a generated document, driven as a user would.
class EditorTest : public ::testing::Test {
protected:
    // Named after the run and the test, not random: a death test's child runs the test again and must write
    // where the parent looks. The run's folder is handed down in the environment; two runs never meet.
    struct Folder {
        QString root;
        Folder() {
            if (qEnvironmentVariableIsEmpty("TAVRIN_TEST_RUN"))
                qputenv("TAVRIN_TEST_RUN", QFile::encodeName(QDir::temp().filePath(
                                               QString("tavrin-test-%1").arg(QCoreApplication::applicationPid()))));
            const auto *info = ::testing::UnitTest::GetInstance()->current_test_info();
            root = QDir(qEnvironmentVariable("TAVRIN_TEST_RUN")).filePath(info->test_suite_name() + QString(".") + info->name());
            QDir(root).removeRecursively();
            QDir().mkpath(root);
        }
        ~Folder() {
            QDir(root).removeRecursively();
            QDir().rmdir(QFileInfo(root).path());  // once the last test is done with it
        }
        QString filePath(const QString &name) const { return QDir(root).filePath(name); }
    } dir;
    std::unique_ptr<Editor> editor;

    // Pages of lines; see fixtures::writeTextPdf. The usual three pages by default.
    void open(const std::vector<QStringList> &pages = {{"The opening line of the page", "and the second line of it",
                                                        "a third line to close"},
                                                       {"Another page begins here", "and goes on"},
                                                       {"The last page"}}) {
        fixtures::writeTextPdf(dir.filePath("in.pdf"), pages);
        openFile(dir.filePath("in.pdf"));
    }
    void openFile(const QString &in, const QString &output = {}) {
        std::shared_ptr<PDFDocument> doc = PDFDocument::open(in);
        ASSERT_TRUE(doc);
        editor = std::make_unique<Editor>(in, output.isEmpty() ? dir.filePath("out.pdf") : output, doc, "note");
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

    // Runs `act` on the next modal dialog once it is up (a busy machine may take its time); `act` says whether
    // it found what it wanted there.
    static void whenModal(const std::function<bool(QWidget *)> &act, int tries = 200) {
        QTimer::singleShot(50, [=] {
            QWidget *modal = QApplication::activeModalWidget();
            if (modal && act(modal)) return;
            if (tries > 0) return whenModal(act, tries - 1);
            ADD_FAILURE() << "no such dialog";
        });
    }

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
    size_t highlightsOn(int page) const {
        size_t n = 0;
        for (const auto &a : editor->doc->page(page)->annotations()) n += a->type() == "Highlight";
        return n;
    }
};

// The editor on the usual three pages.
class Opened : public EditorTest {
protected:
    void SetUp() override { open(); }
};
