#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

// Test documents, made on the spot so that every fixture can be read and remade.
namespace fixtures {

// One QPdfWriter page per entry, each line of text in DejaVu Sans 12 pt from the top left margin; a page whose
// lines hold a tab is laid out as two columns (left of the tab, right of it).
void writeTextPdf(const QString &path, const std::vector<QStringList> &pages);

// A hand-written page: Helvetica text (Latin-1) drawn at (x, y) in page space; text not upright is drawn turned
// so that it reads upright once the page's /Rotate applies.
struct RawText { double x, y; QString text; bool upright = true; };
struct RawPage {
    RawPage() = default;
    RawPage(const QRectF &mediaBox, int rotate, std::vector<RawText> texts, const QString &extra = {})
        : mediaBox(mediaBox), rotate(rotate), texts(std::move(texts)), extra(extra) {}
    QRectF mediaBox{0, 0, 612, 792};
    int rotate = 0;
    std::vector<RawText> texts;
    QString extra;      // further entries of the page dictionary, such as /Annots
    QString resources;  // further entries of its resources, such as /XObject
    QByteArray drawing; // further content operators, drawn after the texts
};
// `objects` follow the pages' objects, numbered on from 4 + 2 × the number of pages.
void writeRawPdf(const QString &path, const std::vector<RawPage> &pages, const QString &trailerExtra = {},
                 const QStringList &objects = {});

// Content operators that take Poppler long to draw (about 7 ms a stroke at 100 dpi, in strokes short enough that
// a render can give up between two of them): short, finely dashed zigzags.
QByteArray slowDrawing(int strokes);

}  // namespace fixtures
