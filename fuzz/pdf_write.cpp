// Open a PDF, find "the", highlight the match as the batch mode does, write the document.
#include <memory>

#include "PDFDocument.h"
#include "palette.h"
#include "scratch.h"

extern "C" int LLVMFuzzerInitialize(int *, char ***) {
    scratch::silenceQt();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
    static const QString in = scratch::path("in.pdf"), out = scratch::path("out.pdf");
    static const QColor yellow = color(palette[0].second);
    if (!scratch::store(in, data, size)) return 0;
    const auto doc = PDFDocument::open(in);
    if (!doc) return 0;
    const PDFSelection match = doc->findFirst("the");
    scratch::outcome(scratch::magnitude(doc->pageCount()), match.lines.size(),
                     scratch::magnitude(match.string.size()));
    if (match.isEmpty()) return 0;
    // Editor::paint without the window: a highlight per line piece at least a point each way.
    for (const PDFSelection::Line &line : match.lines) {
        const QRectF &r = line.bounds;
        if (r.width() < 1.0 || r.height() < 1.0) continue;
        const double w = r.width(), h = r.height();
        line.page->addAnnotation(
            std::make_shared<PDFAnnotation>(r, yellow, QVector<QPointF>{{0, h}, {w, h}, {0, 0}, {w, 0}}));
    }
    const bool written = doc->write(out);
    scratch::outcome(written, scratch::magnitude(match.lines.first().page->annotations().size()));
    return 0;
}
