#pragma once

#include <QByteArray>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <vector>

// Helpers that look at the program and its output from outside, with readers other than our own.
namespace support {

struct Result {
    int status = -1;
    QByteArray out, err;
};
// Runs the built tavrin-pdf with these arguments, without the variables named in `unset`; a run that
// outlasts the hang guard is killed and gives status -1.
Result runPdf(const QStringList &args, const QStringList &unset = {}, const QString &cwd = {}, int guardMs = 120000);

struct Highlight {
    QRectF rect;                 // /Rect, page space
    std::vector<double> quads;   // /QuadPoints
    std::vector<double> color;   // /C
    int page = -1;               // index of the page whose /Annots holds it
};
// Every /Highlight of a file, as qpdf reads it.
std::vector<Highlight> highlights(const QString &pdf, const QString &password = {});

// A word's box in display space (top left of the crop box, rotation applied) as pdftotext reads it.
QRectF wordBox(const QString &pdf, int page, const QString &word);

// The first page's text in the order mutool reads it, white space simplified.
QString readingOrder(const QString &pdf);

// The first page rendered at 72 dpi by "pdftoppm" or "mutool".
QImage render(const QString &renderer, const QString &pdf, const QString &dir);
// The bounding box of the pixels in the first palette colour.
QRect yellowBox(const QImage &image);

QByteArray readAll(const QString &path);
void writeAll(const QString &path, const QByteArray &bytes);

}  // namespace support
