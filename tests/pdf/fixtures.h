#pragma once

#include <QRectF>
#include <QString>
#include <QStringList>
#include <vector>

// Test documents, made on the spot so that every fixture can be read and remade.
namespace fixtures {

// One QPdfWriter page per entry, each line of text in DejaVu Sans 12 pt from the top left margin.
// A page whose lines hold a tab is laid out as two columns (left of the tab, right of it).
void writeTextPdf(const QString &path, const std::vector<QStringList> &pages);

// A hand-written page: Helvetica text drawn at (x, y) in page space.
struct RawText {
    double x, y;
    QString text;  // Latin-1
    bool upright = true;  // false: drawn turned so that it reads upright once the page's /Rotate applies
};
struct RawPage {
    QRectF mediaBox{0, 0, 612, 792};
    int rotate = 0;
    std::vector<RawText> texts;
    QString extra;  // further entries of the page dictionary, such as /Annots
};
// `objects` follow the pages' objects, numbered on from 4 + 2 × the number of pages.
void writeRawPdf(const QString &path, const std::vector<RawPage> &pages, const QString &trailerExtra = {},
                 const QStringList &objects = {});

}  // namespace fixtures
