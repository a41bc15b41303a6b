// The editor on a long document: time to the first page drawn, peak memory after scrolling from the first
// page to the last, and the time from a mouse release to the new highlight drawn.
// Usage: view-bench [PAGES]
#include <sys/resource.h>

#include <QApplication>
#include <QElapsedTimer>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTest>
#include <cstdio>

#include "Editor.h"
#include "PDFView.h"
#include "Swatch.h"
#include "long_pdf.h"

namespace {
// Counts the view's paints, so a measurement can stop at the first one after its action.
struct Paints : QObject {
    int count = 0;
    bool eventFilter(QObject *, QEvent *e) override {
        count += e->type() == QEvent::Paint;
        return false;
    }
};
long peakMB() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}
}  // namespace

int main(int argc, char *argv[]) {
    std::vector<char *> qtArgs{argv[0], const_cast<char *>("-platform"), const_cast<char *>("offscreen"), nullptr};
    int qtCount = 3;
    QApplication app(qtCount, qtArgs.data());
    const int pages = argc > 1 ? atoi(argv[1]) : 1000;
    QTemporaryDir dir;
    const QString in = dir.filePath("long.pdf");
    writeLongPdf(in, pages, "unmistakable needle");
    std::printf("document: %d pages\n", pages);

    QElapsedTimer clock;
    clock.start();
    std::shared_ptr<PDFDocument> doc = PDFDocument::open(in);
    Editor editor(in, dir.filePath("out.pdf"), doc, "bench");
    Paints paints;
    editor.view->viewport()->installEventFilter(&paints);
    while (paints.count == 0) QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    std::printf("open to first page drawn: %.0f ms (target under 300)\n", clock.nsecsElapsed() / 1e6);

    QScrollBar *bar = editor.view->verticalScrollBar();
    clock.restart();
    while (bar->value() < bar->maximum()) {
        bar->setValue(bar->value() + bar->pageStep() / 2);
        editor.view->viewport()->repaint();
    }
    std::printf("scrolled to the last page in %.1f s; peak memory %ld MB (target under 300)\n",
                clock.nsecsElapsed() / 1e9, peakMB());

    // Drag over the needle on the last page, then time the release until the page is drawn again.
    QTest::mouseClick(editor.buttons[0], Qt::LeftButton);
    PDFPage *last = doc->page(doc->pageCount() - 1);
    const TextLine &line = last->text().lines.back();
    const QRectF r = editor.view->pageRect(last);
    const double scale = r.width() / last->displaySize().width();
    const QPoint from = (r.topLeft() + QPointF(line.box.left() + 1, line.box.center().y()) * scale).toPoint();
    const QPoint to = (r.topLeft() + QPointF(line.box.right() - 1, line.box.center().y()) * scale).toPoint();
    QWidget *viewport = editor.view->viewport();
    QTest::mousePress(viewport, Qt::LeftButton, {}, from);
    QTest::mouseMove(viewport, to);
    QCoreApplication::processEvents();
    const int before = paints.count;
    const size_t marks = editor.added.size();
    clock.restart();
    QTest::mouseRelease(viewport, Qt::LeftButton, {}, to);
    while (editor.added.size() == marks || paints.count == before)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
    std::printf("release to highlight drawn: %.1f ms (target under 50)\n", clock.nsecsElapsed() / 1e6);
    return 0;
}
