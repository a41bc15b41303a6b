#pragma once

#include <QByteArray>
#include <QColor>
#include <QImage>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <functional>
#include <vector>

// Helpers that look at the program and its output from outside, with readers other than our own.
namespace support {

struct Result {
    int status = -1;
    QByteArray out, err;
};
// Runs a program with its environment changed by `env` ("NAME=value" sets, a bare "NAME" removes); a run that
// outlasts the hang guard is killed and gives status -1, as does a crash.
Result run(const QString &program, const QStringList &args, const QStringList &env = {}, const QString &cwd = {},
           int guardMs = 120000);
inline Result runPdf(const QStringList &args, const QStringList &env = {}, const QString &cwd = {},
                     int guardMs = 120000) {
    return run(TAVRIN_PDF, args, env, cwd, guardMs);
}

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
// That a rectangle in page space covers the words from `first` to `last` of a line on an upright 792-point page.
void expectOver(const QRectF &rect, const QString &pdf, int page, const QString &first, const QString &last = {});

// The first page's text in the order mutool reads it, white space simplified.
QString readingOrder(const QString &pdf);

// The first page rendered at 72 dpi by "pdftoppm" or "mutool".
QImage render(const QString &renderer, const QString &pdf, const QString &dir);
// The bounding box of the pixels that pass a test.
QRect where(const QImage &image, const std::function<bool(QColor)> &test);
// The first palette colour, as readers draw it on white.
bool yellow(QColor c);

QByteArray readAll(const QString &path);
void writeAll(const QString &path, const QByteArray &bytes);

}  // namespace support
