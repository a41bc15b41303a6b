// Open a PDF and select between two points on each of its first pages, then from the first page to the last.
#include "PDFDocument.h"
#include "scratch.h"

namespace {

// A fraction of the page, from -0.25 to 1.25, out of two bytes counted from the end of the input: the
// whole input stays the document (a seed is a complete PDF) and mutations of its tail move the points.
double fraction(const uint8_t *data, size_t size, size_t pair) {
    if (size < 2 * pair + 2) return 0.5;
    const unsigned v = data[size - 1 - 2 * pair] | unsigned(data[size - 2 - 2 * pair]) << 8;
    return v / 65535.0 * 1.5 - 0.25;
}

QPointF point(const PDFPage &page, double fx, double fy) {
    const QSizeF s = page.displaySize();
    return page.toDisplay().inverted().map(QPointF(fx * s.width(), fy * s.height()));
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    scratch::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const QString in = scratch::path("in.pdf");
    if (!scratch::store(in, data, size)) return 0;
    const auto doc = PDFDocument::open(in);
    if (!doc || doc->pageCount() == 0) return 0;
    const double f[4] = {fraction(data, size, 0), fraction(data, size, 1), fraction(data, size, 2),
                         fraction(data, size, 3)};
    for (int i = 0; i < doc->pageCount() && i < 20; ++i) {
        PDFPage *page = doc->page(i);
        const PDFSelection s = doc->selection(page, point(*page, f[0], f[1]), page, point(*page, f[2], f[3]));
        scratch::outcome(i, scratch::magnitude(page->text().lines.size()), scratch::magnitude(s.lines.size()),
                         scratch::magnitude(s.string.size()), page->displaySize().isEmpty());
    }
    PDFPage *first = doc->page(0), *last = doc->page(doc->pageCount() - 1);
    const PDFSelection all = doc->selection(first, point(*first, f[2], f[3]), last, point(*last, f[0], f[1]));
    scratch::outcome(scratch::magnitude(doc->pageCount()), scratch::magnitude(all.lines.size()));
    return 0;
}
